#pragma once
// What the shell's tests share: the application object (one per test
// program, made by main), a fresh set of XDG folders per test, a small song
// file made through the engine, and key events with explicit scan codes.
#include <gtest/gtest.h>

#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CConsoleApp.h"
#include "audio/output/OutputBackend.h"
#include "engine/Song.h"
#include "engine/SongTypes.h"
#include "platform/Messages.h"
#include "platform/StringTable.h"
#include "tests/support/TestSupport.h"

namespace tamboro::app::test {

CConsoleApp& App();

// Runs the Qt and message-loop events until `done` or the timeout.
bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A test with its own XDG_RUNTIME_DIR, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_STATE_HOME, XDG_CONFIG_DIRS and HOME under a temporary folder. Ends
// the application's instance after each test.
class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Start-up options that never block: questions answered from
    // `answers` (then Yes), notices recorded, messages recorded, a manual
    // sound backend.
    StartOptions Options();
    // InitInstance with Options() and `args`; expects it to keep running.
    CMainFrame& Start(std::vector<std::string> args = {"--no-splash"});

    std::string Path(const std::string& name) const { return m_dir.File(name); }
    std::string ConfigFile() const;
    void WriteConfig(const std::string& text) const;

    tamboro::test::TempDir m_dir;
    std::vector<unsigned> asked;
    std::vector<int> answers;  // consumed front first
    std::vector<std::pair<unsigned, unsigned>> notices;
    std::vector<unsigned> messages;
    audio::ManualBackend* backend = nullptr;  // the frame's, while it lives
    bool backendOpenFails = false;
};

// SingleInstance::Send from another thread while this one runs events (as
// another program would send it).
bool SingleInstanceSendAsync(const InstanceRequest& request);

// A song file with loops in channels 0 and 3, titled `title`, written
// through the engine.
void MakeSong(const std::string& path, const std::string& title);

// A key press and release as the window system delivers them: an explicit
// XKB keycode, the key the layout gives, modifiers and text.
void PressKey(QObject* target, std::uint32_t scanCode, int key, Qt::KeyboardModifiers mods,
              const QString& text);

}  // namespace tamboro::app::test
