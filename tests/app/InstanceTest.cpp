// One running copy: a second start is refused, or hands its song over; a
// crashed holder frees the lock; the device request arrives over the socket.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <future>

#include "app/PlainPanel.h"
#include "app/SingleInstance.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

// The first instance, held on a thread of its own so that this thread can
// play the second start, which waits for the answer.
class OtherInstance {
  public:
    OtherInstance() {
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }
    bool Start() {
        bool ok = false;
        QMetaObject::invokeMethod(
            &m_context,
            [this, &ok] {
                m_instance = new SingleInstance;
                ok = m_instance->Acquire() && m_instance->Listen();
                QObject::connect(m_instance, &SingleInstance::openRequested, m_instance,
                                 [this](const QString& path) {
                                     std::lock_guard lock(m_mutex);
                                     m_opened.push_back(path.toStdString());
                                 });
            },
            Qt::BlockingQueuedConnection);
        return ok;
    }
    ~OtherInstance() {
        QMetaObject::invokeMethod(
            &m_context, [this] { delete m_instance; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    std::vector<std::string> Opened() {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }

  private:
    QThread m_thread;
    QObject m_context;
    SingleInstance* m_instance = nullptr;
    std::mutex m_mutex;
    std::vector<std::string> m_opened;
};

class InstanceTest : public ShellTest {};

TEST_F(InstanceTest, SecondStartWithoutSongShows1016AndEnds) {
    OtherInstance first;
    ASSERT_TRUE(first.Start());
    EXPECT_EQ(App().InitInstance({"--no-splash"}, Options()), 1);
    EXPECT_EQ(messages, std::vector<unsigned>({1016}));
    EXPECT_EQ(App().Frame(), nullptr);  // no window was opened
    EXPECT_TRUE(notices.empty());       // nothing else was touched
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_dir.Path() + "/data/applications")));
}

TEST_F(InstanceTest, SecondStartHandsItsSongOverAsAnAbsolutePath) {
    OtherInstance first;
    ASSERT_TRUE(first.Start());
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(m_dir.Path()));
    const int r = App().InitInstance({"--no-splash", "songs/../my song.tbo"}, Options());
    QDir::setCurrent(before);
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(App().Frame(), nullptr);
    ASSERT_TRUE(SpinUntil([&] { return !first.Opened().empty(); }));
    EXPECT_EQ(first.Opened(), std::vector<std::string>({m_dir.Path() + "/my song.tbo"}));
}

TEST_F(InstanceTest, SecondProgramStartOpensItsSongInTheRunningOne) {
    const std::string song = Path("handed.tbo");
    MakeSong(song, "Consegnato");
    CMainFrame& frame = Start();
    QProcess second;
    second.setWorkingDirectory(QString::fromStdString(m_dir.Path()));
    second.start(QStringLiteral(TAMBORO_PROGRAM), {"--no-splash", "handed.tbo"});
    ASSERT_TRUE(second.waitForStarted());
    ASSERT_TRUE(
        SpinUntil([&] { return second.state() == QProcess::NotRunning && App().handedOver == 1; }));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(frame.SongPath(), song);
    EXPECT_EQ(frame.Song().GetTitle(), "Consegnato");
    EXPECT_FALSE(frame.Song().IsChannelEmpty(3));
}

TEST_F(InstanceTest, HandedOverSongAsksBeforeUnsavedChangesAreLost) {
    const std::string song = Path("handed.tbo");
    MakeSong(song, "Consegnato");
    CMainFrame& frame = Start();
    frame.MarkModified();
    answers = {QMessageBox::Cancel};
    ASSERT_TRUE(SingleInstanceSendAsync({InstanceRequest::Kind::Open, song}));
    ASSERT_TRUE(SpinUntil([&] { return App().handedOver == 1; }));
    EXPECT_EQ(asked, std::vector<unsigned>({2010}));
    EXPECT_TRUE(frame.SongPath().empty());  // cancelled: nothing opened
    EXPECT_TRUE(frame.IsModified());
}

TEST_F(InstanceTest, EndedOrCrashedHolderFreesTheLock) {
    Start();
    App().ExitInstance();
    EXPECT_EQ(App().InitInstance({"--no-splash"}, Options()), -1);  // ended normally
    App().ExitInstance();

    QProcess holder;
    holder.start(QStringLiteral(TAMBORO_PROGRAM), {"--no-splash"});
    ASSERT_TRUE(holder.waitForStarted());
    const QString lock = QString::fromStdString(m_dir.Path() + "/runtime/tamboro/instance.lock");
    // Written in full (the holder's process id in it), on a loaded machine too.
    ASSERT_TRUE(SpinUntil([&] { return QFileInfo(lock).size() > 0; }, std::chrono::seconds(60)));
    SingleInstance probe;
    EXPECT_FALSE(probe.Acquire());  // a living holder keeps it
    holder.kill();                  // no clean-up: the lock file stays behind
    holder.waitForFinished();
    EXPECT_TRUE(QFileInfo::exists(lock));
    EXPECT_EQ(App().InitInstance({"--no-splash"}, Options()), -1);
    EXPECT_TRUE(App().Instance().Held());
}

TEST_F(InstanceTest, ReleaseRequestFreesTheDeviceAndActivationTakesItBack) {
    CMainFrame& frame = Start();
    ASSERT_NE(frame.Device(), nullptr);
    ASSERT_EQ(frame.Device()->IsActive(), 1);
    const int opens = backend->OpenCount();
    ASSERT_TRUE(SingleInstanceSendAsync({InstanceRequest::Kind::Release, {}}));
    ASSERT_TRUE(SpinUntil([&] { return frame.Device()->IsActive() == 0; }));
    EXPECT_TRUE(frame.Sharing().Released());
    EXPECT_FALSE(backend->IsOpen());
    frame.OnActivateApp(false);
    EXPECT_EQ(frame.Device()->IsActive(), 0);
    frame.OnActivateApp(true);
    EXPECT_EQ(frame.Device()->IsActive(), 1);
    EXPECT_EQ(backend->OpenCount(), opens + 1);
    EXPECT_TRUE(asked.empty());
}

TEST_F(InstanceTest, LostDeviceRetriesWhileAskedThenRunsSilentWithANotice) {
    CMainFrame& frame = Start();
    frame.OnReleaseDevice();
    backend->SetOpenFails(true);
    answers = {QMessageBox::Retry, QMessageBox::Retry, QMessageBox::Ignore};
    frame.OnActivateApp(true);
    EXPECT_EQ(asked, std::vector<unsigned>({1013, 1013, 1013}));
    EXPECT_EQ(frame.Device()->IsActive(), 0);
    EXPECT_TRUE(frame.Sharing().Silent());
    auto* panel = qobject_cast<PlainPanel*>(frame.Console());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Notice(), platform::LoadString(2012));
    // The program goes on: a key still reaches the console.
    PressKey(panel, 24, Qt::Key_Q, Qt::NoModifier, "q");
    EXPECT_EQ(panel->lastCommand, 32797 + 5);

    backend->SetOpenFails(false);
    frame.OnActivateApp(true);
    EXPECT_EQ(frame.Device()->IsActive(), 1);
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(panel->Notice(), "");
}

}  // namespace
}  // namespace tamboro::app::test

namespace tamboro::app::test {
namespace {

class LockFileTest : public ShellTest {};

TEST_F(LockFileTest, LockWithoutAReadableOwnerIsRemovedOnceOld) {
    const QString lock = QString::fromStdString(m_dir.Path() + "/runtime/tamboro/instance.lock");
    QDir().mkpath(QFileInfo(lock).absolutePath());
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));  // empty: its writer died
    file.close();
    {
        SingleInstance fresh;
        EXPECT_FALSE(fresh.Acquire());  // might still be being written
    }
    const QDateTime old = QDateTime::currentDateTime().addSecs(-60);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(old, QFileDevice::FileModificationTime));
    file.close();
    SingleInstance later;
    EXPECT_TRUE(later.Acquire());
    EXPECT_TRUE(later.Held());
}

}  // namespace
}  // namespace tamboro::app::test
