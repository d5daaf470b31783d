// Pictures of the dialogs as the user sees them. With TAMBORO_DIALOG_SHOTS
// set to a folder the pictures are also written there (the README's).
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/CMainFrame.h"
#include "app/DialogHooks.h"
#include "dialogs/FilesDialog.h"
#include "dialogs/SongDialogs.h"
#include "dialogs/WaveFileDialogs.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

class DialogShotsTest : public ShellTest {
  protected:
    // Lays the dialog out, grabs it and checks that it drew something.
    void Shoot(QWidget& dialog, const char* name) {
        dialog.show();
        QCoreApplication::processEvents();
        const QImage picture = dialog.grab().toImage();
        ASSERT_FALSE(picture.isNull()) << name;
        int colours = 0;
        QRgb last = picture.pixel(0, 0);
        for (int y = 0; y < picture.height(); y += 5)
            for (int x = 0; x < picture.width(); x += 5)
                if (picture.pixel(x, y) != last) {
                    ++colours;
                    last = picture.pixel(x, y);
                }
        EXPECT_GT(colours, 50) << name;
        const QByteArray folder = qgetenv("TAMBORO_DIALOG_SHOTS");
        if (!folder.isEmpty()) {
            EXPECT_TRUE(picture.save(QString::fromUtf8(folder) + "/" + name + ".png")) << name;
        }
        dialog.hide();
    }
};

TEST_F(DialogShotsTest, FilesPropertiesAndWaveOpenDraw) {
    MakeSong(Path("song.tbo"), "Notte di luglio");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.Song().SetAuthor("Anna");
    frame.Song().SetNotes("Basso e batteria, poi gli archi.");
    dialogs::FilesDialog files(FilesContextOf(frame), &frame);
    Shoot(files, "files");

    dialogs::SongPropertiesDialog props(
        dialogs::SongPropertiesDialog::Mode::Properties,
        {frame.Song().GetTitle(), frame.Song().GetTempo(), "Anna", "DJ Luca", "Note del brano"},
        false, frame.BackgroundTexture(), &frame);
    Shoot(props, "properties");

    dialogs::WaveOpenDialog open(frame.Device(), frame.Store(), &frame);
    open.AutoPlayBox()->setChecked(false);
    open.setDirectory(QString(TAMBORO_LOOPS_DIR));
    const QString loop = QString(TAMBORO_LOOPS_DIR) + "/bass_acid.wav";
    open.selectFile(loop);
    open.Select(loop);
    EXPECT_FALSE(open.FormatText().isEmpty());
    open.resize(760, 560);
    Shoot(open, "wave-open");
}

}  // namespace
}  // namespace tamboro::app::test
