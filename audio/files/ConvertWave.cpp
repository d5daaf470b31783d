#include "audio/files/ConvertWave.h"

#include <array>
#include <optional>
#include <vector>

#include "audio/convert/BufferConverter.h"
#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "audio/wave/MemoryStream.h"
#include "platform/TempFiles.h"

namespace tamboro::audio {
namespace {

constexpr std::uint32_t kPiece = 16384;

using InfoTexts = std::array<std::optional<std::string>, 23>;

InfoTexts TakeInfo(const Wave& wave) {
    InfoTexts texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = wave.InfoAt(i);
    return texts;
}

void PutInfo(Wave& wave, const InfoTexts& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i]) wave.SetInfo(kInfoIds[i], *texts[i]);
    }
}

SoundResult PassInMemory(Wave& wave, const WAVEFORMATEX& to) {
    BufferConverter converter;
    if (converter.Open(*wave.Format(), to, wave.Data(), wave.DataBytes()) != 0)
        return SoundResult::ConverterOpenFailed;
    MemoryStream out;
    if (out.GetMode() != ByteStream::kWriting) return SoundResult::InvalidFile;
    std::vector<std::uint8_t> piece(kPiece);
    for (;;) {
        const std::uint32_t n = converter.Read(piece.data(), kPiece);
        if (n == 0) break;
        if (out.Write(piece.data(), n) != n) return SoundResult::InvalidFile;
    }
    converter.Close();
    auto storage = out.Detach();
    if (!storage) return SoundResult::InvalidFile;
    const InfoTexts texts = TakeInfo(wave);
    if (!wave.AttachStorage(to, std::move(storage))) return SoundResult::InvalidFile;
    PutInfo(wave, texts);
    return SoundResult::Ok;
}

SoundResult PassThroughFile(Wave& wave, const WAVEFORMATEX& to) {
    const std::string temp = wave.MakeTempName();
    if (temp.empty()) return SoundResult::ConversionUnavailable;
    SoundResult r = SaveWave(wave, temp, kTypeWav, &to);
    if (r == SoundResult::Ok) r = LoadWave(wave, temp, kTypeWav | kLoadMapped | kLoadShare);
    // The mapping keeps the samples alive after the name is gone.
    platform::DeleteFile(temp);
    return r == SoundResult::Ok ? r : SoundResult::ConversionUnavailable;
}

WAVEFORMATEX Pcm16(std::uint32_t rate, std::uint16_t channels) {
    WAVEFORMATEX f;
    MakePcmFormat(f, rate, 16, channels);
    return f;
}

}  // namespace

SoundResult ConvertWave(Wave& wave, const WAVEFORMATEX& format) {
    if (!wave.HasSamples() || wave.Format() == nullptr) return SoundResult::NoSamples;
    const auto pass = [&](const WAVEFORMATEX& to) {
        return wave.StorageMode() == 0 ? PassInMemory(wave, to) : PassThroughFile(wave, to);
    };
    SoundResult r = SoundResult::Ok;
    if (wave.Format()->wFormatTag != kFormatPcm) {
        r = pass(Pcm16(wave.Format()->nSamplesPerSec, wave.Format()->nChannels));
        if (r != SoundResult::Ok) return r;
    }
    if (format.wFormatTag != kFormatPcm && format.nSamplesPerSec != wave.Format()->nSamplesPerSec) {
        r = pass(Pcm16(format.nSamplesPerSec, wave.Format()->nChannels));
        if (r != SoundResult::Ok) return r;
    }
    if (!SameCoding(*wave.Format(), format)) r = pass(format);
    return r;
}

}  // namespace tamboro::audio
