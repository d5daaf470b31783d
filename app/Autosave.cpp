#include "app/Autosave.h"

#include "engine/Song.h"
#include "engine/SongStorage.h"
#include "platform/DebugLog.h"

namespace tamboro::app {

Autosave::Autosave(engine::Song& song, platform::MessageLoop& loop, AutosaveFiles files,
                   int intervalSeconds, Hooks hooks, QObject* parent)
    : QObject(parent),
      m_song(song),
      m_files(std::move(files)),
      m_interval(intervalSeconds),
      m_hooks(std::move(hooks)),
      m_storage(std::make_unique<engine::SongStorage>(loop)),
      m_last(std::chrono::steady_clock::now()) {
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &Autosave::onTick);
    if (!m_files.folder.empty()) m_timer.start();
}

Autosave::~Autosave() = default;

bool Autosave::Busy() const {
    return m_storage && m_storage->Busy();
}

void Autosave::onTick() {
    const bool recording = m_song.IsRecording();
    const bool takeEnded = m_wasRecording && !recording;
    m_wasRecording = recording;
    if (takeEnded || std::chrono::steady_clock::now() - m_last >= m_interval) {
        if (SaveNow() || !m_hooks.modified()) m_last = std::chrono::steady_clock::now();
    }
}

bool Autosave::SaveNow() {
    if (!m_storage || m_files.folder.empty() || m_storage->Busy()) return false;
    if (!m_hooks.modified() || !m_hooks.idle()) return false;
    const std::uint64_t serial = m_hooks.changeSerial();
    if (m_haveSnapshot && serial == m_snapshotSerial && m_song.Document() == m_snapshotDoc)
        return false;
    // The original path first: a snapshot is never without it.
    if (const int e = WriteAutosaveInfo(m_files, m_hooks.songPath()); e != 0) {
        platform::DebugLog("autosave: %s: error %d", m_files.info.c_str(), e);
        return false;
    }
    engine::SongDocument doc = m_song.Document();
    const engine::SongResult r = m_storage->StartSave(
        m_song, m_files.song, 0, nullptr, {},
        [this, doc = std::move(doc), serial](engine::SongResult result) {
            if (result != engine::SongResult::Ok) {
                platform::DebugLog("autosave: %s: result %d", m_files.song.c_str(),
                                   static_cast<int>(result));
                return;
            }
            m_haveSnapshot = true;
            m_snapshotDoc = doc;
            m_snapshotSerial = serial;
            ++m_written;
        });
    return r == engine::SongResult::Ok;
}

void Autosave::Discard() {
    m_timer.stop();
    // Cancels and waits for a running snapshot; its end is not delivered.
    m_storage.reset();
    RemoveAutosave(m_files);
}

}  // namespace tamboro::app
