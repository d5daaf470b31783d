#pragma once
// The application object: start-up in the program's order (one instance,
// machine-wide folders, desktop registration, the start-up notice, the main
// frame, the first song), the requests of later starts, and the --screenshot
// mode that saves the main window as a PNG and ends.
#include <QApplication>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/QtMessageLoop.h"
#include "app/QtSettingsStore.h"
#include "app/SingleInstance.h"
#include "app/core/CommandLine.h"

namespace tamboro::app {

// What start-up is made with besides the command line; the program uses the
// defaults, tests replace parts.
struct StartOptions {
    PanelFactory panels;
    std::function<std::unique_ptr<audio::OutputBackend>()> backend;
    // Answers the question boxes (tests); null: the boxes ask the user.
    std::function<int(unsigned textId)> answer;
    // Shows a notice (title id, text id) unless it is switched off; answers
    // whether it was shown. Null: the modal notice dialog.
    std::function<bool(unsigned titleId, unsigned textId)> notice;
    // Shows a plain message (string 1016 on a second start). Null: a box.
    std::function<void(unsigned textId)> message;
    bool registerDesktop = true;
};

class CConsoleApp final : public QApplication {
    Q_OBJECT
  public:
    CConsoleApp(int& argc, char** argv);
    ~CConsoleApp() override;

    // Start-up. Answers -1 when the program runs on (call exec()), or the
    // exit status when start-up already ends it: 0 after a song was handed
    // to the running instance or a screenshot was saved, 1 when another
    // instance runs or the command line is wrong.
    int InitInstance(const std::vector<std::string>& args, StartOptions options = {});

    // Ends what InitInstance started (the frame, the instance lock, the
    // settings), so a test can start again in the same process.
    void ExitInstance();

    CMainFrame* Frame() const { return m_frame.get(); }
    QtMessageLoop& Loop() { return *m_loop; }
    QtSettingsStore& Store() { return *m_store; }
    SingleInstance& Instance() { return *m_instance; }
    const std::string& ExePath() const { return m_exePath; }
    const std::string& InstallPath() const { return m_installPath; }
    const CommandLine& Arguments() const { return m_commandLine; }

    // The song files a second start handed over (tests look).
    int handedOver = 0;

  private:
    void RegisterDesktop();
    int TakeScreenshot();
    // --on and --in-time of a screenshot: channels sounding and waiting.
    bool PlayForScreenshot();
    bool Notice(unsigned titleId, unsigned textId);
    void onOpenRequested(const QString& path);
    void onReleaseRequested();

    StartOptions m_options;
    CommandLine m_commandLine;
    std::string m_exePath;
    std::string m_installPath;
    std::unique_ptr<QtMessageLoop> m_loop;
    std::unique_ptr<QtSettingsStore> m_store;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<CMainFrame> m_frame;
    // A screenshot's sound backend, rendered by hand (owned by the frame's
    // device), or null.
    audio::ManualBackend* m_shotBackend = nullptr;
};

// Where the program's data is installed: <prefix>/share/tamboro/ beside
// the program's bin/ folder when it exists, else the program's folder.
std::string DefaultInstallPath();

// The bytes of an empty song file (a new song at 120), for the templates
// folder; empty when it cannot be made.
std::string EmptySongBytes(platform::MessageLoop& loop);

}  // namespace tamboro::app
