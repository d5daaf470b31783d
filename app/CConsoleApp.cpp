#include "app/CConsoleApp.h"

#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include "app/DialogHooks.h"
#include "app/Registry.h"
#include "app/core/Accelerators.h"
#include "app/core/XdgRegistration.h"
#include "audio/output/OutputBackend.h"
#include "audio/output/OutputDevice.h"
#include "console/layout/SkinImages.h"
#include "dialogs/GfxImage.h"
#include "dialogs/InfoNotice.h"
#include "engine/Song.h"
#include "gfx/DibSurface.h"
#include "platform/DebugLog.h"
#include "platform/StringTable.h"
#ifdef TAMBORO_HAVE_SKINS
#include "resources/SkinResources.h"
#endif

namespace tamboro::app {
namespace {

QString Str(unsigned id) {
    return QString::fromStdString(platform::LoadString(id));
}

std::string CurrentFolder() {
    return QDir::currentPath().toStdString();
}

}  // namespace

std::string DefaultInstallPath() {
    const QString bin = QCoreApplication::applicationDirPath();
    const QString share = QDir::cleanPath(bin + "/../share/tamboro");
    if (QFileInfo(share).isDir()) return share.toStdString() + "/";
    return bin.toStdString() + "/";
}

std::string EmptySongBytes(platform::MessageLoop& loop) {
    QTemporaryDir folder;
    if (!folder.isValid()) return {};
    const std::string path = folder.filePath(QStringLiteral("empty.tbo")).toStdString();
    std::string bytes;
    {
        // A silent device: the song wants one to be a song at all.
        audio::OutputDevice device(std::make_unique<audio::ManualBackend>());
        device.SetWindowAndFormat(OutputFormatFor(1), 0);
        engine::Song song(loop);
        song.AttachDevice(&device);
        song.NewSong(120.0);
        const engine::SongResult saved = song.SaveSong(path, 0, nullptr);
        song.DetachDevice();
        if (saved != engine::SongResult::Ok) {
            platform::DebugLog("registration: no empty song (%d)", engine::ToInt(saved));
        } else {
            QFile file(QString::fromStdString(path));
            if (file.open(QIODevice::ReadOnly)) bytes = file.readAll().toStdString();
        }
    }
    return bytes;
}

CConsoleApp::CConsoleApp(int& argc, char** argv) : QApplication(argc, argv) {
#ifdef TAMBORO_HAVE_SKINS
    resources::RegisterSkinResources();
#endif
    setApplicationName(QStringLiteral("tamboro"));
    setQuitOnLastWindowClosed(true);
}

CConsoleApp::~CConsoleApp() {
    ExitInstance();
}

void CConsoleApp::ExitInstance() {
    // The frame (and with it the song's targets) before the loop.
    m_frame.reset();
    m_instance.reset();
    m_store.reset();
    m_loop.reset();
    handedOver = 0;
}

bool CConsoleApp::Notice(unsigned titleId, unsigned textId) {
    if (m_options.notice) {
        if (!NoticeWanted(*m_store, textId)) return false;
        return m_options.notice(titleId, textId);
    }
    return dialogs::ShowNoticeIfWanted(titleId, textId, *m_store, m_frame.get());
}

int CConsoleApp::InitInstance(const std::vector<std::string>& args, StartOptions options) {
    m_options = std::move(options);
    // Made absolute now: start-up changes the current folder below.
    m_commandLine = ParseCommandLine(args, CurrentFolder());
    if (!m_commandLine.ok) {
        std::fprintf(stderr, "tamboro: %s\n", m_commandLine.error.c_str());
        return 1;
    }
    const bool screenshot = !m_commandLine.screenshot.empty();
    m_loop = std::make_unique<QtMessageLoop>();

    m_instance = std::make_unique<SingleInstance>();
    if (!screenshot) {
        if (!m_instance->Acquire()) {
            if (!m_commandLine.song.empty() &&
                SingleInstance::Send({InstanceRequest::Kind::Open, m_commandLine.song}))
                return 0;
            if (m_options.message)
                m_options.message(1016);
            else
                QMessageBox::information(nullptr, Str(128), Str(1016));
            return 1;
        }
        m_instance->Listen();
        connect(m_instance.get(), &SingleInstance::openRequested, this,
                &CConsoleApp::onOpenRequested);
        connect(m_instance.get(), &SingleInstance::releaseRequested, this,
                &CConsoleApp::onReleaseRequested);
    }

    m_store = std::make_unique<QtSettingsStore>();
    m_exePath = MachineFolder("EXEPATH", QCoreApplication::applicationDirPath().toStdString());
    m_installPath = MachineFolder("INSTALLPATH", DefaultInstallPath());

    if (!screenshot && m_options.registerDesktop) RegisterDesktop();
    if (!m_installPath.empty()) QDir::setCurrent(QString::fromStdString(m_installPath));
    if (!screenshot) Notice(128, 2000);

    FrameSetup setup;
    setup.loop = m_loop.get();
    setup.settings = m_store.get();
    setup.panels = m_options.panels;
    setup.backend = m_options.backend;
    if (screenshot) {
        // A picture needs no sound: never touch the user's device. The
        // backend renders only when the picture's channels ask for it.
        setup.backend = [this, given = setup.backend]() -> std::unique_ptr<audio::OutputBackend> {
            std::unique_ptr<audio::OutputBackend> b =
                given ? given() : std::make_unique<audio::ManualBackend>();
            m_shotBackend = dynamic_cast<audio::ManualBackend*>(b.get());
            return b;
        };
    }
    setup.exePath = m_exePath;
    setup.scale = m_commandLine.scale;
    setup.theme = m_commandLine.theme;
    setup.splash = m_commandLine.splash && !screenshot;
    setup.answer = m_options.answer;
    setup.notice = [this](unsigned titleId, unsigned textId) { return Notice(titleId, textId); };
    m_frame = std::make_unique<CMainFrame>(std::move(setup));
    InstallDialogs(*m_frame);
    if (m_commandLine.pro) m_frame->RequestConsole(1);
    m_frame->show();
    m_frame->repaint();
    CMainFrame* frame = m_frame.get();
    if (!screenshot)
        connect(
            this, &QGuiApplication::applicationStateChanged, frame,
            [frame](Qt::ApplicationState s) { frame->OnActivateApp(s == Qt::ApplicationActive); });

    // A snapshot left by a run that did not end comes first; once it is
    // recovered, no other song is opened over it.
    const bool recovered = !screenshot && m_frame->OfferRecovery();
    if (recovered) {
        // The recovered song is the one to work on.
    } else if (!m_commandLine.song.empty()) {
        m_frame->OpenSong(m_commandLine.song, false);
    } else if (!m_frame->Settings().defaultSong.empty()) {
        m_frame->OpenSong(m_frame->Settings().defaultSong, false);
    } else if (!screenshot) {
        Notice(128, 2001);
    }
    if (screenshot) return TakeScreenshot();
    m_frame->StartAutosave();
    return -1;
}

int CConsoleApp::TakeScreenshot() {
    // Let the posted work (a console swap, the previews) run and the
    // console draw.
    for (int i = 0; i < 50 && (m_frame->PreviewsPending() > 0 || i < 5); ++i) {
        m_loop->RunUntil([] { return false; }, std::chrono::milliseconds(20));
    }
    if (!PlayForScreenshot()) return 1;
    const QImage picture = m_frame->Grab();
    if (!picture.save(QString::fromStdString(m_commandLine.screenshot), "PNG")) {
        std::fprintf(stderr, "tamboro: cannot write %s\n", m_commandLine.screenshot.c_str());
        return 1;
    }
    return 0;
}

bool CConsoleApp::PlayForScreenshot() {
    const CommandLine& cl = m_commandLine;
    if (cl.on.empty() && cl.inTime.empty()) return true;
    PanelWnd* console = m_frame->Console();
    if (m_shotBackend == nullptr || console == nullptr || m_frame->Device() == nullptr) {
        std::fprintf(stderr, "tamboro: no console or sound backend to play the picture's pads\n");
        return false;
    }
    const audio::WAVEFORMATEX format = m_frame->Device()->GetFormat();
    const std::uint32_t block = std::max<std::uint32_t>(64, format.nSamplesPerSec / 50);
    // Sound renders only here, by hand, so time stands still while the
    // console's ticks run: a waiting pad keeps waiting (its loop's boundary
    // is at least a bar away from the clock's start).
    const auto play = [&](int blocks) {
        for (int b = 0; b < blocks; ++b)
            m_shotBackend->Render(block);
        // Two console ticks take the live mix's news and draw them.
        m_loop->RunUntil([] { return false; }, std::chrono::milliseconds(300));
    };
    for (const int ch : cl.on)
        console->OnCommand(kCmdChannelNow + ch);
    play(15);  // 300 ms: the meter shows the last 60 of them
    for (const int ch : cl.inTime)
        console->OnCommand(kCmdChannelInTime + ch);
    play(1);
    // The waiting pads on their second picture, so the four pad pictures
    // can all be seen at once.
    if (!cl.inTime.empty())
        m_loop->RunUntil([console] { return console->BlinkShowsSecond(); },
                         std::chrono::milliseconds(1000));
    return true;
}

void CConsoleApp::RegisterDesktop() {
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    std::vector<IconImage> icons;
    gfx::DibSurface icon;
    namespace layout = console::layout;
    if (icon.Load({layout::kIconName, layout::kBitmapType},
                  gfx::load::kFromResource | gfx::load::kDecompress) == gfx::GfxResult::Ok) {
        const QImage picture = dialogs::ToQImage(&icon);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (picture.save(&buffer, "PNG")) icons.push_back({picture.width(), png.toStdString()});
    }
    std::string templates = XdgTemplatesFolder();
    if (!templates.empty() && !QFileInfo(QString::fromStdString(templates)).isDir())
        templates.clear();
    const std::string emptySong = templates.empty() ? std::string() : EmptySongBytes(*m_loop);
    const std::string dataHome = XdgDataHome();
    const auto written =
        WriteChangedFiles(RegistrationFiles(dataHome, templates, program, icons, emptySong));
    if (!written.empty()) RefreshDesktopDatabases(dataHome, written);
}

void CConsoleApp::onOpenRequested(const QString& path) {
    ++handedOver;
    if (!m_frame) return;
    m_frame->showNormal();
    m_frame->raise();
    m_frame->activateWindow();
    m_frame->OpenSong(path.toStdString(), true);
}

void CConsoleApp::onReleaseRequested() {
    if (m_frame) m_frame->OnReleaseDevice();
}

}  // namespace tamboro::app
