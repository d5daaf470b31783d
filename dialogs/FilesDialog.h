#pragma once
// The Files dialog: the song's summary and the buttons that make a new
// song, open one, save it, save it under a new name (or render it to a wave
// file) and edit its properties.
#include <functional>
#include <string>

#include "app/core/Preferences.h"
#include "audio/wave/WaveFormat.h"
#include "dialogs/DialogSkin.h"
#include "dialogs/SongDialogs.h"

class QPlainTextEdit;

namespace tamboro::engine {
class Song;
class SongStorage;
enum class SongResult : int;
}  // namespace tamboro::engine
namespace tamboro::platform {
class MessageLoop;
}

namespace tamboro::dialogs {

class ProgressDialog;

// What the dialog works on, lent by the main frame.
struct FilesContext {
    engine::Song* song = nullptr;
    // The user-interface thread's loop: the saves run on the engine's
    // storage worker and report back through it.
    platform::MessageLoop* loop = nullptr;
    app::SettingsStore* settings = nullptr;
    gfx::Image* background = nullptr;
    // The frame's song path.
    std::function<std::string()> songPath;
    std::function<void(const std::string&)> setSongPath;
    // The engine message box (title 128, stop icon).
    std::function<void(const std::string&)> showError;
    // The song was replaced or saved: `saved` clears the modified mark,
    // otherwise the song counts as changed; the pads are reloaded.
    std::function<void(bool saved)> songChanged;
    // After a mixdown: the preference output settings applied again.
    std::function<void()> reapplyOutput;
    // After a mix-only save: the output device off and on again.
    std::function<void()> restartDevice;
    // Shows an information notice (title id, text id) unless it is
    // switched off; null: the modal notice with `settings`.
    std::function<bool(unsigned titleId, unsigned textId)> notice;
    // Opens a song as the frame does (progress, errors); true on success.
    std::function<bool(const std::string& path, bool mixOnly)> openSong;
    // Called after each progress report of a save has been shown, before
    // the work goes on (may be empty; tests press Cancel here).
    std::function<void(ProgressDialog&)> progressReported;
};

// What a song save dialog answered.
struct SongSaveChoice {
    std::string path;
    bool mixOnly = false;
    bool hasFormat = false;
    audio::WAVEFORMATEX format{};
};

class FilesDialog final : public SkinnedDialog {
    Q_OBJECT
  public:
    FilesDialog(FilesContext context, QWidget* parent);

    // The buttons' operations.
    void NewSong();
    void LoadSong();
    bool SaveSong();
    bool SaveSongAs();
    void Properties();

    // Saves the whole song to `path` safely and makes it the song path.
    bool SaveTo(const SongSaveChoice& choice);

    std::string Summary() const { return m_summary; }
    QPlainTextEdit* SummaryEdit() const { return m_summaryEdit; }

    // Seams the tests replace: the modal steps.
    std::function<int(SongPropertiesDialog&)> runProperties;
    std::function<bool(std::string& path, bool& mixOnly)> chooseSongToLoad;
    std::function<bool(SongSaveChoice& choice)> chooseSongToSave;
    std::function<bool()> shiftHeld;

  private:
    void RebuildSummary();
    // Runs a storage job (`start` gets the storage, the progress and the
    // end callbacks and answers Start's result) under the progress dialog,
    // whose Cancel stops it; waits for its end, running the events. Shows
    // the engine's message for a failure (not for a cancel).
    template <typename Start>
    engine::SongResult RunStorageJob(Start start);

    FilesContext m_ctx;
    QPlainTextEdit* m_summaryEdit = nullptr;
    std::string m_summary;
};

}  // namespace tamboro::dialogs
