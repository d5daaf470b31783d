// tamboro-cli convert IN OUT [--rate HZ] [--bits N] [--channels N]
//   [--encoding pcm|float|mulaw|alaw|ima-adpcm|ms-adpcm]
// Loads IN and writes OUT in the asked format; OUT's extension picks the
// file type; what is not asked for keeps the source's value.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "audio/convert/FormatTags.h"
#include "audio/files/ConvertWave.h"
#include "audio/files/SoundFile.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/Options.h"
#include "platform/FileFault.h"
#include "platform/StringTable.h"

namespace tamboro::cli {
namespace {

constexpr const char* kUsage =
    "tamboro-cli convert IN OUT [--rate HZ] [--bits N] [--channels N] "
    "[--encoding pcm|float|mulaw|alaw|ima-adpcm|ms-adpcm]";
constexpr const char* kEncodings = "pcm, float, mulaw, alaw, ima-adpcm or ms-adpcm";

// The bar is drawn only on a terminal, and only when the percentage moves.
struct Bar {
    bool on = false;
    int last = -1;
    std::uint32_t phase = 99;
};

void Draw(void* context, std::uint32_t phase, std::uint32_t percent) {
    auto* bar = static_cast<Bar*>(context);
    if (!bar->on || (static_cast<int>(percent) == bar->last && phase == bar->phase)) return;
    if (phase != bar->phase && bar->phase != 99) std::fputc('\n', stderr);
    bar->last = static_cast<int>(percent);
    bar->phase = phase;
    // "Stò salvando......." while saving, "Stò elaborando........." before.
    constexpr unsigned kWorking = 139, kSaving = 142;
    const char* label = platform::LoadString(phase == 1 ? kSaving : kWorking).c_str();
    char cells[41];
    const int filled = static_cast<int>(percent > 100 ? 100 : percent) * 40 / 100;
    for (int i = 0; i < 40; ++i)
        cells[i] = i < filled ? '#' : '.';
    cells[40] = '\0';
    std::fprintf(stderr, "\r%-24s [%s] %3u%%", label, cells, percent);
    std::fflush(stderr);
}

void EndBar(const Bar& bar) {
    if (bar.on && bar.phase != 99) std::fputc('\n', stderr);
}

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
    std::optional<long> rate, bits, channels;
    std::optional<std::uint16_t> tag;
    Options options(kUsage);
    options.Integer("rate", audio::kMinRate, audio::kMaxRate, rate)
        .Integer("bits", 1, 64, bits)
        .Integer("channels", 1, 2, channels)
        .Custom("encoding", kEncodings, [&](const std::string& value) {
            tag = EncodingTag(value);
            return tag.has_value();
        });
    if (const auto exit = options.Parse(args, 2, 2)) return *exit;
    const std::vector<std::string>& paths = options.Positionals();
    // A folder is never an output (and has no type to tell).
    struct stat out {};
    if (::stat(paths[1].c_str(), &out) == 0 && S_ISDIR(out.st_mode)) {
        platform::NoteFileFault(paths[1], EISDIR);
        return Fail(audio::SoundResult::CreateFailed, paths[1]);
    }
    // A stream ("-", a pipe, a device) without an extension gets a WAV.
    std::uint32_t typeFlags = 0;
    if (audio::FileTypeOf(paths[1], 0) == audio::SoundFileType::Unknown &&
        IsStreamOutput(paths[1])) {
        typeFlags = audio::kTypeWav;
    }
    const audio::SoundFileType outType = audio::FileTypeOf(paths[1], typeFlags);
    if (outType == audio::SoundFileType::Unknown) {
        return Fail(audio::SoundResult::SaveUnknownType, paths[1]);
    }
    if (!IsReadableInput(paths[0])) return Fail(audio::SoundResult::OpenFailed, paths[0]);

    Bar bar;
    bar.on = ::isatty(STDERR_FILENO) != 0;
    audio::Wave wave;
    audio::SoundResult r = audio::LoadWave(wave, paths[0], audio::kLoadCopy, Draw, &bar);
    if (r != audio::SoundResult::Ok) {
        EndBar(bar);
        return Fail(r, paths[0]);
    }
    const audio::WAVEFORMATEX& source = *wave.Format();
    if (!audio::DescribeFormat(source)) {
        // Nothing here decodes the source's samples: a fault of the input,
        // not of the command line.
        EndBar(bar);
        return Fail(audio::SoundResult::ConversionUnavailable);
    }
    const std::uint16_t sourceTag = audio::EffectiveTag(source).value_or(0);
    std::uint16_t outTag = tag.value_or(sourceTag);
    // Unasked bits: the source's when the coding allows them, else the
    // coding's own width.
    std::uint16_t outBits = static_cast<std::uint16_t>(bits.value_or(0));
    if (!bits) {
        outBits = source.wBitsPerSample;
        if (outTag != sourceTag || audio::FormatTagName(outTag).empty()) outBits = 0;
    }
    const bool linearOnly = outType != audio::SoundFileType::Wav;
    if (linearOnly) {
        // AIFF and AU hold linear samples of 8 or 16 bits (AU also u-law and
        // A-law); anything else becomes 16-bit linear.
        const bool companded = outType == audio::SoundFileType::Au &&
                               (outTag == audio::kFormatMuLaw || outTag == audio::kFormatALaw);
        if (!companded) {
            if (tag && outTag != audio::kFormatPcm) {
                EndBar(bar);
                return Fail(audio::SoundResult::ConversionUnavailable);
            }
            outTag = audio::kFormatPcm;
            if (!bits) outBits = outBits == 8 && sourceTag == audio::kFormatPcm ? 8 : 16;
        } else {
            outBits = 8;
        }
    }
    if (outBits == 0) {
        switch (outTag) {
            case audio::kFormatIeeeFloat:
                outBits = 32;
                break;
            case audio::kFormatMuLaw:
            case audio::kFormatALaw:
                outBits = 8;
                break;
            case audio::kFormatImaAdpcm:
            case audio::kFormatMsAdpcm:
                outBits = 4;
                break;
            default:
                outTag = audio::kFormatPcm;
                outBits = 16;
                break;
        }
    }
    audio::WAVEFORMATEX target;
    if (!audio::MakeFormat(
            target, outTag, static_cast<std::uint32_t>(rate.value_or(source.nSamplesPerSec)),
            outBits, static_cast<std::uint16_t>(channels.value_or(source.nChannels)))) {
        EndBar(bar);
        return options.Error("the asked format cannot be made (bits " + std::to_string(outBits) +
                             ")");
    }
    if (linearOnly) {
        // These writers take the wave's own samples: convert it first.
        audio::WAVEFORMATEX pcm;
        audio::MakePcmFormat(pcm, target.nSamplesPerSec,
                             target.wFormatTag == audio::kFormatPcm ? outBits : 16,
                             target.nChannels);
        if (bits && outBits != 8 && outBits != 16) {
            EndBar(bar);
            return Fail(audio::SoundResult::ConversionUnavailable);
        }
        r = audio::ConvertWave(wave, pcm);
        if (r != audio::SoundResult::Ok) {
            EndBar(bar);
            return Fail(r);
        }
    }
    platform::ClearFileFault();
    r = audio::SaveWave(wave, paths[1], typeFlags,
                        linearOnly && target.wFormatTag == audio::kFormatPcm ? nullptr : &target,
                        Draw, &bar);
    EndBar(bar);
    if (r != audio::SoundResult::Ok) return Fail(r, paths[1]);
    return kExitOk;
}

}  // namespace tamboro::cli
