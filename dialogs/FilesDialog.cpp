#include "dialogs/FilesDialog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <optional>

#include "dialogs/InfoNotice.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/StorageJob.h"
#include "dialogs/WaveFileDialogs.h"
#include "engine/Song.h"
#include "engine/SongStorage.h"
#include "engine/SongTypes.h"
#include "platform/StringTable.h"

namespace tamboro::dialogs {

FilesDialog::FilesDialog(FilesContext context, QWidget* parent)
    : SkinnedDialog(context.background, parent), m_ctx(std::move(context)) {
    setWindowTitle("Files");
    const bool english = platform::CurrentLanguage() == platform::Language::English;
    DialogButton* newSong = AddButton(english ? "&New Song" : "&Nuovo Brano");
    DialogButton* load = AddButton(english ? "L&oad Song" : "Carica Bran&o");
    DialogButton* save = AddButton(english ? "&Save Song" : "&Salva Brano");
    DialogButton* saveAs = AddButton(english ? "Save Song &As" : "Salv&a il brano come");
    DialogButton* props = AddButton(english ? "&Properties" : QString::fromUtf8("&Proprietà"));
    DialogButton* close = AddButton(english ? "Close" : "Chiudi", true);
    m_summaryEdit = new QPlainTextEdit(this);
    m_summaryEdit->setReadOnly(true);
    m_summaryEdit->setMinimumSize(300, 260);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_summaryEdit, 0, 0, 6, 1);
    int row = 0;
    for (DialogButton* b : {newSong, load, save, saveAs, props, close})
        grid->addWidget(b, row++, 1);
    connect(newSong, &QAbstractButton::clicked, this, &FilesDialog::NewSong);
    connect(load, &QAbstractButton::clicked, this, &FilesDialog::LoadSong);
    connect(save, &QAbstractButton::clicked, this, [this] { SaveSong(); });
    connect(saveAs, &QAbstractButton::clicked, this, [this] { SaveSongAs(); });
    connect(props, &QAbstractButton::clicked, this, &FilesDialog::Properties);
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);

    runProperties = [](SongPropertiesDialog& d) { return d.exec(); };
    shiftHeld = [] { return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0; };
    chooseSongToLoad = [this](std::string& path, bool& mixOnly) {
        SongLoadDialog dialog(this);
        if (dialog.exec() != QDialog::Accepted) return false;
        path = dialog.ChosenPath();
        mixOnly = dialog.MixOnly();
        return !path.empty();
    };
    chooseSongToSave = [this](SongSaveChoice& choice) {
        SongSaveDialog dialog(m_ctx.songPath(), this);
        if (dialog.exec() != QDialog::Accepted) return false;
        choice.path = dialog.ChosenPath();
        choice.mixOnly = dialog.MixOnly();
        choice.hasFormat = dialog.HasFormat();
        choice.format = dialog.Format();
        return !choice.path.empty();
    };
    RebuildSummary();
    close->setFocus();
}

void FilesDialog::RebuildSummary() {
    m_summary = SongSummary(*m_ctx.song, m_ctx.songPath());
    QString shown = QString::fromStdString(m_summary);
    shown.replace("\r\n", "\n");
    m_summaryEdit->setPlainText(shown);
}

template <typename Start>
engine::SongResult FilesDialog::RunStorageJob(Start start) {
    ProgressDialog progress(139, m_ctx.background, this);
    progress.Show();
    const engine::SongResult result =
        dialogs::RunStorageJob(progress, *m_ctx.loop, start, m_ctx.progressReported);
    progress.Close();
    if (result != engine::SongResult::Ok && result != engine::SongResult::Cancelled &&
        m_ctx.showError)
        m_ctx.showError(engine::SongResultMessage(result));
    return result;
}

void FilesDialog::NewSong() {
    // The tempo rule, before the tempo is asked for.
    if (m_ctx.notice)
        m_ctx.notice(128, 2002);
    else if (m_ctx.settings != nullptr)
        ShowNoticeIfWanted(128, 2002, *m_ctx.settings, this);
    SongPropertiesDialog dialog(SongPropertiesDialog::Mode::NewSong, SongProperties{}, false,
                                m_ctx.background, this);
    if (runProperties(dialog) == QDialog::Accepted) {
        const SongProperties v = dialog.Values();
        m_ctx.song->NewSong(v.tempo);
        m_ctx.song->SetAuthor(v.author);
        m_ctx.song->SetTitle(v.title);
        m_ctx.song->SetNotes(v.notes);
        m_ctx.setSongPath({});
        if (m_ctx.songChanged) m_ctx.songChanged(true);
    }
    RebuildSummary();
}

void FilesDialog::Properties() {
    const engine::Song& s = *m_ctx.song;
    const SongProperties now{s.GetTitle(), s.GetTempo(), s.GetAuthor(), s.GetMixedBy(),
                             s.GetNotes()};
    SongPropertiesDialog dialog(SongPropertiesDialog::Mode::Properties, now, shiftHeld(),
                                m_ctx.background, this);
    if (runProperties(dialog) == QDialog::Accepted) {
        const SongProperties v = dialog.Values();
        m_ctx.song->SetMixedBy(v.mixedBy);
        m_ctx.song->SetTitle(v.title);
        m_ctx.song->SetNotes(v.notes);
        m_ctx.song->SetAuthor(v.author);
        if (v.mixedBy != now.mixedBy || v.title != now.title || v.notes != now.notes ||
            v.author != now.author) {
            if (m_ctx.songChanged) m_ctx.songChanged(false);
        }
    }
    RebuildSummary();
}

void FilesDialog::LoadSong() {
    std::string path;
    bool mixOnly = false;
    if (chooseSongToLoad(path, mixOnly) && m_ctx.openSong) m_ctx.openSong(path, mixOnly);
    RebuildSummary();
}

bool FilesDialog::SaveSong() {
    const std::string path = m_ctx.songPath();
    if (path.empty()) return SaveSongAs();
    SongSaveChoice choice;
    choice.path = path;
    return SaveTo(choice);
}

bool FilesDialog::SaveTo(const SongSaveChoice& choice) {
    const audio::WAVEFORMATEX* format = choice.hasFormat ? &choice.format : nullptr;
    // Written beside the old file and put in its place in one step, then
    // the song is loaded from it: a save that fails or is cancelled leaves
    // the old file as it was.
    const auto r = RunStorageJob([&](engine::SongStorage& storage, engine::ProgressFn progress,
                                     engine::SongStorage::DoneFn done) {
        return storage.StartSaveFile(*m_ctx.song, choice.path, format, std::move(progress),
                                     std::move(done));
    });
    const bool ok = r == engine::SongResult::Ok;
    if (ok) {
        m_ctx.setSongPath(choice.path);
        if (m_ctx.songChanged) m_ctx.songChanged(true);
    }
    RebuildSummary();
    return ok;
}

bool FilesDialog::SaveSongAs() {
    SongSaveChoice choice;
    if (!chooseSongToSave(choice)) return false;
    const audio::WAVEFORMATEX* format = choice.hasFormat ? &choice.format : nullptr;
    const QString suffix = QFileInfo(QString::fromStdString(choice.path)).suffix();
    if (suffix.compare("wav", Qt::CaseInsensitive) == 0) {
        const auto r = RunStorageJob([&](engine::SongStorage& storage, engine::ProgressFn progress,
                                         engine::SongStorage::DoneFn done) {
            return storage.StartMixdown(*m_ctx.song, choice.path, format, std::move(progress),
                                        std::move(done));
        });
        if (m_ctx.reapplyOutput) m_ctx.reapplyOutput();
        RebuildSummary();
        return r == engine::SongResult::Ok;
    }
    if (!choice.mixOnly) return SaveTo(choice);
    const auto r = RunStorageJob([&](engine::SongStorage& storage, engine::ProgressFn progress,
                                     engine::SongStorage::DoneFn done) {
        return storage.StartSave(*m_ctx.song, choice.path, engine::Song::kSaveMixOnly, format,
                                 std::move(progress), std::move(done));
    });
    const bool ok = r == engine::SongResult::Ok;
    if (ok) {
        if (m_ctx.restartDevice) m_ctx.restartDevice();
        m_ctx.setSongPath(choice.path);
    }
    RebuildSummary();
    return ok;
}

}  // namespace tamboro::dialogs
