// RIFF WAVE reading and writing.
//
//   offset  size  field
//   0       4     "RIFF"
//   4       4     size of what follows (LE)
//   8       4     "WAVE"
//   12      ...   chunks: id (4), body size (4, LE), body, a pad byte when
//                 the size is odd (not counted in the size)
//
//   chunk   body
//   "fmt "  the wave format record (WaveFormat.h), 16, 18 or 18 + cbSize bytes
//   "fact"  u32 sample frames (written for formats other than PCM)
//   "data"  the samples
//   "LIST"  "INFO", then sub-chunks: id (one of the 23 INFO ids), size,
//           text with its terminating zero byte, pad
//
// Chunks are found by search, in any order; the first of each kind counts.
// Every size is checked against its parent's end before it is used.
#include <unistd.h>
#include <algorithm>
#include <cstring>

#include "audio/convert/FormatAdapter.h"
#include "audio/convert/FormatTags.h"
#include "audio/files/FileWriter.h"
#include "audio/files/SoundFileInternal.h"
#include "audio/wave/MemoryStream.h"
#include "base/ByteOrder.h"
#include "base/Cp1252.h"
#include "platform/FileFault.h"
#include "platform/TempFiles.h"

namespace tamboro::audio {
namespace detail {
namespace {

// A walk stops after this many chunks (each step advances at least 8
// bytes, so it ends anyway; this bounds the time a hostile file can take).
constexpr int kMaxChunks = 1 << 16;
constexpr std::uint32_t kPiece = 16384;
constexpr std::size_t kCopyPiece = 1 << 20;

struct Chunk {
    std::size_t body = 0;  // offset of the body in the image
    std::uint32_t size = 0;
    bool found = false;
};

std::string InfoText(const std::uint8_t* body, std::uint32_t size) {
    const auto* text = reinterpret_cast<const char*>(body);
    const std::size_t length = std::find(text, text + size, '\0') - text;
    return base::FileTextToUtf8(std::string_view(text, length));
}

void ReadInfoList(const std::uint8_t* image, const Chunk& list, RiffWaveParts& out) {
    // Sub-chunks after the "INFO" type; a sub-chunk running past the list
    // ends the walk (the texts found so far are kept: INFO is optional).
    const std::size_t end = list.body + list.size;
    std::size_t pos = list.body + 4;
    for (int n = 0; n < kMaxChunks && pos + 8 <= end; ++n) {
        const std::uint8_t* h = image + pos;
        const std::uint64_t size = base::LoadLe<32>(h + 4);
        if (pos + 8 + size > end) break;
        const std::string_view id(reinterpret_cast<const char*>(h), 4);
        const int slot = InfoSlot(id);
        if (slot >= 0 && !out.info[static_cast<std::size_t>(slot)]) {
            out.info[static_cast<std::size_t>(slot)] =
                InfoText(h + 8, static_cast<std::uint32_t>(size));
        }
        pos += 8 + size + (size & 1);
    }
}

}  // namespace

SoundResult ParseRiffWaveImage(const std::uint8_t* image, std::size_t bytes, RiffWaveParts& out) {
    if (image == nullptr || bytes < 12 || !IdIs(image, "RIFF") || !IdIs(image + 8, "WAVE")) {
        out.fault = "not a RIFF WAVE file";
        return SoundResult::InvalidFile;
    }
    // The form's size is trusted only as far as the file goes: writers that
    // stream leave it 0 or too large, and the chunks inside are checked one
    // by one anyway.
    const std::uint64_t declared = base::LoadLe<32>(image + 4);
    const std::size_t end =
        declared == 0 ? bytes
                      : static_cast<std::size_t>(std::min<std::uint64_t>(8 + declared, bytes));
    Chunk fmt, data, list;
    bool overrun = false;  // a chunk ran past the end of its parent
    std::size_t pos = 12;
    for (int n = 0; n < kMaxChunks && pos + 8 <= end; ++n) {
        const std::uint8_t* h = image + pos;
        const std::uint64_t size = base::LoadLe<32>(h + 4);
        const std::uint64_t bodyEnd = pos + 8 + size;
        Chunk* slot = nullptr;
        if (IdIs(h, "fmt ")) {
            slot = &fmt;
        } else if (IdIs(h, "data")) {
            slot = &data;
        } else if (IdIs(h, "LIST") && size >= 4 && pos + 12 <= end && IdIs(h + 8, "INFO")) {
            slot = &list;
        }
        if (bodyEnd > end) {
            overrun = true;
            break;
        }
        if (slot != nullptr && !slot->found) {
            slot->body = pos + 8;
            slot->size = static_cast<std::uint32_t>(size);
            slot->found = true;
        }
        pos = static_cast<std::size_t>(bodyEnd + (size & 1));
    }
    // A file cut short is damaged unless what we need lay before the cut
    // (junk after the samples, such as a half-written trailer, is ignored).
    if (!fmt.found || !data.found) {
        out.fault = overrun      ? "truncated: a chunk runs past the end of the file"
                    : !fmt.found ? "no format chunk (\"fmt \")"
                                 : "no sample chunk (\"data\")";
        return overrun ? SoundResult::Damaged : SoundResult::InvalidFile;
    }
    auto format = ParseFormat(std::span(image + fmt.body, fmt.size));
    if (!format || !IsUsableFormat(*format)) {
        out.fault = "the format chunk is too short or names no channels, rate or block size";
        return SoundResult::InvalidFile;
    }
    // A tag the converter knows must also be coded consistently; others are
    // kept as they are (they can be shown, not converted).
    const auto tag = EffectiveTag(*format);
    const bool known = tag && !FormatTagName(*tag).empty() && *tag != kFormatExtensible;
    if ((known || format->wFormatTag == kFormatExtensible) && !DescribeFormat(*format)) {
        out.fault = "the format's fields do not agree with its coding";
        return SoundResult::InvalidFile;
    }
    out.format = std::move(*format);
    out.dataOffset = data.body;
    out.dataBytes = data.size;
    for (auto& text : out.info)
        text.reset();
    if (list.found) ReadInfoList(image, list, out);
    return SoundResult::Ok;
}

namespace {

void PutInfo(Wave& wave, const RiffWaveParts& parts) {
    for (std::size_t i = 0; i < parts.info.size(); ++i) {
        if (parts.info[i]) wave.SetInfo(kInfoIds[i], *parts.info[i]);
    }
}

WAVEFORMATEX Pcm16Like(const WAVEFORMATEX& f) {
    WAVEFORMATEX out;
    MakePcmFormat(out, f.nSamplesPerSec, 16, f.nChannels);
    return out;
}

struct ScaledProgress {
    SoundProgress progress;
    void* context;
    std::uint32_t phase;
    std::uint32_t scale;  // percent of the whole this part covers
};
void ScaledReport(void* context, std::uint32_t, std::uint32_t percent) {
    const auto* s = static_cast<const ScaledProgress*>(context);
    if (s->progress != nullptr) s->progress(s->context, s->phase, percent * s->scale / 100);
}

// Converts the samples of `wave` (already parsed from a file) into a
// temporary PCM 16-bit WAV file; `tempPath` gets its name.
SoundResult ConvertThroughTempFile(Wave& wave, std::string& tempPath, SoundProgress progress,
                                   void* context) {
    tempPath = wave.MakeTempName();
    if (tempPath.empty()) return SoundResult::CreateFailed;
    const WAVEFORMATEX pcm = Pcm16Like(*wave.Format());
    const SoundResult r = SaveRiffWave(wave, tempPath, &pcm, progress, context);
    if (r != SoundResult::Ok) platform::DeleteFile(tempPath);
    return r;
}

}  // namespace

SoundResult LoadRiffWave(Wave& wave, const std::string& path, std::uint32_t flags,
                         SoundProgress progress, void* context) {
    wave.Reset();
    MappedFile file;
    SoundResult r = MapWholeFile(path, file);
    if (r != SoundResult::Ok) return r;
    RiffWaveParts parts;
    r = ParseRiffWaveImage(file.data, file.size, parts);
    if (r != SoundResult::Ok) {
        if (parts.fault != nullptr) platform::NoteFileFault(path, parts.fault);
        return r;
    }

    if (flags & kLoadFormatOnly) {
        wave.Create(parts.format, 0);
        PutInfo(wave, parts);
        return SoundResult::Ok;
    }
    const bool convert = (flags & kLoadConvertToPcm) && parts.format.wFormatTag != kFormatPcm;
    const bool mapped = KeepMapped(wave, flags);
    if (convert) {
        // Parse in place, save as PCM 16-bit into a temporary file, and go on
        // with that file instead.
        if (!wave.AttachFile(parts.format, std::move(file.storage), parts.dataOffset,
                             parts.dataBytes)) {
            wave.Reset();
            return SoundResult::InvalidFile;
        }
        PutInfo(wave, parts);
        std::string temp;
        ScaledProgress scaled{progress, context, mapped ? 1u : 2u, mapped ? 100u : 50u};
        r = ConvertThroughTempFile(wave, temp, ScaledReport, &scaled);
        wave.Reset();
        if (r != SoundResult::Ok) return r;
        file = MappedFile{};
        file.storage = std::make_unique<base::MappedStorage>(0, temp, true, std::string(), true);
        void* data = file.storage->IsOpen() ? file.storage->Lock() : nullptr;
        if (data == nullptr) return SoundResult::InvalidFile;
        file.data = static_cast<const std::uint8_t*>(data);
        file.size = file.storage->Size();
        if (ParseRiffWaveImage(file.data, file.size, parts) != SoundResult::Ok)
            return SoundResult::InvalidFile;
    }
    if (mapped) {
        if (!wave.AttachFile(parts.format, std::move(file.storage), parts.dataOffset,
                             parts.dataBytes))
            return SoundResult::InvalidFile;
        PutInfo(wave, parts);
        return SoundResult::Ok;
    }
    // Copy the whole image into memory, then parse the copy. The bytes are
    // read rather than copied out of the mapping: faulting in every page of
    // a mapping costs several times a plain read of the file.
    auto copy = std::make_unique<base::GlobalStorage>(file.size, true);
    auto* dst = static_cast<std::uint8_t*>(copy->Data());
    if (dst == nullptr) return SoundResult::OutOfMemory;
    platform::UniqueFd fd = platform::OpenFile(file.storage->Path(), true);
    if (!fd.Valid()) return SoundResult::OpenFailed;
    // The copy covers the second half of the progress (the conversion, when
    // there is one, the first).
    const std::uint32_t base = 50;
    for (std::size_t done = 0; done < file.size;) {
        const std::size_t n = std::min<std::size_t>(kCopyPiece, file.size - done);
        const ssize_t got = ::pread(fd.Get(), dst + done, n, static_cast<off_t>(done));
        if (got <= 0) return SoundResult::Damaged;  // the file shrank under us
        done += static_cast<std::size_t>(got);
        if (progress != nullptr)
            progress(context, 0, base + static_cast<std::uint32_t>(done * 50 / file.size));
    }
    const std::size_t size = file.size;
    file = MappedFile{};
    if (ParseRiffWaveImage(dst, size, parts) != SoundResult::Ok) return SoundResult::InvalidFile;
    if (!wave.AttachFile(parts.format, std::move(copy), parts.dataOffset, parts.dataBytes))
        return SoundResult::OutOfMemory;
    PutInfo(wave, parts);
    return SoundResult::Ok;
}

namespace {

// Where a WAV writer takes its samples from: the samples of a wave in
// memory, or a stream delivering `bytes` bytes. `info` gives the INFO texts.
struct SampleSource {
    const WAVEFORMATEX& format;
    const Wave& info;
    const std::uint8_t* data;  // the samples in memory, or null
    std::unique_ptr<ByteStream> stream;
    std::uint32_t bytes;
};

SoundResult WriteRiffWave(SampleSource source, const std::string& path,
                          const WAVEFORMATEX* outputFormat, SoundProgress progress, void* context,
                          std::uint32_t saveFlags, const std::string* title) {
    const WAVEFORMATEX target = CopyFormat(outputFormat != nullptr ? *outputFormat : source.format);
    if (!source.stream) {
        source.stream = std::make_unique<MemoryStream>(std::make_unique<base::BorrowedStorage>(
            const_cast<std::uint8_t*>(source.data), source.bytes));
    }
    ByteStream* const samples = source.stream.get();
    FormatAdapter adapter(source.format, target, std::move(source.stream));
    if (!adapter.CanConvert() || !IsUsableFormat(target)) return SoundResult::ConversionUnavailable;

    // Standard output has no name to take a title from.
    if (title != nullptr && *title == "-") title = nullptr;
    // The INFO list goes after the samples; it is made first so that every
    // size in the header is known before the first byte goes out, as a
    // stream (a pipe, standard output) needs.
    std::vector<std::uint8_t> list = {'L', 'I', 'S', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O'};
    for (std::size_t i = 0; i < kInfoIds.size(); ++i) {
        const std::string* text = source.info.InfoAt(i) ? &*source.info.InfoAt(i) : nullptr;
        if (text == nullptr && title != nullptr && kInfoIds[i] == "INAM") text = title;
        if (text == nullptr) continue;
        const std::string_view utf8(text->data(), std::min(text->find('\0'), text->size()));
        const std::string cp1252 =
            (saveFlags & kSaveCp1252Texts) != 0 ? base::Utf8ToCp1252(utf8) : std::string();
        const std::string_view bytes = (saveFlags & kSaveCp1252Texts) != 0 ? cp1252 : utf8;
        const auto size = static_cast<std::uint32_t>(bytes.size() + 1);
        list.insert(list.end(), kInfoIds[i].begin(), kInfoIds[i].end());
        for (int b = 0; b < 32; b += 8)
            list.push_back(static_cast<std::uint8_t>(size >> b));
        list.insert(list.end(), bytes.begin(), bytes.end());
        list.push_back(0);
        if (size & 1) list.push_back(0);
    }
    const auto listSize = static_cast<std::uint32_t>(list.size() - 8);
    for (int b = 0; b < 4; ++b)
        list[4 + b] = static_cast<std::uint8_t>(listSize >> (8 * b));

    const bool same = SameCoding(source.format, target);
    const std::uint64_t expected = same ? source.bytes : adapter.Length();
    if (expected > UINT32_MAX - 4096) return SoundResult::WriteFailed;
    const std::vector<std::uint8_t> fmt = SerializeFormat(target);
    const bool fact = target.wFormatTag != kFormatPcm;
    const auto riffSize = [&](std::uint64_t data) {
        return static_cast<std::uint32_t>(4 + 8 + fmt.size() + (fmt.size() & 1) + (fact ? 12 : 0) +
                                          8 + data + (data & 1) + list.size());
    };

    FileWriter out;
    if (!out.Create(path, (saveFlags & kSaveScratch) != 0)) return SoundResult::CreateFailed;
    out.PutId("RIFF");
    out.Put32Le(riffSize(expected));
    out.PutId("WAVE");
    out.PutId("fmt ");
    out.Put32Le(static_cast<std::uint32_t>(fmt.size()));
    out.Write(fmt.data(), fmt.size());
    if (fmt.size() & 1) out.Write("", 1);
    if (fact) {
        // Readers of compressed WAV take the true frame count from here.
        const std::uint64_t frames = FramesInBytes(source.format, source.bytes) *
                                     target.nSamplesPerSec / source.format.nSamplesPerSec;
        out.PutId("fact");
        out.Put32Le(4);
        out.Put32Le(static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, UINT32_MAX)));
    }
    out.PutId("data");
    const std::uint64_t dataSizeAt = out.Position();
    out.Put32Le(static_cast<std::uint32_t>(expected));
    std::uint64_t written = 0;
    if (same) {
        // Nothing to convert: the samples go out as they are, in pieces
        // large enough to bypass the writer's buffer.
        constexpr std::uint32_t kDirect = 1u << 20;
        std::vector<std::uint8_t> piece(source.data != nullptr ? 0 : kDirect);
        while (written < source.bytes) {
            auto n = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(kDirect, source.bytes - written));
            const std::uint8_t* from = source.data + written;
            if (source.data == nullptr) {
                n = samples->Read(piece.data(), n);
                if (n == 0) break;
                from = piece.data();
            }
            if (!out.Write(from, n)) return SoundResult::WriteFailed;
            written += n;
            if (written > UINT32_MAX - 4096) return SoundResult::WriteFailed;
            Report(progress, context, 1, written, source.bytes);
        }
    } else {
        const std::uint64_t total = expected;
        std::vector<std::uint8_t> piece(kPiece);
        for (;;) {
            const std::uint32_t n = adapter.Read(piece.data(), kPiece);
            if (n == 0) break;
            if (!out.Write(piece.data(), n)) return SoundResult::WriteFailed;
            written += n;
            if (written > UINT32_MAX - 4096) return SoundResult::WriteFailed;
            Report(progress, context, 1, std::min(written, total), total);
        }
    }
    // A source given up on leaves no file: the old one stays as it was.
    if (samples->Abandoned()) return SoundResult::WriteFailed;
    if (written & 1) out.Write("", 1);
    out.Write(list.data(), list.size());
    if (written != expected) {
        // The samples came out shorter or longer than announced: a file gets
        // its sizes corrected; a stream cannot take them back.
        if (out.IsStream()) {
            platform::NoteFileFault(path, "the length of the samples was not known in advance");
            return SoundResult::WriteFailed;
        }
        out.Patch32Le(dataSizeAt, static_cast<std::uint32_t>(written));
        out.Patch32Le(4, riffSize(written));
    }
    if (out.Failed() || !out.Commit()) return SoundResult::WriteFailed;
    return SoundResult::Ok;
}

}  // namespace

SoundResult SaveRiffWave(Wave& wave, const std::string& path, const WAVEFORMATEX* outputFormat,
                         SoundProgress progress, void* context, std::uint32_t saveFlags) {
    // The title is written when the wave has none; the wave gets it only when
    // the save succeeds.
    std::string title;
    const bool addTitle = wave.GetInfo("INAM") == nullptr;
    if (addTitle) platform::SplitPath(path, nullptr, &title, nullptr);
    const SoundResult r =
        WriteRiffWave({*wave.Format(), wave, wave.Data(), nullptr, wave.DataBytes()}, path,
                      outputFormat, progress, context, saveFlags, addTitle ? &title : nullptr);
    if (r == SoundResult::Ok && addTitle) wave.SetInfo("INAM", title);
    return r;
}

SoundResult SaveRiffWaveStream(std::unique_ptr<ByteStream> samples, const WAVEFORMATEX& format,
                               std::uint32_t bytes, const std::string& path,
                               const WAVEFORMATEX* outputFormat, SoundProgress progress,
                               void* context) {
    if (!samples || !IsUsableFormat(format)) return SoundResult::NoSamples;
    std::string title;
    platform::SplitPath(path, nullptr, &title, nullptr);
    const Wave noTexts;
    return WriteRiffWave({format, noTexts, nullptr, std::move(samples), bytes}, path, outputFormat,
                         progress, context, 0, &title);
}

}  // namespace detail

int ParseRiffWave(Wave& wave, const std::uint8_t* image, std::size_t bytes) {
    wave.Reset();
    detail::RiffWaveParts parts;
    if (detail::ParseRiffWaveImage(image, bytes, parts) != SoundResult::Ok) return 0;
    wave.AttachBorrowed(parts.format, const_cast<std::uint8_t*>(image) + parts.dataOffset,
                        parts.dataBytes);
    for (std::size_t i = 0; i < parts.info.size(); ++i) {
        if (parts.info[i]) wave.SetInfo(kInfoIds[i], *parts.info[i]);
    }
    return 1;
}

}  // namespace tamboro::audio
