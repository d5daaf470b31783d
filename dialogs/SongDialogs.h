#pragma once
// The new-song/properties dialog, the rename dialog and the song summary
// the Files dialog shows.
#include <QString>
#include <functional>
#include <string>

#include "dialogs/DialogSkin.h"

class QLineEdit;
class QPlainTextEdit;

namespace tamboro::engine {
class Song;
}

namespace tamboro::dialogs {

inline constexpr int kSongTextLimit = 29;
inline constexpr int kChannelNameLimit = 28;
inline constexpr double kMinTempo = 80.0;
inline constexpr double kMaxTempo = 240.0;

// The summary: "File:", the path, title, tempo ("%.2f"), author, mixed by
// and notes, each under its label from the string table, lines ending in
// "\r\n".
std::string SongSummary(const engine::Song& song, const std::string& path);

struct SongProperties {
    std::string title;
    double tempo = 120.0;
    std::string author;
    std::string mixedBy;
    std::string notes;
};

class SongPropertiesDialog final : public SkinnedDialog {
    Q_OBJECT
  public:
    enum class Mode { NewSong, Properties };
    // In properties mode the tempo cannot change and the author only when
    // `shiftHeld` (the Shift key was down as the dialog opened).
    SongPropertiesDialog(Mode mode, const SongProperties& values, bool shiftHeld,
                         gfx::Image* background, QWidget* parent);

    SongProperties Values() const;
    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* TempoEdit() const { return m_tempo; }
    QLineEdit* AuthorEdit() const { return m_author; }
    QLineEdit* MixedByEdit() const { return m_mixedBy; }
    QPlainTextEdit* NotesEdit() const { return m_notes; }
    // The validation message shown last (empty when none).
    QString LastWarning() const { return m_warning; }
    // Shows the validation message; a message box unless replaced (tests).
    std::function<void(const QString&)> warn;

    void accept() override;

  private:
    Mode m_mode;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_tempo = nullptr;
    QLineEdit* m_author = nullptr;
    QLineEdit* m_mixedBy = nullptr;
    QPlainTextEdit* m_notes = nullptr;
    QString m_warning;
};

class RenameDialog final : public SkinnedDialog {
    Q_OBJECT
  public:
    RenameDialog(const std::string& name, gfx::Image* background, QWidget* parent);
    std::string Name() const;
    QLineEdit* NameEdit() const { return m_name; }

  private:
    QLineEdit* m_name = nullptr;
};

}  // namespace tamboro::dialogs
