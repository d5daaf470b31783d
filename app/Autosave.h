#pragma once
// Automatic snapshots of a modified song, so that a crash or a kill loses
// little: every interval (and as soon as a recording ends) while the song
// is modified, the song is written to the autosave file on the engine's
// storage worker, through the atomic writer. A snapshot never resets or
// reloads the song, never stops the sound and never touches the user's
// file. Discard() (a clean end) removes the files again.
//
// User-interface thread only.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/core/AutosaveFiles.h"
#include "engine/SongDocument.h"

namespace tamboro::engine {
class Song;
class SongStorage;
}  // namespace tamboro::engine
namespace tamboro::platform {
class MessageLoop;
}

namespace tamboro::app {

class Autosave final : public QObject {
    Q_OBJECT
  public:
    struct Hooks {
        // Whether the song counts as modified (asked at each check).
        std::function<bool()> modified;
        // A number that changes with every change of the song the document
        // does not show (loops loaded or removed).
        std::function<std::uint64_t()> changeSerial;
        // Whether nothing else is working on the song now (no progress
        // dialog, no modal step): a snapshot waits otherwise.
        std::function<bool()> idle;
        // The file the song came from (empty for a new song).
        std::function<std::string()> songPath;
    };

    // Checks once a second; a snapshot is due `intervalSeconds` after the
    // previous one.
    Autosave(engine::Song& song, platform::MessageLoop& loop, AutosaveFiles files,
             int intervalSeconds, Hooks hooks, QObject* parent);
    ~Autosave() override;

    // Writes a snapshot now when the song is modified, differs from the
    // last snapshot and nothing else works on it; true when one started.
    bool SaveNow();
    // The clean end: a running snapshot is cancelled and both files are
    // removed. No further snapshots.
    void Discard();

    const AutosaveFiles& Files() const { return m_files; }
    // Snapshots written completely so far.
    int Written() const { return m_written; }
    bool Busy() const;

  private:
    void onTick();

    engine::Song& m_song;
    AutosaveFiles m_files;
    std::chrono::seconds m_interval;
    Hooks m_hooks;
    QTimer m_timer;
    std::unique_ptr<engine::SongStorage> m_storage;
    std::chrono::steady_clock::time_point m_last;
    bool m_wasRecording = false;
    int m_written = 0;
    // What the last complete snapshot held.
    bool m_haveSnapshot = false;
    engine::SongDocument m_snapshotDoc;
    std::uint64_t m_snapshotSerial = 0;
};

}  // namespace tamboro::app
