// Desktop registration: written once at the first start, unchanged by the
// next; the song type, the desktop entry, the template.
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QThread>

#include "app/core/XdgRegistration.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

class XdgTest : public ShellTest {
  protected:
    std::map<std::string, std::pair<QByteArray, qint64>> Snapshot(const std::string& root) {
        std::map<std::string, std::pair<QByteArray, qint64>> files;
        QDirIterator it(QString::fromStdString(root), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            files[path.toStdString()] = {f.readAll(),
                                         QFileInfo(path).lastModified().toMSecsSinceEpoch()};
        }
        return files;
    }
};

TEST_F(XdgTest, FirstStartWritesTheFilesAndTheSecondChangesNothing) {
    const std::string home = m_dir.Path() + "/home";
    QDir().mkpath(QString::fromStdString(home + "/Modelli"));
    {
        QFile f(QString::fromStdString(m_dir.Path() + "/config/user-dirs.dirs"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("# written by xdg-user-dirs-update\nXDG_TEMPLATES_DIR=\"$HOME/Modelli\"\n");
    }
    StartOptions options = Options();
    ASSERT_EQ(App().InitInstance({"--no-splash"}, options), -1);
    const std::string data = m_dir.Path() + "/data";
    const std::string mime = data + "/mime/packages/tamboro.xml";
    const std::string desktop = data + "/applications/tamboro.desktop";
    const std::string templ = home + "/Modelli/Tamboro.tbo";
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(mime)));
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(desktop)));
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(templ)));

    QFile entry(QString::fromStdString(desktop));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains("MimeType=application/x-tamboro-song;"));
    EXPECT_TRUE(text.contains("Exec=\"" + QCoreApplication::applicationFilePath() + "\" %f"))
        << text.toStdString();
    QFile package(QString::fromStdString(mime));
    ASSERT_TRUE(package.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(package.readAll());
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.tbo\"/>"));
    EXPECT_TRUE(xml.contains("value=\"UNFM\""));

    // The template is a song the program opens.
    platform::EventLoop loop;
    engine::Song song(loop);
    EXPECT_EQ(song.LoadSong(templ, 0), engine::SongResult::Ok);

    const auto first = Snapshot(m_dir.Path() + "/data");
    const auto templates = Snapshot(home + "/Modelli");
    App().ExitInstance();
    QThread::msleep(20);  // a rewrite would show in the times
    ASSERT_EQ(App().InitInstance({"--no-splash"}, Options()), -1);
    EXPECT_EQ(Snapshot(m_dir.Path() + "/data"), first);
    EXPECT_EQ(Snapshot(home + "/Modelli"), templates);
}

TEST_F(XdgTest, WithoutATemplatesFolderNoTemplateIsWritten) {
    ASSERT_EQ(App().InitInstance({"--no-splash"}, Options()), -1);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_dir.Path() + "/home/Tamboro.tbo")));
    EXPECT_TRUE(QFileInfo::exists(
        QString::fromStdString(m_dir.Path() + "/data/applications/tamboro.desktop")));
}

TEST_F(XdgTest, DesktopExecQuotesAndEscapesThePath) {
    EXPECT_EQ(DesktopExec("/usr/bin/tamboro"), "\"/usr/bin/tamboro\" %f");
    EXPECT_EQ(DesktopExec("/opt/my $dir/tam\"boro"), "\"/opt/my \\\\$dir/tam\\\\\"boro\" %f");
    EXPECT_EQ(DesktopExec("/opt/100%/tamboro"), "\"/opt/100%%/tamboro\" %f");
}

TEST_F(XdgTest, MimeDatabaseRecognisesASongByItsMagic) {
    ASSERT_EQ(App().InitInstance({"--no-splash"}, Options()), -1);
    MakeSong(Path("noext"), "Senza estensione");
    // The first use of the database in this program reads the user's
    // folder as it is now.
    QMimeDatabase db;
    EXPECT_EQ(db.mimeTypeForFile(QString::fromStdString(Path("noext")), QMimeDatabase::MatchContent)
                  .name()
                  .toStdString(),
              kSongMimeType);
    EXPECT_EQ(
        db.mimeTypeForFile(QString::fromStdString(Path("x.tbo")), QMimeDatabase::MatchExtension)
            .name()
            .toStdString(),
        kSongMimeType);
}

}  // namespace
}  // namespace tamboro::app::test

namespace tamboro::app::test {
namespace {

TEST_F(XdgTest, EmptySongIsASongFile) {
    QtMessageLoop loop;
    const std::string bytes = EmptySongBytes(loop);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), "UNFM");
}

}  // namespace
}  // namespace tamboro::app::test
