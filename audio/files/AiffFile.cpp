// AIFF and AIFF-C reading and writing. All numbers big-endian.
//
//   offset  size  field
//   0       4     "FORM"
//   4       4     size of what follows
//   8       4     "AIFF" or "AIFC"
//   12      ...   chunks: id (4), body size (4), body, pad to even length
//
//   "COMM"  u16 channels, u32 sample frames, u16 bits per sample,
//           80-bit extended sample rate (u16 sign and exponent, u64
//           mantissa); AIFF-C adds the compression type (4) and its name
//           ("NONE"/"twos" big-endian, "sowt" little-endian samples)
//   "SSND"  u32 offset, u32 block size, then the samples (signed), from
//           byte 8 + offset of the body
//
// Written files hold exactly FORM "AIFF", COMM (18 bytes) and SSND: 54
// bytes of header. Samples of 8 bits load as 8-bit, wider ones as 16-bit
// (24 and 32 bits rounded to 16).
#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/convert/FormatTags.h"
#include "audio/convert/codecs/SampleCodec.h"
#include "audio/files/ConvertWave.h"
#include "audio/files/FileWriter.h"
#include "audio/files/SoundFileInternal.h"
#include "base/ByteOrder.h"

namespace tamboro::audio::detail {
namespace {

constexpr int kMaxChunks = 1 << 16;
constexpr std::uint32_t kPieceFrames = 16384;

struct RateEntry {
    std::uint32_t rate;
    std::uint16_t exponent;
    std::uint16_t mantissa;
};
// The rates written with their exact field values.
constexpr RateEntry kRates[] = {
    {8000, 0x400B, 64000},  {11025, 0x400C, 44100}, {16000, 0x400C, 64000}, {22050, 0x400D, 44100},
    {32000, 0x400D, 64000}, {32075, 0x400D, 64150}, {44100, 0x400E, 44100}, {48000, 0x400E, 48000}};

}  // namespace

// The rate of an 80-bit extended field, rounded to a whole number; 0 when
// the field is negative or its exponent is outside 0x3FFF..0x4011 (rates
// 1 to 524287 Hz).
std::uint32_t DecodeExtendedRate(const std::uint8_t* p) {
    const std::uint16_t word = base::LoadBe<16>(p);
    if (word & 0x8000) return 0;
    const int exponent = word;
    if (exponent < 0x3FFF || exponent > 0x4011) return 0;
    std::uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i)
        mantissa = mantissa << 8 | p[2 + i];
    const int shift = 0x403E - exponent;  // 45..63
    const std::uint64_t rate = (mantissa >> shift) + ((mantissa >> (shift - 1)) & 1);
    return static_cast<std::uint32_t>(rate);
}

// Exponent word and mantissa for a rate: the table's values for its rates,
// the general encoding (the same values, as the table follows it) otherwise.
void EncodeExtendedRate(std::uint32_t rate, std::uint8_t* p) {
    std::uint16_t exponent = 0;
    std::uint64_t mantissa = 0;
    const auto* entry = std::find_if(std::begin(kRates), std::end(kRates),
                                     [rate](const RateEntry& e) { return e.rate == rate; });
    if (entry != std::end(kRates)) {
        exponent = entry->exponent;
        mantissa = std::uint64_t{entry->mantissa} << 48;
    } else if (rate != 0) {
        int top = 31;
        while (!(rate >> top & 1))
            --top;
        exponent = static_cast<std::uint16_t>(0x3FFF + top);
        mantissa = std::uint64_t{rate} << (63 - top);
    }
    p[0] = static_cast<std::uint8_t>(exponent >> 8);
    p[1] = static_cast<std::uint8_t>(exponent);
    for (int i = 0; i < 8; ++i)
        p[2 + i] = static_cast<std::uint8_t>(mantissa >> (56 - 8 * i));
}

SoundResult ReadAiffImage(Wave& wave, const std::uint8_t* image, std::size_t bytes,
                          std::uint32_t flags, SoundProgress progress, void* context) {
    wave.Reset();
    if (image == nullptr || bytes < 12 || !IdIs(image, "FORM")) return SoundResult::Damaged;
    const bool aifc = IdIs(image + 8, "AIFC");
    if (!aifc && !IdIs(image + 8, "AIFF")) return SoundResult::Damaged;
    const std::uint64_t declared = base::LoadBe<32>(image + 4);
    const std::size_t end =
        declared == 0 ? bytes
                      : static_cast<std::size_t>(std::min<std::uint64_t>(8 + declared, bytes));
    std::size_t comm = 0, ssnd = 0;
    std::uint32_t commSize = 0, ssndSize = 0;
    std::size_t pos = 12;
    for (int n = 0; n < kMaxChunks && pos + 8 <= end; ++n) {
        const std::uint8_t* h = image + pos;
        const std::uint64_t size = base::LoadBe<32>(h + 4);
        if (pos + 8 + size > end) break;  // the walk ends at a chunk that overruns
        if (IdIs(h, "COMM") && comm == 0) {
            comm = pos + 8;
            commSize = static_cast<std::uint32_t>(size);
        } else if (IdIs(h, "SSND") && ssnd == 0) {
            ssnd = pos + 8;
            ssndSize = static_cast<std::uint32_t>(size);
        }
        pos = static_cast<std::size_t>(pos + 8 + size + (size & 1));
    }
    if (comm == 0 || ssnd == 0 || commSize < 18 || ssndSize < 8) return SoundResult::Damaged;
    const std::uint8_t* c = image + comm;
    const std::uint32_t channels = base::LoadBe<16>(c);
    const std::uint32_t commFrames = base::LoadBe<32>(c + 2);
    const std::uint32_t bits = base::LoadBe<16>(c + 6);
    const std::uint32_t rate = DecodeExtendedRate(c + 8);
    if (rate == 0) return SoundResult::Damaged;
    bool littleEndian = false;
    if (aifc) {
        if (commSize < 22) return SoundResult::Damaged;
        const std::uint8_t* type = c + 18;
        if (IdIs(type, "sowt")) {
            littleEndian = true;
        } else if (!IdIs(type, "NONE") && !IdIs(type, "twos")) {
            return SoundResult::ConversionUnavailable;
        }
    }
    if (channels == 0 || bits == 0 || bits > 32 || rate > kMaxRate) return SoundResult::InvalidFile;
    if (channels > 2) return SoundResult::ConversionUnavailable;
    const std::uint32_t width = (bits + 7) / 8;  // bytes per sample in the file
    const std::uint32_t frameBytes = width * channels;
    WAVEFORMATEX format;
    MakePcmFormat(format, rate, width == 1 ? 8 : 16, static_cast<std::uint16_t>(channels));
    if (flags & kLoadFormatOnly) {
        wave.Create(format, 0);
        return SoundResult::Ok;
    }
    const std::uint32_t offset = base::LoadBe<32>(image + ssnd);
    if (offset > ssndSize - 8) return SoundResult::Damaged;
    const std::uint64_t available = (ssndSize - 8 - offset) / frameBytes;
    const auto frames = static_cast<std::uint32_t>(std::min<std::uint64_t>(commFrames, available));
    if (frames > 0x7FFFFFFF) return SoundResult::Damaged;
    if (!wave.Create(format, frames)) return SoundResult::OutOfMemory;
    if (frames == 0) return SoundResult::Ok;  // a file without samples: the format only
    const std::uint8_t* samples = image + ssnd + 8 + offset;
    // Each sample as a left-justified 32-bit value, then to the wave's width.
    const auto sampleAt = [&](const std::uint8_t* p) -> std::int32_t {
        std::uint32_t v = 0;
        for (std::uint32_t k = 0; k < width; ++k) {
            const std::uint8_t b = littleEndian ? p[width - 1 - k] : p[k];
            v |= static_cast<std::uint32_t>(b) << (24 - 8 * k);
        }
        return static_cast<std::int32_t>(v);
    };
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = std::min(kPieceFrames, frames - done);
        for (std::uint32_t f = done; f < done + n; ++f) {
            const std::uint8_t* p = samples + std::size_t{f} * frameBytes;
            // 8-bit: the signed byte s is stored as s x 256, which the wave's
            // 8-bit layout keeps exactly (s + 128).
            const std::int32_t left = codecs::To16(sampleAt(p));
            const std::int32_t right = channels == 2 ? codecs::To16(sampleAt(p + width)) : left;
            wave.SetFrame(static_cast<std::int32_t>(f),
                          (static_cast<std::uint32_t>(left) & 0xFFFF) |
                              (static_cast<std::uint32_t>(right) & 0xFFFF) << 16);
        }
        done += n;
        Report(progress, context, 0, done, frames);
    }
    return SoundResult::Ok;
}

SoundResult LoadAiff(Wave& wave, const std::string& path, std::uint32_t flags,
                     SoundProgress progress, void* context) {
    wave.Reset();
    MappedFile file;
    const SoundResult r = MapWholeFile(path, file);
    if (r != SoundResult::Ok) return r;
    const SoundResult read = ReadAiffImage(wave, file.data, file.size, flags, progress, context);
    NoteReadFault(path, read);
    return read;
}

SoundResult SaveAiff(const Wave& source, const std::string& path, const WAVEFORMATEX* outputFormat,
                     SoundProgress progress, void* context) {
    const PcmLayout layout = source.Layout();
    if (layout == PcmLayout::None) return SoundResult::ConversionUnavailable;
    const std::uint16_t bits = source.Format()->wBitsPerSample;
    // A format with other channels or another rate gets samples to match
    // (the header alone would misdescribe them).
    Wave converted;
    const Wave* wave = &source;
    if (outputFormat != nullptr &&
        (outputFormat->nChannels != source.Format()->nChannels ||
         outputFormat->nSamplesPerSec != source.Format()->nSamplesPerSec)) {
        WAVEFORMATEX target;
        MakePcmFormat(target, outputFormat->nSamplesPerSec, bits, outputFormat->nChannels);
        if (LayoutOf(target) == PcmLayout::None) return SoundResult::ConversionUnavailable;
        converted.AttachBorrowed(*source.Format(), source.Data(), source.DataBytes());
        if (ConvertWave(converted, target) != SoundResult::Ok)
            return SoundResult::ConversionUnavailable;
        wave = &converted;
    }
    const std::uint32_t channels = wave->Format()->nChannels;
    const std::uint32_t rate = wave->Format()->nSamplesPerSec;
    const auto frames = static_cast<std::uint32_t>(wave->FrameCount());
    const std::uint32_t width = bits / 8;
    const std::uint64_t sampleBytes = std::uint64_t{frames} * channels * width;
    const std::uint32_t pad = sampleBytes & 1;
    if (sampleBytes + 46 + pad > UINT32_MAX) return SoundResult::WriteFailed;

    FileWriter out;
    if (!out.Create(path)) return SoundResult::CreateFailed;
    out.PutId("FORM");
    out.Put32Be(static_cast<std::uint32_t>(sampleBytes + 46 + pad));
    out.PutId("AIFF");
    out.PutId("COMM");
    out.Put32Be(18);
    out.Put16Be(static_cast<std::uint16_t>(channels));
    out.Put32Be(frames);
    out.Put16Be(bits);
    std::uint8_t extended[10];
    EncodeExtendedRate(rate, extended);
    out.Write(extended, 10);
    out.PutId("SSND");
    out.Put32Be(static_cast<std::uint32_t>(sampleBytes + 8));
    out.Put32Be(0);
    out.Put32Be(0);
    const std::uint32_t bufferBytes = channels == 2 ? 65536 : 32768;
    std::vector<std::uint8_t> buffer;
    buffer.reserve(bufferBytes);
    for (std::uint32_t f = 0; f < frames; ++f) {
        const std::uint32_t packed = wave->GetFrame(static_cast<std::int32_t>(f));
        for (std::uint32_t ch = 0; ch < channels; ++ch) {
            const auto s = static_cast<std::uint16_t>(packed >> (16 * ch));
            buffer.push_back(static_cast<std::uint8_t>(s >> 8));
            if (width == 2) buffer.push_back(static_cast<std::uint8_t>(s));
        }
        if (buffer.size() + channels * width > bufferBytes || f + 1 == frames) {
            if (!out.Write(buffer.data(), buffer.size())) return SoundResult::WriteFailed;
            buffer.clear();
            Report(progress, context, 1, f + 1, frames);
        }
    }
    if (pad) out.Write("", 1);
    if (out.Failed() || !out.Commit()) return SoundResult::WriteFailed;
    return SoundResult::Ok;
}

}  // namespace tamboro::audio::detail
