#include "tests/app/ShellTestSupport.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QThread>
#include <future>

#include "app/core/Preferences.h"
#include "audio/output/OutputDevice.h"
#include "engine/Song.h"
#include "platform/Messages.h"

namespace tamboro::app::test {

CConsoleApp& App() {
    return *static_cast<CConsoleApp*>(QCoreApplication::instance());
}

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void ShellTest::SetUp() {
    const std::string root = m_dir.Path();
    for (const char* sub : {"runtime", "config", "data", "state", "etc", "home"})
        QDir().mkpath(QString::fromStdString(root + "/" + sub));
    ::chmod((root + "/runtime").c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(root + "/runtime"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root + "/config"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(root + "/data"));
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(root + "/state"));
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(root + "/etc"));
    qputenv("HOME", QByteArray::fromStdString(root + "/home"));
}

void ShellTest::TearDown() {
    App().ExitInstance();
    backend = nullptr;
}

StartOptions ShellTest::Options() {
    StartOptions o;
    o.answer = [this](unsigned id) {
        asked.push_back(id);
        if (answers.empty()) return static_cast<int>(QMessageBox::Yes);
        const int a = answers.front();
        answers.erase(answers.begin());
        return a;
    };
    o.notice = [this](unsigned title, unsigned text) {
        notices.emplace_back(title, text);
        return true;
    };
    o.message = [this](unsigned id) { messages.push_back(id); };
    o.backend = [this]() -> std::unique_ptr<audio::OutputBackend> {
        auto b = std::make_unique<audio::ManualBackend>();
        b->SetOpenFails(backendOpenFails);
        backend = b.get();
        return b;
    };
    return o;
}

CMainFrame& ShellTest::Start(std::vector<std::string> args) {
    const int r = App().InitInstance(args, Options());
    EXPECT_EQ(r, -1);
    if (App().Frame() == nullptr) throw std::runtime_error("no frame");
    return *App().Frame();
}

std::string ShellTest::ConfigFile() const {
    return m_dir.Path() + "/config/Corvane Software/Tamboro.ini";
}

void ShellTest::WriteConfig(const std::string& text) const {
    QDir().mkpath(QString::fromStdString(m_dir.Path() + "/config/Corvane Software"));
    QFile f(QString::fromStdString(ConfigFile()));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.data(), static_cast<qint64>(text.size()));
}

bool SingleInstanceSendAsync(const InstanceRequest& request) {
    auto result =
        std::async(std::launch::async, [request] { return SingleInstance::Send(request); });
    SpinUntil(
        [&] { return result.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; });
    return result.get();
}

void MakeSong(const std::string& path, const std::string& title) {
    platform::EventLoop loop;
    audio::OutputDevice device(std::make_unique<audio::ManualBackend>());
    const audio::WAVEFORMATEX format = OutputFormatFor(1);
    device.SetWindowAndFormat(format, 0);
    device.Activate(1);
    engine::Song song(loop);
    ASSERT_EQ(song.AttachDevice(&device), engine::SongResult::Ok);
    song.NewSong(120.0);
    song.SetOutputFormat(0, format, true, false);
    const auto no = [](unsigned) { return false; };
    ASSERT_TRUE(
        song.LoadLoop(0, std::string(TAMBORO_LOOPS_DIR) + "/kick_four.wav", false, no).Ok());
    ASSERT_TRUE(
        song.LoadLoop(3, std::string(TAMBORO_LOOPS_DIR) + "/snare_backbeat.wav", false, no).Ok());
    song.SetTitle(title);
    ASSERT_EQ(song.SaveSongFile(path, nullptr), engine::SongResult::Ok);
    song.DetachDevice();
}

void PressKey(QObject* target, std::uint32_t scanCode, int key, Qt::KeyboardModifiers mods,
              const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, mods, scanCode, 0, 0, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, scanCode, 0, 0, text);
    QCoreApplication::sendEvent(target, &release);
}

}  // namespace tamboro::app::test
