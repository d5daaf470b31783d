// Files let go over the console: which ones open a song, which load a loop
// into the pad under the point, and which are refused.
#include <gtest/gtest.h>

#include "console/logic/ConsoleLayout.h"
#include "console/logic/DropTarget.h"

namespace tamboro::console {
namespace {

struct DropCase {
    const char* name;
    std::vector<std::string> paths;
    int pad;
    DropKind kind;
    int channel;
};

class DropTargetTest : public ::testing::TestWithParam<DropCase> {};

TEST_P(DropTargetTest, GivesTheActionForTheFilesAndThePad) {
    const DropCase& c = GetParam();
    const DropAction a = DropFor(c.paths, c.pad);
    EXPECT_EQ(a.kind, c.kind);
    EXPECT_EQ(a.channel, c.channel);
    EXPECT_EQ(a.path, c.kind == DropKind::None ? std::string() : c.paths.front());
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DropTargetTest,
    ::testing::Values(
        DropCase{"LoopOnTheFirstPad", {"/loops/kick.wav"}, 0, DropKind::LoadLoop, 0},
        DropCase{"LoopOnTheLastPad", {"/loops/pad.aif"}, 19, DropKind::LoadLoop, 19},
        DropCase{"AnyOtherFileOnAPadIsLeftToTheLoader", {"/x/notes.txt"}, 4, DropKind::LoadLoop, 4},
        DropCase{"LoopBesideThePads", {"/loops/kick.wav"}, -1, DropKind::None, -1},
        DropCase{"PadOutOfRange", {"/loops/kick.wav"}, 20, DropKind::None, -1},
        DropCase{"SongOnAPadOpensTheSong", {"/songs/a.tbo"}, 3, DropKind::OpenSong, -1},
        DropCase{"SongBesideThePads", {"/songs/a.tbo"}, -1, DropKind::OpenSong, -1},
        DropCase{"SongExtensionInCapitals", {"/songs/A.TBO"}, -1, DropKind::OpenSong, -1},
        DropCase{"SongExtensionMixedCase", {"/songs/a.TbO"}, 7, DropKind::OpenSong, -1},
        DropCase{"ExtensionOnlyInTheFolderName", {"/songs.tbo/kick.wav"}, 2, DropKind::LoadLoop, 2},
        DropCase{"NameEndingInTboWithoutDot", {"/songs/maritbo"}, 2, DropKind::LoadLoop, 2},
        DropCase{"NoFiles", {}, 2, DropKind::None, -1},
        DropCase{"AnEmptyPath", {""}, 2, DropKind::None, -1},
        DropCase{"TwoLoopsAtOnce", {"/l/a.wav", "/l/b.wav"}, 2, DropKind::None, -1},
        DropCase{"TwoSongsAtOnce", {"/s/a.tbo", "/s/b.tbo"}, -1, DropKind::None, -1}),
    [](const ::testing::TestParamInfo<DropCase>& info) { return info.param.name; });

TEST(DropTarget, OnTheConsoleTheLoopGoesToThePadUnderThePoint) {
    const std::vector<std::string> loop{"/loops/kick.wav"};
    for (int ch = 0; ch < kChannels; ++ch) {
        const layout::Rect r = PadRect(ch);
        // The pad's lower right corner, which no lower pad covers.
        const int x = r.x + r.w - 1, y = r.y + r.h - 1;
        const DropAction a = DropOnConsole(loop, x, y);
        ASSERT_EQ(a.kind, DropKind::LoadLoop) << ch;
        EXPECT_EQ(a.channel, ch);
    }
    EXPECT_EQ(DropOnConsole(loop, 0, 0).kind, DropKind::None);
    EXPECT_EQ(DropOnConsole({"/s/a.tbo"}, 0, 0).kind, DropKind::OpenSong);
}

}  // namespace
}  // namespace tamboro::console
