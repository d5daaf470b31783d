// AU/SND reading and writing. All numbers big-endian.
//
//   offset  size  field
//   0       4     magic ".snd" (0x2E736E64)
//   4       4     offset of the sample data (written as 28)
//   8       4     sample data size in bytes (0xFFFFFFFF: to the end of file)
//   12      4     encoding: 1 u-law, 2 8-bit linear, 3 16-bit linear,
//                 27 A-law (8-bit)
//   16      4     sample rate
//   20      4     channels
//   24      ...   annotation; written as "mood"
//
// Samples interleaved by frame; linear ones signed. u-law and A-law load
// as 16-bit, 8-bit linear as 8-bit.
#include <algorithm>
#include <vector>

#include "audio/convert/AcmStream.h"
#include "audio/convert/BufferConverter.h"
#include "audio/convert/FormatTags.h"
#include "audio/files/FileWriter.h"
#include "audio/files/SoundFileInternal.h"
#include "audio/wave/MemoryStream.h"
#include "base/ByteOrder.h"

namespace tamboro::audio::detail {
namespace {

constexpr std::uint32_t kMagic = 0x2E736E64;
constexpr std::uint32_t kPieceFrames = 16384;
constexpr std::uint32_t kPieceBytes = 16384;
constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;

}  // namespace

SoundResult ReadAuImage(Wave& wave, const std::uint8_t* image, std::size_t bytes,
                        std::uint32_t flags, SoundProgress progress, void* context) {
    wave.Reset();
    if (image == nullptr || bytes < 24 || base::LoadBe<32>(image) != kMagic)
        return SoundResult::Damaged;
    const std::uint32_t offset = base::LoadBe<32>(image + 4);
    std::uint64_t size = base::LoadBe<32>(image + 8);
    const std::uint32_t encoding = base::LoadBe<32>(image + 12);
    const std::uint32_t rate = base::LoadBe<32>(image + 16);
    const std::uint32_t channels = base::LoadBe<32>(image + 20);
    std::uint16_t bits;
    switch (encoding) {
        case 1:
        case 3:
        case 27:
            bits = 16;
            break;
        case 2:
            bits = 8;
            break;
        default:
            return SoundResult::ConversionUnavailable;
    }
    if (channels == 0 || rate < kMinRate || rate > kMaxRate || offset < 24)
        return SoundResult::InvalidFile;
    if (channels > 2) return SoundResult::ConversionUnavailable;
    if (offset > bytes) return SoundResult::Damaged;
    if (size == kUnknownSize) size = bytes - offset;
    WAVEFORMATEX format;
    MakePcmFormat(format, rate, bits, static_cast<std::uint16_t>(channels));
    if (flags & kLoadFormatOnly) {
        wave.Create(format, 0);
        return SoundResult::Ok;
    }
    const std::uint8_t* samples = image + offset;
    if (encoding == 2 || encoding == 3) {
        const std::uint32_t width = bits / 8;
        const std::uint64_t frames = size / (width * channels);
        // 64-bit: offset + frames x frame size may pass 32 bits.
        if (offset + frames * width * channels > bytes) return SoundResult::Damaged;
        if (!wave.Create(format, static_cast<std::uint32_t>(frames)))
            return SoundResult::OutOfMemory;
        for (std::uint64_t done = 0; done < frames;) {
            const std::uint64_t n = std::min<std::uint64_t>(kPieceFrames, frames - done);
            for (std::uint64_t f = done; f < done + n; ++f) {
                const std::uint8_t* p = samples + f * width * channels;
                std::int32_t s[2];
                for (std::uint32_t c = 0; c < channels; ++c) {
                    // 8-bit: the signed byte s is stored as s x 256, which
                    // the wave's 8-bit layout keeps exactly (s + 128).
                    s[c] = width == 1 ? static_cast<std::int8_t>(p[c]) * 256
                                      : static_cast<std::int16_t>(base::LoadBe<16>(p + 2 * c));
                }
                if (channels == 1) s[1] = s[0];
                wave.SetFrame(static_cast<std::int32_t>(f),
                              (static_cast<std::uint32_t>(s[0]) & 0xFFFF) |
                                  (static_cast<std::uint32_t>(s[1]) & 0xFFFF) << 16);
            }
            done += n;
            Report(progress, context, 0, done, frames);
        }
        return SoundResult::Ok;
    }
    // u-law and A-law through the converter, into a 16-bit wave.
    WAVEFORMATEX source;
    MakePcmFormat(source, rate, 8, static_cast<std::uint16_t>(channels));
    source.wFormatTag = encoding == 1 ? kFormatMuLaw : kFormatALaw;
    const std::uint64_t frames = size / channels;
    if (offset + frames * channels > bytes) return SoundResult::Damaged;
    if (!wave.Create(format, static_cast<std::uint32_t>(frames))) return SoundResult::OutOfMemory;
    if (frames == 0) return SoundResult::Ok;
    BufferConverter converter;
    if (converter.Open(source, format, samples, static_cast<std::uint32_t>(frames * channels)) !=
        0) {
        wave.Reset();
        return SoundResult::ConverterOpenFailed;
    }
    std::uint8_t* out = wave.Data();
    const std::uint32_t total = wave.DataBytes();
    std::uint32_t done = 0;
    while (done < total) {
        const std::uint32_t n = converter.Read(out + done, std::min(kPieceBytes, total - done));
        if (n == 0) break;
        done += n;
        Report(progress, context, 0, done, total);
    }
    return SoundResult::Ok;
}

SoundResult LoadAu(Wave& wave, const std::string& path, std::uint32_t flags, SoundProgress progress,
                   void* context) {
    wave.Reset();
    MappedFile file;
    const SoundResult r = MapWholeFile(path, file);
    if (r != SoundResult::Ok) return r;
    const SoundResult read = ReadAuImage(wave, file.data, file.size, flags, progress, context);
    NoteReadFault(path, read);
    return read;
}

SoundResult SaveAu(const Wave& wave, const std::string& path, std::uint32_t encoding,
                   SoundProgress progress, void* context) {
    const PcmLayout layout = wave.Layout();
    if (encoding > 2 || layout == PcmLayout::None) return SoundResult::SaveUnknownType;
    const WAVEFORMATEX& format = *wave.Format();
    const std::uint32_t channels = format.nChannels;
    const std::uint32_t width = format.wBitsPerSample / 8;
    const auto frames = static_cast<std::uint32_t>(wave.FrameCount());
    std::uint32_t code;
    std::uint64_t dataBytes;
    if (encoding == 0) {
        code = width == 1 ? 2 : 3;
        dataBytes = std::uint64_t{frames} * channels * width;
    } else {
        code = encoding == 1 ? 1 : 27;
        dataBytes = std::uint64_t{frames} * channels;
    }
    FileWriter out;
    if (!out.Create(path)) return SoundResult::CreateFailed;
    out.Put32Be(kMagic);
    out.Put32Be(28);
    out.Put32Be(static_cast<std::uint32_t>(dataBytes));
    out.Put32Be(code);
    out.Put32Be(format.nSamplesPerSec);
    out.Put32Be(channels);
    out.PutId("mood");
    if (out.Failed()) return SoundResult::AuHeaderWriteFailed;
    if (encoding == 0) {
        std::vector<std::uint8_t> buffer;
        buffer.reserve(32768);
        for (std::uint32_t f = 0; f < frames; ++f) {
            const std::uint32_t packed = wave.GetFrame(static_cast<std::int32_t>(f));
            for (std::uint32_t c = 0; c < channels; ++c) {
                const auto s = static_cast<std::uint16_t>(packed >> (16 * c));
                buffer.push_back(static_cast<std::uint8_t>(s >> 8));
                if (width == 2) buffer.push_back(static_cast<std::uint8_t>(s));
            }
            if (buffer.size() + channels * width > 32768 || f + 1 == frames) {
                if (!out.Write(buffer.data(), buffer.size())) return SoundResult::WriteFailed;
                buffer.clear();
                Report(progress, context, 1, f + 1, frames);
            }
        }
    } else {
        WAVEFORMATEX target;
        MakePcmFormat(target, format.nSamplesPerSec, 8, static_cast<std::uint16_t>(channels));
        target.wFormatTag = encoding == 1 ? kFormatMuLaw : kFormatALaw;
        AcmStream stream(format, target,
                         std::make_unique<MemoryStream>(std::make_unique<base::BorrowedStorage>(
                             wave.Data(), std::size_t{frames} * channels * width)));
        if (!stream.Ready()) return SoundResult::ConversionUnavailable;
        std::vector<std::uint8_t> piece(kPieceBytes);
        std::uint64_t written = 0;
        for (;;) {
            const std::uint32_t n = stream.Read(piece.data(), kPieceBytes);
            if (n == 0) break;
            if (!out.Write(piece.data(), n)) return SoundResult::WriteFailed;
            written += n;
            Report(progress, context, 1, written, dataBytes);
        }
        if (written != dataBytes) return SoundResult::WriteFailed;
    }
    if (out.Failed() || !out.Commit()) return SoundResult::WriteFailed;
    return SoundResult::Ok;
}

}  // namespace tamboro::audio::detail
