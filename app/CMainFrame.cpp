#include "app/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QThreadPool>
#include <cstdlib>
#include <optional>

#include "app/Autosave.h"
#include "app/PlainPanel.h"
#include "app/SplashWindow.h"
#include "app/core/Accelerators.h"
#include "app/core/AutosaveFiles.h"
#include "app/core/Document.h"
#include "app/core/WindowFit.h"
#include "audio/files/ConvertWave.h"
#include "audio/files/SoundFile.h"
#include "audio/output/sdl/SdlBackend.h"
#include "audio/wave/SoundResult.h"
#include "console/layout/ConsoleLayout.h"
#include "console/layout/SkinImages.h"
#include "console/logic/Scale.h"
#include "dialogs/AboutBox.h"
#include "dialogs/DialogSkin.h"
#include "dialogs/InfoNotice.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/StorageJob.h"
#include "engine/LoopStretch.h"
#include "engine/SongStorage.h"
#include "engine/SongTypes.h"
#include "platform/DebugLog.h"
#include "platform/StringTable.h"

namespace tamboro::app {
namespace {

namespace layout = console::layout;

QString Str(unsigned id) {
    return QString::fromStdString(platform::LoadString(id));
}

std::uint32_t Modifiers(Qt::KeyboardModifiers m) {
    std::uint32_t bits = 0;
    if (m & Qt::ShiftModifier) bits |= kModShift;
    if (m & Qt::ControlModifier) bits |= kModControl;
    if (m & Qt::AltModifier) bits |= kModAlt;
    if (m & Qt::MetaModifier) bits |= kModMeta;
    return bits;
}

// The automatic factor for this window's screen. The display widget
// magnifies in logical pixels and Qt applies the device pixel ratio after
// it, so the rule gets the screen in those same units (a ratio of 1).
int AutomaticScale(const QWidget* w) {
    const QScreen* screen = w->screen() != nullptr ? w->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return 1;
    const QSize avail = screen->availableSize();
    return console::AutomaticScale(avail.width(), avail.height(), 1.0);
}

}  // namespace

CMainFrame::CMainFrame(FrameSetup setup)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_setup(std::move(setup)),
      m_previewSink(std::make_shared<PreviewSink>()) {
    m_previewSink->frame = this;
    setWindowTitle(Str(128));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_settings = ReadPreferences(*m_setup.settings);
    if (m_setup.theme >= 0 && m_setup.theme < kThemeCount) m_settings.colorTheme = m_setup.theme;
    m_scale = m_setup.scale > 0      ? m_setup.scale
              : m_settings.scale > 0 ? m_settings.scale
                                     : AutomaticScale(this);

    m_gfx = std::make_unique<gfx::GfxSystem>();
    LoadBackgroundTexture();

    const audio::WAVEFORMATEX format = OutputFormatFor(m_settings.outputFormat);
    m_device = std::make_unique<audio::OutputDevice>(
        m_setup.backend ? m_setup.backend() : audio::sdl::MakeSdlBackend());
    m_device->SetWindowAndFormat(format, 0);
    m_device->Activate(1);

    m_target =
        m_setup.loop->CreateTarget([this](std::uint32_t m, platform::WParam w, platform::LParam l) {
            return OnMessage(m, w, l);
        });
    m_song = std::make_unique<engine::Song>(*m_setup.loop, m_target.get());
    m_undo = std::make_unique<console::SongUndo>(*m_song);
    m_song->AttachDevice(m_device.get());
    m_song->NewSong(120.0);
    m_song->SetOutputFormat(m_settings.outputDevice, format, m_settings.monoSource != 0,
                            m_settings.softMixing != 0);
    m_cleanDoc = m_song->Document();

    DeviceSharing::Hooks hooks;
    hooks.stopSong = [this] {
        m_song->StopMix();
        if (m_console) m_console->Redraw();
    };
    hooks.activate = [this](bool on) { m_device->Activate(on ? 1 : 0); };
    hooks.isActive = [this] { return m_device->IsActive() != 0; };
    hooks.wait = [] { QThread::msleep(200); };
    hooks.askRetry = [this] {
        return Ask(1013, QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Retry) ==
               QMessageBox::Retry;
    };
    hooks.silent = [this](bool on) {
        if (m_console) m_console->ShowNotice(on ? platform::LoadString(2012) : std::string());
    };
    m_sharing = std::make_unique<DeviceSharing>(std::move(hooks));

    m_proMode = 0;
    CreateConsole();
    if (m_device->IsActive() == 0) m_sharing->StartSilent();

    auto* prefs = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this);
    connect(prefs, &QShortcut::activated, this, &CMainFrame::ShowPreferences);
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, &CMainFrame::ShowAbout);

    RefreshTitle();
    if (m_setup.splash) m_splash = SplashWindow::Show(this);
}

CMainFrame::~CMainFrame() {
    m_destroying = true;
    // A clean end leaves no snapshot behind.
    if (m_autosave) m_autosave->Discard();
    {
        std::lock_guard lock(m_previewSink->mutex);
        m_previewSink->frame = nullptr;
    }
    DestroyConsole();
    // The remaining members go in reverse order of declaration.
}

// --- Consoles -------------------------------------------------------------------------

void CMainFrame::CreateConsole() {
    PanelWnd* panel = m_setup.panels ? m_setup.panels(*this, m_proMode, this) : nullptr;
    if (panel == nullptr) panel = new PlainPanel(*this, m_proMode, this);
    m_console.reset(panel);
    panel->SetScale(m_scale);
    panel->move(0, 0);
    panel->installEventFilter(this);
    setFixedSize(panel->size());
    panel->show();
    panel->setFocus();
    emit consoleChanged();
}

void CMainFrame::DestroyConsole() {
    if (!m_console) return;
    m_console->removeEventFilter(this);
    m_console.reset();
}

void CMainFrame::SwapConsole(int proMode) {
    m_song->StopMix();
    if (m_console) m_console->Redraw();
    DestroyConsole();
    m_proMode = proMode;
    CreateConsole();
}

void CMainFrame::RequestConsole(int proMode) {
    m_target->Post(kMsgSwapConsole, static_cast<platform::WParam>(proMode), 0);
}

platform::LParam CMainFrame::OnMessage(std::uint32_t message, platform::WParam w,
                                       platform::LParam) {
    if (message == kMsgSwapConsole) {
        SwapConsole(w != 0 ? 1 : 0);
        return 1;
    }
    return 0;
}

// --- Offered to the consoles ------------------------------------------------------------

void CMainFrame::SetCurrentChannel(int channel) {
    if (channel >= 0 && channel < engine::kChannelCount) m_currentChannel = channel;
}

std::string CMainFrame::ChannelName(int channel) const {
    return m_song->GetChannelName(channel);
}

double CMainFrame::Tempo() const {
    return m_song->GetTempo();
}

void CMainFrame::OpenFilesDialog() {
    m_song->StopMix();
    if (filesDialog) {
        filesDialog(*this);
    } else {
        const QString path =
            QFileDialog::getOpenFileName(this, Str(128), QString(), dialogs::QtFilter(138));
        if (!path.isEmpty()) OpenSong(path.toStdString());
    }
    if (m_console) {
        m_console->Redraw();
        m_console->ReloadChannels(-1);
    }
    RefreshTitle();
}

std::string CMainFrame::SiblingPath(Sibling which) const {
    return m_setup.exePath + (which == Sibling::Drum ? "percola" : "sonifer");
}

bool CMainFrame::SiblingAvailable(Sibling which) const {
    const QFileInfo info(QString::fromStdString(SiblingPath(which)));
    return info.isFile() && info.isExecutable();
}

std::string CMainFrame::SiblingTooltip(Sibling which) const {
    if (SiblingAvailable(which)) return {};
    char text[512];
    std::snprintf(text, sizeof text, platform::LoadString(2011).c_str(),
                  which == Sibling::Drum ? "Percola" : "Sonifer");
    return text;
}

bool CMainFrame::LaunchSibling(Sibling which) {
    m_song->StopMix();
    if (m_console) m_console->UpdateChannels(-1);
    if (!SiblingAvailable(which)) return false;
    return QProcess::startDetached(QString::fromStdString(SiblingPath(which)), {});
}

bool CMainFrame::OpenSong(const std::string& path, bool ask) {
    return OpenSongFile(path, ask, false);
}

bool CMainFrame::OpenSongFile(const std::string& path, bool ask, bool mixOnly) {
    if (ask && !ConfirmDiscard(false)) return false;
    if (m_console) m_console->EndEdits();
    m_song->StopMix();
    dialogs::ProgressDialog progress(139, m_backTexture.get(), this);
    progress.Show();
    // Read and prepared on the storage worker; the song changes only when
    // the load ends. A cancelled load leaves it exactly as it was.
    const engine::SongResult r = dialogs::RunStorageJob(
        progress, *m_setup.loop,
        [&](engine::SongStorage& storage, engine::ProgressFn report,
            engine::SongStorage::DoneFn done) {
            return storage.StartLoad(*m_song, path, mixOnly ? engine::Song::kLoadMixOnly : 0,
                                     std::move(report), std::move(done));
        },
        progressReported);
    if (r == engine::SongResult::Cancelled) {
        progress.Close();
        return false;
    }
    const bool loaded = r == engine::SongResult::Ok;
    // Another song (or another mix on this one): the old steps lead nowhere.
    History().Clear();
    if (!mixOnly) m_songPath = loaded ? path : std::string();
    m_modified = mixOnly && loaded;
    if (!m_modified) m_cleanDoc = m_song->Document();
    RebuildAllPreviews();
    if (loaded) {
        // The pads one by one, five percent each.
        progress.SetText(Str(162));
        for (int ch = 0; ch < engine::kChannelCount; ++ch) {
            if (m_console) m_console->ReloadChannels(ch);
            progress.SetPos((ch + 1) * 5);
        }
    } else if (m_console) {
        m_console->ReloadChannels(-1);
    }
    progress.Close();
    if (!loaded) ShowError(engine::SongResultMessage(r));
    RefreshTitle();
    return loaded;
}

void CMainFrame::RefreshTitle() {
    setWindowTitle(QString::fromStdString(WindowTitle(m_song->GetTitle(), m_modified)));
}

gfx::Palette* CMainFrame::SetPalette(gfx::Palette* palette) {
    gfx::Palette* previous = m_palette;
    m_palette = palette;
    // A true-colour screen has nothing to realise.
    return previous;
}

const audio::Wave* CMainFrame::Preview(int channel) const {
    if (channel < 0 || channel >= engine::kChannelCount) return nullptr;
    return m_previews[static_cast<std::size_t>(channel)].get();
}

void CMainFrame::LoadBackgroundTexture() {
    auto texture = std::make_unique<gfx::DibSurface>();
    const std::string name =
        layout::ThemePrefix(layout::SkinSet::General, m_settings.colorTheme) + "BACKTEX";
    if (texture->Load({name, layout::kBitmapType},
                      gfx::load::kFromResource | gfx::load::kDecompress) == gfx::GfxResult::Ok) {
        m_backTexture = std::move(texture);
    } else {
        m_backTexture.reset();
    }
}

// --- Channel previews --------------------------------------------------------------------

void CMainFrame::RebuildPreview(int channel) {
    if (channel < 0 || channel >= engine::kChannelCount) return;
    const auto ch = static_cast<std::size_t>(channel);
    m_previews[ch].reset();
    const std::uint32_t generation = ++m_previewGeneration[ch];
    std::shared_ptr<audio::Wave> wave = m_song->OpenChannelPrepared(channel);
    if (!wave) return;
    ++m_previewsPending;
    QThreadPool::globalInstance()->start([sink = m_previewSink, wave, channel, generation] {
        audio::WAVEFORMATEX format;
        audio::MakePcmFormat(format, 2000, 8, 2);
        const bool ok = audio::ConvertWave(*wave, format) == audio::SoundResult::Ok &&
                        wave->Format() != nullptr && *wave->Format() == format;
        // Back on the user-interface thread. The lock keeps the frame from
        // going while the call is queued; Qt drops it if the frame goes
        // before it runs.
        std::lock_guard lock(sink->mutex);
        CMainFrame* self = sink->frame;
        if (self == nullptr) return;
        QMetaObject::invokeMethod(
            self,
            [self, wave, channel, generation, ok] {
                self->OnPreviewMade(channel, generation, ok ? wave : nullptr);
            },
            Qt::QueuedConnection);
    });
}

void CMainFrame::OnPreviewMade(int channel, std::uint32_t generation,
                               std::shared_ptr<audio::Wave> preview) {
    --m_previewsPending;
    const auto c = static_cast<std::size_t>(channel);
    if (generation != m_previewGeneration[c]) return;  // the channel changed since
    m_previews[c] = std::move(preview);
    if (m_console) m_console->ReloadChannels(channel);
}

void CMainFrame::RebuildAllPreviews() {
    for (int ch = 0; ch < engine::kChannelCount; ++ch)
        RebuildPreview(ch);
}

// --- Channel commands ----------------------------------------------------------------------

CommandState CMainFrame::ChannelCommand(int command) const {
    const int ch = m_currentChannel;
    return ChannelCommandState(command, !m_song->IsChannelEmpty(ch), m_song->IsChannelPlaying(ch),
                               m_song->IsEffect(ch));
}

QMenu* CMainFrame::CreateChannelMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const std::pair<int, const char*> items[] = {{kCmdLoadLoop, "Carica &La traccia"},
                                                 {kCmdSaveLoop, "&Salva Traccia"},
                                                 {kCmdRemoveLoop, "&Rimuovi Traccia"},
                                                 {kCmdRenameLoop, "Rino&mina Traccia"},
                                                 {kCmdEffect, "&Effetti"}};
    const bool english = platform::CurrentLanguage() == platform::Language::English;
    const char* englishText[] = {"&Load Track", "&Save Track", "&Remove Track", "Rena&me Track",
                                 "&Effects"};
    int i = 0;
    for (const auto& [command, text] : items) {
        if (command == kCmdEffect) menu->addSeparator();
        QAction* action = menu->addAction(QString::fromUtf8(english ? englishText[i] : text));
        ++i;
        const CommandState state = ChannelCommand(command);
        action->setData(command);
        action->setEnabled(state.enabled);
        action->setCheckable(command == kCmdEffect);
        action->setChecked(state.checked);
        connect(action, &QAction::triggered, this,
                [this, c = command] { ExecuteChannelCommand(c); });
    }
    // Undo and redo of the song's changes.
    menu->addSeparator();
    const bool busy = m_undo->Busy();
    QAction* undo =
        menu->addAction(QString::fromUtf8(english ? "&Undo\tCtrl+Z" : "&Annulla\tCtrl+Z"), this,
                        [this] { Undo(); });
    undo->setData(kCmdUndo);
    undo->setEnabled(m_undo->CanUndo() && !busy);
    QAction* redo = menu->addAction(
        QString::fromUtf8(english ? "Re&do\tCtrl+Shift+Z" : "Ri&peti\tCtrl+Shift+Z"), this,
        [this] { Redo(); });
    redo->setData(kCmdRedo);
    redo->setEnabled(m_undo->CanRedo() && !busy);
    return menu;
}

bool CMainFrame::OnCommand(int command) {
    if (command >= kCmdChannelNow && command < kCmdChannelInTime + kChannelKeyCount) {
        if (m_console) m_console->OnCommand(command);
        return true;
    }
    switch (command) {
        case kCmdLoadLoop:
        case kCmdSaveLoop:
        case kCmdRemoveLoop:
        case kCmdRenameLoop:
        case kCmdEffect:
            ExecuteChannelCommand(command);
            return true;
        case kCmdUndo:
            Undo();
            return true;
        case kCmdRedo:
            Redo();
            return true;
        default:
            return false;
    }
}

void CMainFrame::ExecuteChannelCommand(int command) {
    if (!ChannelCommand(command).enabled) return;
    switch (command) {
        case kCmdLoadLoop:
            LoadLoopCommand();
            break;
        case kCmdSaveLoop:
            SaveLoopCommand();
            break;
        case kCmdRemoveLoop:
            RemoveLoopCommand();
            break;
        case kCmdRenameLoop:
            RenameLoopCommand();
            break;
        case kCmdEffect:
            EffectCommand();
            break;
        default:
            break;
    }
}

void CMainFrame::LoadLoopCommand() {
    const int ch = m_currentChannel;
    std::string path;
    bool effect = false;
    bool chosen = false;
    if (waveOpenDialog) {
        chosen = waveOpenDialog(*this, path, effect);
    } else {
        const QString file =
            QFileDialog::getOpenFileName(this, Str(128), QString(), dialogs::QtFilter(129));
        chosen = !file.isEmpty();
        path = file.toStdString();
    }
    if (chosen) LoadLoopFile(ch, path, effect, loadStretch && !effect);
    loadStretch = false;
    if (m_console) m_console->UpdateChannels(ch);
}

bool CMainFrame::LoadLoopFile(int ch, const std::string& path, bool effect, bool stretch) {
    if (ch < 0 || ch >= engine::kChannelCount) return false;
    m_song->StopMix();
    engine::Song::LoadChoice choice;
    choice.effect = effect;
    choice.stretch = stretch;
    // One undo step from the read to the loop put in (none when the load
    // fails or is cancelled).
    const engine::SongDocument before = m_undo->Begin();
    const auto ask = [this](unsigned id) {
        return Ask(id, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
    };
    const auto tell = [this](unsigned id) { ShowError(platform::LoadString(id)); };
    std::optional<engine::Song::LoadLoopReport> report;
    if (!stretch || effect) {
        // Read, fitted and put in at once.
        report = m_song->LoadLoop(ch, path, choice, ask, tell);
    } else {
        // The loop is read and the tempo question asked here; the stretch
        // runs on the storage worker under the progress dialog, which holds
        // the frame's input until the loop is in (or the load has ended).
        dialogs::ProgressDialog progress(139, m_backTexture.get(), this);
        engine::SongStorage storage(*m_setup.loop);
        connect(&progress, &dialogs::ProgressDialog::cancelRequested, this,
                [&storage] { storage.Cancel(); });
        const engine::SongResult started = storage.StartLoadLoop(
            *m_song, ch, path, std::move(choice), ask, tell,
            [&](int phase, int channel, int percent) {
                progress.Report(phase, channel, percent);
                if (progressReported) progressReported(progress);
            },
            [&report](const engine::Song::LoadLoopReport& r) { report = r; });
        if (started != engine::SongResult::Ok) {
            ShowError(engine::SongResultMessage(started));
            return false;
        }
        progress.Show();
        progress.Report(engine::kStretchPhase, ch, 0);
        while (!report)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        progress.Close();
    }
    m_undo->Commit(before);
    if (report->fileResult != audio::SoundResult::Ok) {
        ShowError(audio::ErrorTextB(report->fileResult));
    } else if (report->tooLong) {
        ShowError(platform::LoadString(1014));
    } else if (report->stretchRefused) {
        ShowError(platform::LoadString(engine::kStretchRefusedText));
    } else if (report->songResult != engine::SongResult::Ok) {
        ShowError(engine::SongResultMessage(report->songResult));
    }
    // A cancelled stretch left the channel as it was; nothing to tell.
    if (!report->Ok()) return false;
    HistoryChanged();
    RebuildPreview(ch);
    if (m_console) m_console->ReloadChannels(ch);
    return true;
}

void CMainFrame::SongChanged(bool saved) {
    RebuildAllPreviews();
    if (m_console) m_console->ReloadChannels(-1);
    if (saved) {
        Saved();
    } else {
        MarkModified();
    }
}

void CMainFrame::ReapplyOutputFormat() {
    dialogs::ProgressDialog progress(139, m_backTexture.get(), this);
    progress.Show();
    m_song->SetOutputFormat(
        m_settings.outputDevice, OutputFormatFor(m_settings.outputFormat),
        m_settings.monoSource != 0, m_settings.softMixing != 0,
        [&](int phase, int channel, int percent) { progress.Report(phase, channel, percent); });
    progress.Close();
    if (m_console) m_console->ReloadChannels(-1);
}

void CMainFrame::RestartDevice() {
    if (!m_device) return;
    m_device->Activate(0);
    m_device->Activate(1);
}

void CMainFrame::SaveLoopCommand() {
    const int ch = m_currentChannel;
    std::unique_ptr<audio::Wave> copy = m_song->OpenChannelSource(ch);
    if (copy) {
        std::string path;
        bool chosen = false;
        if (waveSaveDialog) {
            chosen = waveSaveDialog(*this, m_song->GetChannelName(ch), path);
        } else {
            const QString file = QFileDialog::getSaveFileName(
                this, Str(128), QString::fromStdString(m_song->GetChannelName(ch)) + ".wav",
                dialogs::QtFilter(163));
            chosen = !file.isEmpty();
            path = file.toStdString();
        }
        if (chosen) {
            const auto r = audio::SaveWave(*copy, path, audio::kTypeWav,
                                           saveLoopFormat ? &*saveLoopFormat : nullptr);
            if (r != audio::SoundResult::Ok)
                ShowError(engine::SongResultMessage(static_cast<int>(r)));
        }
    }
    saveLoopFormat.reset();
    if (m_console) m_console->UpdateChannels(ch);
}

void CMainFrame::RemoveLoopCommand() {
    const int ch = m_currentChannel;
    m_undo->RemoveLoop(ch);
    m_previews[static_cast<std::size_t>(ch)].reset();
    ++m_previewGeneration[static_cast<std::size_t>(ch)];
    HistoryChanged();
    if (m_console) m_console->ReloadChannels(ch);
}

void CMainFrame::RenameLoopCommand() {
    const int ch = m_currentChannel;
    std::string name = m_song->GetChannelName(ch);
    bool ok = false;
    if (renameDialog) {
        ok = renameDialog(*this, name);
    } else {
        const QString text = QInputDialog::getText(this, Str(128), QString(), QLineEdit::Normal,
                                                   QString::fromStdString(name), &ok);
        name = text.toStdString();
    }
    if (ok) {
        m_undo->RenameChannel(ch, name);
        HistoryChanged();
    }
    if (m_console) m_console->UpdateChannels(ch);
}

void CMainFrame::EffectCommand() {
    const int ch = m_currentChannel;
    const engine::SongResult r = m_undo->SwitchEffect(ch);
    if (r != engine::SongResult::Ok) {
        ShowError(engine::SongResultMessage(r));
        return;
    }
    HistoryChanged();
    RebuildPreview(ch);
    if (m_console) m_console->ReloadChannels(-1);
}

// --- The document ----------------------------------------------------------------------

void CMainFrame::MarkModified() {
    ++m_changeSerial;
    History().Forget();
    if (m_modified) return;
    m_modified = true;
    RefreshTitle();
}

void CMainFrame::HistoryChanged() {
    // Clean exactly when the song is the one last saved or opened again (an
    // undo back to it; the documents compare loops by identity).
    m_modified = !(m_song->Document() == m_cleanDoc);
    ++m_changeSerial;
    RefreshTitle();
}

console::HistoryResult CMainFrame::StepHistory(bool redo) {
    // A lane drag holds places in an event list: not under it.
    if (m_console && m_console->Editing()) return console::HistoryResult::Busy;
    const console::UndoOutcome o = redo ? m_undo->Redo() : m_undo->Undo();
    if (o.history != console::HistoryResult::Ok) return o.history;
    if (o.song != engine::SongResult::Ok) ShowError(engine::SongResultMessage(o.song));
    HistoryChanged();
    for (int ch = 0; ch < engine::kChannelCount; ++ch)
        if ((o.reloaded >> ch & 1u) != 0) RebuildPreview(ch);
    if (m_console) {
        if (o.reloaded != 0 || o.tempoChanged) {
            m_console->ReloadChannels(-1);
        } else {
            m_console->UpdateChannels(-1);
        }
    }
    return o.history;
}

console::HistoryResult CMainFrame::Undo() {
    return StepHistory(false);
}

console::HistoryResult CMainFrame::Redo() {
    return StepHistory(true);
}

void CMainFrame::Saved() {
    m_modified = false;
    m_cleanDoc = m_song->Document();
    History().MarkSaved();
    RefreshTitle();
}

bool CMainFrame::SaveSongInteractive() {
    std::string path = m_songPath;
    if (saveSongDialog) {
        return saveSongDialog(*this);
    }
    if (path.empty()) {
        path = QFileDialog::getSaveFileName(this, Str(165), QString(), dialogs::QtFilter(138))
                   .toStdString();
        if (path.empty()) return false;
    }
    dialogs::ProgressDialog progress(139, m_backTexture.get(), this);
    progress.Show();
    // Written beside the old file on the storage worker and put in its place
    // in one step: a cancelled save leaves the old file as it was.
    const engine::SongResult r = dialogs::RunStorageJob(
        progress, *m_setup.loop,
        [&](engine::SongStorage& storage, engine::ProgressFn report,
            engine::SongStorage::DoneFn done) {
            return storage.StartSaveFile(*m_song, path, nullptr, std::move(report),
                                         std::move(done));
        },
        progressReported);
    progress.Close();
    if (r == engine::SongResult::Cancelled) return false;
    if (r != engine::SongResult::Ok) {
        ShowError(engine::SongResultMessage(r));
        return false;
    }
    m_songPath = path;
    Saved();
    return true;
}

void CMainFrame::NoteDocumentChanges() {
    if (m_modified) return;
    // Loops, names, flags and texts change through the frame's commands,
    // which mark the song; the mix and the levels change on the console.
    const engine::SongDocument& now = m_song->Document();
    bool changed = now.initialMasterVolume != m_cleanDoc.initialMasterVolume;
    for (int ch = 0; ch < engine::kChannelCount && !changed; ++ch) {
        const engine::ChannelDoc& a = now.channels[ch];
        const engine::ChannelDoc& b = m_cleanDoc.channels[ch];
        changed = a.events != b.events || a.initialVolume != b.initialVolume ||
                  a.initialPan != b.initialPan;
    }
    if (!changed) return;
    // Not MarkModified: the undo steps stay, they know nothing of this.
    ++m_changeSerial;
    m_modified = true;
    RefreshTitle();
}

bool CMainFrame::OfferRecovery() {
    const AutosaveFiles files = DefaultAutosaveFiles();
    if (!AutosaveExists(files)) return false;
    if (Ask(kAskRecoverAutosave, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) !=
        QMessageBox::Yes) {
        RemoveAutosave(files);
        return false;
    }
    const std::string original = ReadAutosaveOriginal(files);
    // A snapshot that cannot be opened stays until the next one or the end.
    if (!OpenSongFile(files.song, false, false)) return false;
    m_songPath = original;
    MarkModified();
    RefreshTitle();
    return true;
}

void CMainFrame::StartAutosave() {
    if (m_autosave) return;
    Autosave::Hooks hooks;
    hooks.modified = [this] {
        NoteDocumentChanges();
        return m_modified;
    };
    hooks.changeSerial = [this] { return m_changeSerial; };
    hooks.idle = [this] { return isEnabled() && QApplication::activeModalWidget() == nullptr; };
    hooks.songPath = [this] { return m_songPath; };
    m_autosave = std::make_unique<Autosave>(
        *m_song, *m_setup.loop, DefaultAutosaveFiles(),
        AutosaveInterval(std::getenv("TAMBORO_AUTOSAVE_SECONDS")), std::move(hooks), nullptr);
}

bool CMainFrame::ConfirmDiscard(bool quitting) {
    NoteDocumentChanges();
    const unsigned question =
        CloseQuestionId(quitting ? CloseReason::Quit : CloseReason::ReplaceSong, m_modified);
    if (question == 0) return true;
    if (question == kAskQuit)
        return Ask(kAskQuit, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
    const int answer =
        Ask(kAskSaveChanges, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
            QMessageBox::Yes);
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::No) return true;
    return SaveSongInteractive();
}

// --- Preferences -------------------------------------------------------------------------

void CMainFrame::ApplyPreferences(const Preferences& next) {
    m_song->StopMix();
    if (next.colorTheme != m_settings.colorTheme) {
        m_settings.colorTheme = next.colorTheme;
        DestroyConsole();
        CreateConsole();
        LoadBackgroundTexture();
    }
    if (next.outputDevice != m_settings.outputDevice ||
        next.outputFormat != m_settings.outputFormat || next.monoSource != m_settings.monoSource ||
        next.softMixing != m_settings.softMixing) {
        m_settings.outputDevice = next.outputDevice;
        m_settings.outputFormat = next.outputFormat;
        m_settings.monoSource = next.monoSource;
        m_settings.softMixing = next.softMixing;
        ReapplyOutputFormat();
    }
    m_settings.tooltip = next.tooltip;
    m_settings.levelMeter = next.levelMeter;
    m_settings.rclickDelayStart = next.rclickDelayStart;
    m_settings.defaultSong = next.defaultSong;
    if (next.scale != m_settings.scale) {
        m_settings.scale = next.scale;
        m_scale = m_setup.scale > 0 ? m_setup.scale
                  : next.scale > 0  ? next.scale
                                    : AutomaticScale(this);
        if (m_console) {
            m_console->SetScale(m_scale);
            setFixedSize(m_console->size());
        }
    }
    if (m_console) m_console->UpdateChannels(-1);
}

void CMainFrame::ShowPreferences() {
    m_song->StopMix();
    Preferences next = m_settings;
    if (preferencesDialog && preferencesDialog(*this, next)) {
        WritePreferences(*m_setup.settings, next);
        ApplyPreferences(next);
    }
    if (m_console) m_console->Redraw();
}

void CMainFrame::ShowAbout() {
    dialogs::AboutBox about(this);
    about.exec();
}

void CMainFrame::ShowShellMenu(const QPoint& globalPos) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("shellMenu"));
    QAction* prefs = menu->addAction(Str(161), this, &CMainFrame::ShowPreferences);
    prefs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    QAction* about = menu->addAction(Str(166), this, &CMainFrame::ShowAbout);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    menu->popup(globalPos);
}

// --- The sound device ----------------------------------------------------------------------

int CMainFrame::OnReleaseDevice() {
    return m_sharing->OnRelease(m_destroying);
}

void CMainFrame::OnActivateApp(bool active) {
    if (m_destroying || !m_device) return;
    m_sharing->OnActivateApp(active);
}

// --- Window events -------------------------------------------------------------------------

int CMainFrame::Ask(unsigned textId, int buttons, int defaultButton) {
    if (m_setup.answer) return m_setup.answer(textId);
    QMessageBox box(QMessageBox::Question, Str(128), Str(textId),
                    static_cast<QMessageBox::StandardButtons>(buttons), this);
    box.setDefaultButton(static_cast<QMessageBox::StandardButton>(defaultButton));
    if (textId == 1013) {
        box.setIcon(QMessageBox::Warning);
        if (auto* b = box.button(QMessageBox::Retry)) b->setText(Str(2013));
        if (auto* b = box.button(QMessageBox::Ignore)) b->setText(Str(2014));
    }
    return box.exec();
}

void CMainFrame::ShowError(const std::string& text) {
    if (text.empty()) return;
    if (m_setup.answer) {
        lastError = text;
        return;
    }
    QMessageBox::critical(this, Str(128), QString::fromStdString(text));
}

bool CMainFrame::Notice(unsigned titleId, unsigned textId) {
    if (m_setup.notice) return m_setup.notice(titleId, textId);
    return dialogs::ShowNoticeIfWanted(titleId, textId, *m_setup.settings, this);
}

QImage CMainFrame::Grab() {
    if (m_console) m_console->Redraw();
    return grab().toImage();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A progress dialog holds the frame while a job works on the song (a
    // load, a save, a stretch): the window manager's close waits for it, or
    // the job's end would meet a song already given up (a loop stretched
    // after the question about unsaved changes would be lost unasked).
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    if (!ConfirmDiscard(true)) {
        event->ignore();
        return;
    }
    m_song->StopMix();
    event->accept();
}

bool CMainFrame::HandleKey(QKeyEvent* key) {
    // Ctrl+Z and Ctrl+Shift+Z: undo and redo, never the channel key Z (the
    // accelerators leave keys with Ctrl alone).
    const Qt::KeyboardModifiers mods = key->modifiers();
    if (key->key() == Qt::Key_Z && mods.testFlag(Qt::ControlModifier) &&
        !mods.testFlag(Qt::AltModifier) && !mods.testFlag(Qt::MetaModifier)) {
        if (mods.testFlag(Qt::ShiftModifier)) {
            Redo();
        } else {
            Undo();
        }
        return true;
    }
    if (key->isAutoRepeat()) {
        // Holding a key would switch its channel on and off many times.
        const int cmd =
            ChannelCommandForKey(key->nativeScanCode(), key->key(), Modifiers(key->modifiers()));
        return cmd != 0;
    }
    const int command =
        ChannelCommandForKey(key->nativeScanCode(), key->key(), Modifiers(key->modifiers()));
    if (command == 0) return false;
    return OnCommand(command);
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(event)) QWidget::keyPressEvent(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (m_console && watched == m_console.get()) {
        if (event->type() == QEvent::KeyPress) {
            // The accelerators come before the console's own keys.
            if (HandleKey(static_cast<QKeyEvent*>(event))) return true;
        } else if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton &&
                !m_console->IsControlAt(mouse->position().toPoint())) {
                ShowShellMenu(mouse->globalPosition().toPoint());
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CMainFrame::FitToDisplay() {
    const QScreen* s = screen();
    if (s == nullptr) return;
    const QRect frameRect = frameGeometry();
    const QPoint client = mapToGlobal(QPoint(0, 0));
    const FitPoint to =
        app::FitToDisplay(s->geometry().width(), s->geometry().height(), width(), height(),
                          {frameRect.x(), frameRect.y()}, {client.x(), client.y()});
    if (to.x != frameRect.x() || to.y != frameRect.y()) move(to.x, to.y);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_fitConnected) {
        m_fitConnected = true;
        if (QScreen* s = screen())
            connect(s, &QScreen::geometryChanged, this, &CMainFrame::FitToDisplay);
    }
    FitToDisplay();
}

void CMainFrame::paintEvent(QPaintEvent*) {
    // The console covers the client area; anything left is black.
    QPainter(this).fillRect(rect(), Qt::black);
}

}  // namespace tamboro::app
