// The song file: an "UNFM" archive of a 1664-byte header record, each
// loaded loop as a complete WAV image, each channel's mix events, and the
// notes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "audio/convert/FormatTags.h"
#include "audio/files/ConvertWave.h"
#include "audio/files/SoundFile.h"
#include "base/Cp1252.h"
#include "base/Storage.h"
#include "engine/MixEvents.h"
#include "engine/PreparedLoop.h"
#include "engine/Song.h"
#include "engine/SongHeader.h"
#include "platform/FileFault.h"
#include "platform/TempFiles.h"

namespace tamboro::engine {

SongResult Song::SaveSong(const std::string& path, std::uint32_t flags,
                          const audio::WAVEFORMATEX* format, const ProgressFn& progress) {
    if ((flags & kSaveMixdown) != 0) return Mixdown(path, format, progress);
    const bool mixOnly = (flags & kSaveMixOnly) != 0;
    // Writing straight over the file the song's loops are read from would
    // cut it under them: that goes through a temporary file instead.
    if (IsOpenSongFile(path)) return ReplaceSongFile(path, mixOnly, format, progress, !mixOnly);
    return WriteSongFile(path, mixOnly, format, progress, false);
}

bool Song::IsOpenSongFile(const std::string& path) const {
    struct stat target {};
    struct stat open {};
    return m_archive && !m_archivePath.empty() && ::stat(path.c_str(), &target) == 0 &&
           ::stat(m_archivePath.c_str(), &open) == 0 && target.st_dev == open.st_dev &&
           target.st_ino == open.st_ino;
}

SongResult Song::WriteSongFile(const std::string& path, bool mixOnly,
                               const audio::WAVEFORMATEX* format, const ProgressFn& progress,
                               bool flushToDisk) {
    SaveJob job;
    const SongResult prepared = PrepareSave(path, mixOnly ? kSaveMixOnly : 0, format, job);
    if (prepared != SongResult::Ok) return prepared;
    return RunSave(job, progress, nullptr, flushToDisk);
}

SongResult Song::PrepareSave(const std::string& path, std::uint32_t flags,
                             const audio::WAVEFORMATEX* format, SaveJob& job) {
    if (format != nullptr && !audio::IsUsableFormat(*format)) return SongResult::BadArgument;
    job = SaveJob{};
    job.path = path;
    job.mixOnly = (flags & kSaveMixOnly) != 0;
    job.hasFormat = format != nullptr;
    if (format != nullptr) job.format = audio::CopyFormat(*format);
    SongHeader header;
    header.tempo = m_doc.tempo;
    header.initialMasterVolume = m_doc.initialMasterVolume;
    header.author = m_doc.author;
    header.title = m_doc.title;
    header.mixedBy = m_doc.mixedBy;
    std::int32_t next = 1;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        header.names[ch] = m_doc.channels[ch].name;
        header.initialVolume[ch] = m_doc.channels[ch].initialVolume;
        header.initialPan[ch] = m_doc.channels[ch].initialPan;
        header.flags[ch] = m_doc.channels[ch].flags;
        if (!job.mixOnly && (m_doc.channels[ch].flags & kLoaded) != 0) {
            header.sampleRecord[ch] = next++;
        }
    }
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (m_doc.channels[ch].events.empty()) continue;
        header.eventRecord[ch] = next++;
        header.eventCount[ch] = static_cast<std::int32_t>(m_doc.channels[ch].events.size());
        job.events[ch] = SerializeEvents(m_doc.channels[ch].events);
    }
    if (!m_doc.notes.empty()) {
        header.notesRecord = next++;
        // Like every text of the file, the notes are Windows-1252.
        job.notes = base::Utf8ToCp1252(m_doc.notes);
    }
    job.header = SerializeSongHeader(header);
    if (job.mixOnly) return SongResult::Ok;
    // The loops are taken now: the song may change (or go) while the job
    // writes them.
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if ((m_doc.channels[ch].flags & kLoaded) == 0) continue;
        if (format == nullptr) {
            // Kept in its own format: the loop's WAV image goes into the
            // file as it is, once it is known to be one.
            job.images[ch] = ChannelSourceImage(ch);
            audio::Wave check;
            if (!job.images[ch] ||
                !audio::ParseRiffWave(check,
                                      static_cast<const std::uint8_t*>(job.images[ch]->Data()),
                                      job.images[ch]->Size())) {
                return SongResult::TempFileFailed;
            }
        } else {
            job.loops[ch] = OpenChannelSource(ch);
            if (!job.loops[ch]) return SongResult::TempFileFailed;
        }
    }
    return SongResult::Ok;
}

SongResult Song::RunSave(SaveJob& job, const ProgressFn& progress, const std::atomic<bool>* cancel,
                         bool flushToDisk) {
    const auto cancelled = [cancel] {
        return cancel != nullptr && cancel->load(std::memory_order_acquire);
    };
    if (cancelled()) return SongResult::Cancelled;
    base::UnfmArchive archive;
    switch (archive.Create(job.path)) {
        case 0:
            break;
        case static_cast<int>(base::ArchiveResult::WriteFailed):
            return SongResult::WriteFailed;  // a full disk
        default:
            return SongResult::CreateFailed;
    }
    // A failed or cancelled save leaves the file it would have replaced as
    // it was, and no temporary file.
    const auto failWith = [&](SongResult r) {
        archive.Discard();
        return r;
    };
    if (archive.Append(job.header.data(), job.header.size()) != 0) {
        return failWith(SongResult::WriteFailed);
    }
    if (!job.mixOnly) {
        for (int ch = 0; ch < kChannelCount; ++ch) {
            if (progress) progress(3, ch, ch * 5);
            if (cancelled()) return failWith(SongResult::Cancelled);
            if (job.images[ch]) {
                // A failed append is a failed write of the song (a full disk).
                if (archive.Append(job.images[ch]->Data(), job.images[ch]->Size()) != 0) {
                    return failWith(SongResult::WriteFailed);
                }
                job.images[ch].reset();
                continue;
            }
            if (!job.loops[ch]) continue;
            std::unique_ptr<audio::Wave> loop = std::move(job.loops[ch]);
            if (audio::ConvertWave(*loop, job.format) != audio::SoundResult::Ok) {
                return failWith(SongResult::TempFileFailed);
            }
            std::string temp;
            if (platform::MakeTempFileName("TBT", temp) == 0) {
                return failWith(SongResult::TempFileFailed);
            }
            const bool written =
                audio::SaveWave(*loop, temp,
                                audio::kTypeWav | audio::kSaveScratch | audio::kSaveCp1252Texts) ==
                audio::SoundResult::Ok;
            loop.reset();
            base::GlobalStorage image(temp);
            platform::DeleteFile(temp);
            if (!written || image.Data() == nullptr) return failWith(SongResult::TempFileFailed);
            if (archive.Append(image.Data(), image.Size()) != 0) {
                return failWith(SongResult::WriteFailed);
            }
        }
    }
    for (const auto& events : job.events) {
        if (events.empty()) continue;
        if (archive.Append(events.data(), events.size()) != 0) {
            return failWith(SongResult::WriteFailed);
        }
    }
    if (!job.notes.empty()) {
        if (archive.Append(job.notes.c_str(), job.notes.size() + 1) != 0) {
            return failWith(SongResult::WriteFailed);
        }
    }
    if (cancelled()) return failWith(SongResult::Cancelled);
    if (archive.Close(flushToDisk) != 0) return SongResult::WriteFailed;
    return SongResult::Ok;
}

SongResult Song::SaveSongFile(const std::string& path, const audio::WAVEFORMATEX* format,
                              const ProgressFn& progress) {
    return ReplaceSongFile(path, false, format, progress, true);
}

SongResult Song::ReplaceSongFile(const std::string& path, bool mixOnly,
                                 const audio::WAVEFORMATEX* format, const ProgressFn& progress,
                                 bool reload) {
    // The archive replaces the file in one step when it is complete. The
    // song's open archive keeps reading the old file's data until the
    // reload below, so a failed save leaves both the old file and the song
    // as they were.
    const SongResult result = WriteSongFile(path, mixOnly, format, progress, true);
    if (result != SongResult::Ok) return result;
    if (!reload) return SongResult::Ok;
    Reset();
    return LoadSong(path, 0, progress);
}

SongResult Song::LoadSong(const std::string& path, std::uint32_t flags,
                          const ProgressFn& progress) {
    LoadJob job;
    PrepareLoad(path, flags, job);
    RunLoad(job, progress, nullptr);
    return CommitLoad(job);
}

Song::LoadJob::~LoadJob() {
    for (PreparedLoop& loop : loops) {
        if (!loop.file.empty()) platform::DeleteFile(loop.file);
    }
}

void Song::PrepareLoad(const std::string& path, std::uint32_t flags, LoadJob& job) const {
    job.path = path;
    job.mixOnly = (flags & kLoadMixOnly) != 0;
    job.prepare = m_device != nullptr;
    if (job.prepare) job.format = PreparedFormat();
}

void Song::RunLoad(LoadJob& job, const ProgressFn& progress, const std::atomic<bool>* cancel) {
    const auto cancelled = [&] {
        if (cancel == nullptr || !cancel->load(std::memory_order_acquire)) return false;
        job.result = SongResult::Cancelled;
        return true;
    };
    if (cancelled()) return;
    job.archive = std::make_unique<base::UnfmArchive>();
    switch (job.archive->Open(job.path)) {
        case 0:
            break;
        case static_cast<int>(base::ArchiveResult::OpenFailed):
            job.result = SongResult::OpenFailed;
            return;
        case static_cast<int>(base::ArchiveResult::NotArchive):
            job.result = SongResult::BadSongFile;
            return;
        default:
            job.result = SongResult::ArchiveFailed;
            return;
    }
    base::UnfmArchive& archive = *job.archive;
    std::vector<std::uint8_t> record;
    std::optional<SongHeader> header;
    if (archive.RecordSize(0) == kSongHeaderBytes && archive.ReadRecord(0, record) == 0) {
        header = ParseSongHeader(record, archive.Count());
    }
    // Every event and notes record must be readable and well formed before
    // the song is touched.
    bool valid = header.has_value();
    for (int ch = 0; valid && ch < kChannelCount; ++ch) {
        if (header->eventRecord[ch] == -1) continue;
        valid = archive.RecordSize(header->eventRecord[ch]) ==
                    std::uint64_t{static_cast<std::uint32_t>(header->eventCount[ch])} *
                        sizeof(MixEvent) &&
                archive.ReadRecord(header->eventRecord[ch], record) == 0;
        if (!valid) break;
        auto parsed = ParseEvents(record);
        valid = parsed.has_value();
        if (valid) job.events[ch] = std::move(*parsed);
    }
    if (valid && header->notesRecord != -1) {
        valid = archive.ReadRecord(header->notesRecord, record) == 0;
        if (valid) {
            const auto* text = reinterpret_cast<const char*>(record.data());
            // Windows-1252 as written; a file whose notes are UTF-8 (as this
            // program once wrote them) is read as UTF-8.
            job.notes = base::FileTextToUtf8(std::string_view(text, strnlen(text, record.size())));
        }
    }
    if (!valid) {
        platform::NoteFileFault(job.path, !header ? "the song header record is damaged"
                                                  : "a mix or notes record is damaged");
        job.archive.reset();
        job.damaged = true;
        job.result = SongResult::BadSongFile;
        return;
    }
    job.header = std::move(*header);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (progress) progress(1, ch, ch * 5);
        if (cancelled()) return;
        if (job.mixOnly || job.header.sampleRecord[ch] == -1) continue;
        // Without a device the loop waits in the file (attaching one
        // prepares it), but it must be readable all the same: a WAV image in
        // a coding the converter knows.
        PreparedLoop& loop = job.loops[ch];
        int read = 0;
        auto image = archive.ReadRecordStorage(job.header.sampleRecord[ch], &read);
        audio::Wave wave;
        if (!image || image->Data() == nullptr || !WaveFromImage(std::move(image), wave) ||
            (!job.prepare && !audio::DescribeFormat(*wave.Format()))) {
            loop.result = SongResult::BadSongFile;
            return;
        }
        loop.sourceLength = WaveLengthMs(wave);
        if (!job.prepare) continue;
        loop.result = MakePreparedLoop(wave, job.format, (job.header.flags[ch] & kEffect) != 0,
                                       job.header.tempo, loop.file, loop.preparedLength);
        if (loop.result != SongResult::Ok) return;
    }
}

SongResult Song::CommitLoad(LoadJob& job) {
    if (job.result == SongResult::Cancelled) return SongResult::Cancelled;
    if (job.damaged) {
        StopMix();
        Reset();
        if (!job.mixOnly) NewSong(120.0);
        return SongResult::BadSongFile;
    }
    // The file could not be opened as an archive: the song is untouched.
    if (job.result != SongResult::Ok) return job.result;
    const SongHeader& header = job.header;

    if (job.mixOnly) {
        StopMix();
        m_doc.author = header.author;
        m_doc.title = header.title;
        m_doc.mixedBy = header.mixedBy;
        m_doc.initialMasterVolume = m_masterVolume = header.initialMasterVolume;
        // Events keep their bar positions: a stored time at the stored tempo
        // is the same bar at the current tempo after scaling by the ratio of
        // the tempos.
        const double scale = m_doc.tempo > 0.0 ? header.tempo / m_doc.tempo : 1.0;
        for (int ch = 0; ch < kChannelCount; ++ch) {
            m_doc.channels[ch].flags =
                (m_doc.channels[ch].flags & ~std::uint32_t{kEffect}) | (header.flags[ch] & kEffect);
            m_doc.channels[ch].initialVolume = m_volume[ch] = header.initialVolume[ch];
            m_doc.channels[ch].initialPan = m_pan[ch] = header.initialPan[ch];
            m_doc.channels[ch].events.clear();
            for (MixEvent e : job.events[ch]) {
                const double t = std::floor(static_cast<double>(e.time) * scale);
                e.time = t >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(t);
                InsertEvent(m_doc.channels[ch].events, e);
            }
        }
        m_doc.notes = job.notes;
        job.archive.reset();
        return SongResult::Ok;
    }

    StopMix();
    NewSong(header.tempo);
    m_doc.author = header.author;
    m_doc.title = header.title;
    m_doc.mixedBy = header.mixedBy;
    m_archive = std::move(job.archive);
    m_archivePath = job.path;
    m_doc.initialMasterVolume = m_masterVolume = header.initialMasterVolume;
    // The loops were prepared for the device as it was when the load began;
    // a device changed since then prepares them again here.
    const bool preparedFits = job.prepare && m_device != nullptr && PreparedFormat() == job.format;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        m_doc.channels[ch].name = header.names[ch];
        // Only the Effect bit is taken as stored: Loaded and InArchive are
        // set below for the channels whose loop really is in the file. (A
        // mix-only file opened this way keeps its loaded bits, but there is
        // no loop behind them: such channels open empty, with their names.)
        m_doc.channels[ch].flags = header.flags[ch] & kEffect;
        m_doc.channels[ch].initialVolume = m_volume[ch] =
            std::clamp(header.initialVolume[ch], -10000, 0);
        m_doc.channels[ch].initialPan = m_pan[ch] =
            std::clamp(header.initialPan[ch], -10000, 10000);
        if (header.sampleRecord[ch] != -1) {
            m_doc.channels[ch].flags |= kLoaded | kInArchive;
            m_doc.channels[ch].loop =
                ChannelLoop::InArchive(m_archive, header.sampleRecord[ch], job.path);
            PreparedLoop& loop = job.loops[ch];
            SongResult result = loop.result;
            if (result == SongResult::Ok) {
                m_doc.channels[ch].sourceLength = loop.sourceLength;
                if (preparedFits) {
                    InstallPrepared(ch, std::exchange(loop.file, {}), loop.preparedLength);
                } else if (m_device != nullptr) {
                    result = PrepareChannel(ch, nullptr);
                }
            }
            if (result != SongResult::Ok) {
                Reset();
                NewSong(120.0);
                return result;
            }
        }
        for (const MixEvent& e : job.events[ch])
            InsertEvent(m_doc.channels[ch].events, e);
    }
    m_doc.notes = job.notes;
    return SongResult::Ok;
}

}  // namespace tamboro::engine
