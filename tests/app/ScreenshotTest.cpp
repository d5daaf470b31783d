// `tamboro --screenshot` under the offscreen platform.
#include <QImage>
#include <QProcess>

#include "console/layout/ConsoleLayout.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

class ScreenshotTest : public ShellTest {
  protected:
    QImage Shoot(const QStringList& extra) {
        QProcess program;
        program.start(
            QStringLiteral(TAMBORO_PROGRAM),
            QStringList{"--screenshot", QString::fromStdString(Path("shot.png"))} + extra);
        EXPECT_TRUE(program.waitForFinished(60000));
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        return QImage(QString::fromStdString(Path("shot.png")));
    }
};

TEST_F(ScreenshotTest, SavesTheMainWindowWithTheSongAtItsScale) {
    MakeSong(Path("song.tbo"), "Foto");
    const QImage one = Shoot({QString::fromStdString(Path("song.tbo"))});
    ASSERT_FALSE(one.isNull());
    EXPECT_EQ(one.size(), QSize(640, 480));
    const QImage two =
        Shoot({"--scale", "2", "--theme", "1", QString::fromStdString(Path("song.tbo"))});
    ASSERT_EQ(two.size(), QSize(1280, 960));
    // Every pixel of the console becomes a 2 x 2 block.
    const auto pad = console::layout::PadRect(0);
    const QPoint p(pad.x + pad.w / 2, pad.y + pad.h / 2);
    EXPECT_EQ(two.pixel(2 * p.x(), 2 * p.y()), two.pixel(2 * p.x() + 1, 2 * p.y() + 1));
    // The console drew something: not one flat colour.
    bool varied = false;
    for (int y = 0; y < one.height() && !varied; y += 7)
        for (int x = 0; x < one.width() && !varied; x += 7)
            varied = one.pixel(x, y) != one.pixel(0, 0);
    EXPECT_TRUE(varied);
}

TEST_F(ScreenshotTest, WrongArgumentsEndWithStatusOne) {
    QProcess program;
    program.start(QStringLiteral(TAMBORO_PROGRAM), {"--screenshot"});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 1);
}

}  // namespace
}  // namespace tamboro::app::test
