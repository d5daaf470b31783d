// The consoles' geometry: every control inside the console, controls of one
// kind apart from each other, the fixed areas where the clicks and pictures
// of the consoles expect them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "console/layout/ConsoleLayout.h"
#include "console/layout/ProLayout.h"

namespace tamboro::console::layout {
namespace {

// How far two pads' rectangles reach into each other, in each direction.
int OverlapX(const Rect& a, const Rect& b) {
    return std::min(a.Right(), b.Right()) - std::max(a.x, b.x);
}
int OverlapY(const Rect& a, const Rect& b) {
    return std::min(a.Bottom(), b.Bottom()) - std::max(a.y, b.y);
}

// The console's layout table as documented: "row x y w h" lines.
constexpr const char* kDocumentedTable = R"(
0 207 236 53 50
1 248 236 58 50
2 293 236 50 50
3 332 236 50 50
4 377 236 52 50
5 207 286 53 49
6 250 286 54 48
7 294 286 49 48
8 331 286 57 48
9 378 286 51 48
10 207 333 53 49
11 251 333 54 49
12 295 333 48 49
13 333 333 54 49
14 378 334 51 48
15 207 382 52 53
16 251 383 53 53
17 295 382 48 53
18 333 382 53 53
19 378 382 51 53
20 65 347 15 15
21 81 343 15 15
22 97 337 15 15
23 113 330 15 15
24 130 321 15 15
25 65 364 15 15
26 81 360 15 15
27 97 353 15 15
28 113 347 15 15
29 130 338 15 15
30 65 381 15 15
31 81 376 15 15
32 97 370 15 15
33 113 363 15 15
34 130 354 15 15
35 65 397 15 15
36 81 392 15 15
37 97 386 15 15
38 113 380 15 15
39 130 371 15 15
40 502 209 15 18
41 502 231 15 18
42 501 253 15 18
43 499 276 15 18
44 215 163 67 35
45 284 163 70 35
46 356 163 66 35
)";

TEST(ConsoleLayout, TableHoldsTheDocumentedRows) {
    std::istringstream in(kDocumentedTable);
    int row = 0, x = 0, y = 0, w = 0, h = 0, count = 0;
    while (in >> row >> x >> y >> w >> h) {
        ASSERT_LT(row, kLayoutRowCount);
        EXPECT_EQ(kLayoutTable[static_cast<std::size_t>(row)], (Rect{x, y, w, h})) << "row " << row;
        ++count;
    }
    EXPECT_EQ(count, kLayoutRowCount);
    // The fixed areas as documented.
    EXPECT_EQ(kPowerSwitch, (Rect{248, 21, 140, 29}));
    EXPECT_EQ(kMasterVolumeArea, FromEdges(573, 328, 639, 391));
    EXPECT_EQ(kMasterVolumePicture, (Rect{571, 241, 69, 167}));
    EXPECT_EQ(kVolumeModeSwitch, FromEdges(128, 280, 146, 299));
    EXPECT_EQ(kPanModeSwitch, FromEdges(129, 410, 148, 429));
    EXPECT_EQ(kVolumeModePicture, (Rect{52, 277, 98, 50}));
    EXPECT_EQ(kPanModePicture, (Rect{43, 407, 108, 46}));
    EXPECT_EQ(kMeterWindow, (Rect{225, 2, 184, 54}));
    EXPECT_EQ(kTextPanel, (Rect{242, 54, 156, 64}));
    EXPECT_EQ(ProLaneRect(3), (Rect{144, 69, 480, 12}));
    EXPECT_EQ(ProNameRect(19), FromEdges(16, 386, 140, 404));
    EXPECT_EQ(kProRuler, (Rect{144, 406, 480, 9}));
    EXPECT_EQ(kProStatus, (Rect{24, 436, 316, 34}));
}

TEST(ConsoleLayout, EveryRowLiesInsideTheConsole) {
    for (int row = 0; row < kLayoutRowCount; ++row) {
        const Rect r = kLayoutTable[row];
        EXPECT_GT(r.w, 0) << row;
        EXPECT_GT(r.h, 0) << row;
        EXPECT_TRUE(kConsole.Contains(r)) << "row " << row;
    }
}

TEST(ConsoleLayout, PadsFormFourRowsOfFiveAndOverlapOnlyTheirNeighboursSlightly) {
    // Channel 01's pad is 53 × 50 at the grid's top left.
    EXPECT_EQ(PadRect(0), (Rect{207, 236, 53, 50}));
    for (int a = 0; a < kChannelCount; ++a) {
        const Rect ra = PadRect(a);
        if (a % 5 > 0) {
            EXPECT_GT(ra.x, PadRect(a - 1).x) << "columns run left to right";
        }
        if (a >= 5) {
            EXPECT_GT(ra.y, PadRect(a - 5).y) << "rows run top to bottom";
        }
        for (int b = a + 1; b < kChannelCount; ++b) {
            const Rect rb = PadRect(b);
            if (!ra.Overlaps(rb)) continue;
            const bool sameRow = a / 5 == b / 5 && b == a + 1;
            const bool sameColumn = a % 5 == b % 5 && b == a + 5;
            const bool diagonal = b / 5 == a / 5 + 1 && std::abs(a % 5 - b % 5) == 1;
            EXPECT_TRUE(sameRow || sameColumn || diagonal) << a << " meets " << b;
            EXPECT_LE(std::min(OverlapX(ra, rb), OverlapY(ra, rb)), 13) << a << " and " << b;
        }
    }
}

TEST(ConsoleLayout, KnobsAreSeparateFifteenPixelSquaresLeftOfThePads) {
    for (int a = 0; a < kChannelCount; ++a) {
        const Rect ra = KnobRect(a);
        EXPECT_EQ(ra.w, kKnobSize);
        EXPECT_EQ(ra.h, kKnobSize);
        EXPECT_LT(ra.Right(), PadRect(0).x);
        for (int b = a + 1; b < kChannelCount; ++b) {
            EXPECT_FALSE(ra.Overlaps(KnobRect(b))) << a << " and " << b;
        }
        for (int p = 0; p < kChannelCount; ++p)
            EXPECT_FALSE(ra.Overlaps(PadRect(p)));
    }
}

TEST(ConsoleLayout, ButtonsTouchNoPadKnobOrOtherButton) {
    for (int a = 0; a < kButtonCount; ++a) {
        const Rect ra = ButtonRect(static_cast<ConsoleButton>(a));
        for (int b = a + 1; b < kButtonCount; ++b) {
            EXPECT_FALSE(ra.Overlaps(ButtonRect(static_cast<ConsoleButton>(b)))) << a << "," << b;
        }
        for (int c = 0; c < kChannelCount; ++c) {
            EXPECT_FALSE(ra.Overlaps(PadRect(c))) << "button " << a << " pad " << c;
            EXPECT_FALSE(ra.Overlaps(KnobRect(c))) << "button " << a << " knob " << c;
        }
        EXPECT_FALSE(ra.Overlaps(kTextPanel));
        EXPECT_FALSE(ra.Overlaps(kMasterVolumePicture));
    }
    // The small buttons and the transport buttons have the sizes of their pictures.
    for (auto b :
         {ConsoleButton::Files, ConsoleButton::Drum, ConsoleButton::Audio, ConsoleButton::Pro}) {
        EXPECT_EQ(ButtonRect(b).w, 15);
        EXPECT_EQ(ButtonRect(b).h, 18);
    }
    EXPECT_EQ(ButtonRect(ConsoleButton::Play).w, 67);
    EXPECT_EQ(ButtonRect(ConsoleButton::Stop).w, 70);
    EXPECT_EQ(ButtonRect(ConsoleButton::Record).w, 66);
}

TEST(ConsoleLayout, FixedAreasSitWhereTheirClicksAndPicturesExpectThem) {
    for (const Rect& r :
         {kPowerSwitch, kMasterVolumeArea, kMasterVolumePicture, kVolumeModeSwitch, kPanModeSwitch,
          kVolumeModePicture, kPanModePicture, kMeterWindow, kTextPanel}) {
        EXPECT_TRUE(kConsole.Contains(r)) << r.x << "," << r.y;
    }
    // The master volume picture reaches the console's right edge and holds
    // the click area, whose 63 rows map to 0..100.
    EXPECT_EQ(kMasterVolumePicture.Right(), kConsoleWidth);
    EXPECT_TRUE(kMasterVolumePicture.Contains(kMasterVolumeArea));
    EXPECT_EQ(kMasterVolumeArea.Right(), 639);
    EXPECT_EQ(kMasterVolumeBottomY - kMasterVolumeTopY, kMasterVolumeSpan);
    EXPECT_EQ((kMasterVolumeBottomY - kMasterVolumeTopY) * 100 / kMasterVolumeSpan, 100);
    // Each mode switch lies on its own mode picture.
    EXPECT_TRUE(kVolumeModePicture.Contains(kVolumeModeSwitch));
    EXPECT_TRUE(kPanModePicture.Contains(kPanModeSwitch));
    EXPECT_FALSE(kVolumeModePicture.Overlaps(kPanModePicture));
    // The power switch sits inside the meter window (the meter's pictures
    // leave it visible); the text panel is below the switch.
    EXPECT_TRUE(kMeterWindow.Contains(kPowerSwitch));
    EXPECT_GE(kTextPanel.y, kPowerSwitch.Bottom());
    EXPECT_EQ(kMeterHalfWidth, 92);
    for (const Point& p : kTextLines) {
        EXPECT_TRUE(kTextPanel.Contains(p.x, p.y + kTextFontHeight - 1));
    }
    EXPECT_TRUE(kTextPanel.Contains(kTextNumberX, kTextLines[1].y));
}

TEST(ConsoleLayout, RectanglesLeaveOutTheirRightAndBottomEdges) {
    const Rect r = FromEdges(128, 280, 146, 299);
    EXPECT_TRUE(r.Contains(128, 280));
    EXPECT_TRUE(r.Contains(145, 298));
    EXPECT_FALSE(r.Contains(146, 290));
    EXPECT_FALSE(r.Contains(140, 299));
    EXPECT_FALSE(r.Contains(127, 290));
}

TEST(ProLayout, LanesAndNamesShareTheirRowAndNeverMeet) {
    for (int i = 0; i < kChannelCount; ++i) {
        const Rect lane = ProLaneRect(i);
        const Rect name = ProNameRect(i);
        EXPECT_TRUE(kConsole.Contains(lane));
        EXPECT_TRUE(kProNameColumn.Contains(name)) << i;
        EXPECT_LE(name.Right(), lane.x);
        EXPECT_TRUE(name.Contains(name.x, lane.y + lane.h / 2)) << "name and lane on one row";
        EXPECT_TRUE(name.Contains(ProNameText(i).x, ProNameText(i).y));
        for (int j = i + 1; j < kChannelCount; ++j) {
            EXPECT_FALSE(lane.Overlaps(ProLaneRect(j)));
            EXPECT_FALSE(name.Overlaps(ProNameRect(j)));
        }
        EXPECT_LT(lane.Bottom(), kProRuler.y);
    }
    EXPECT_EQ(kProNameColumn.Bottom(), ProNameRect(kChannelCount - 1).Bottom());
    EXPECT_EQ(kProBarPixels * kProBarsShown, kProLaneWidth);
    EXPECT_EQ(kProRuler.x, ProLaneRect(0).x);
    EXPECT_EQ(kProRuler.w, kProLaneWidth);
}

TEST(ProLayout, ButtonsTouchNeitherEachOtherNorLanesRulerOrStatus) {
    for (std::size_t a = 0; a < kProButtons.size(); ++a) {
        const Rect ra = kProButtons[a].rect;
        EXPECT_TRUE(kConsole.Contains(ra)) << kProButtons[a].text;
        for (std::size_t b = a + 1; b < kProButtons.size(); ++b) {
            EXPECT_FALSE(ra.Overlaps(kProButtons[b].rect))
                << kProButtons[a].text << " " << kProButtons[b].text;
        }
        for (int i = 0; i < kChannelCount; ++i)
            EXPECT_FALSE(ra.Overlaps(ProLaneRect(i)));
        EXPECT_FALSE(ra.Overlaps(kProRuler)) << kProButtons[a].text;
        EXPECT_FALSE(ra.Overlaps(kProStatus)) << kProButtons[a].text;
        EXPECT_FALSE(ra.Overlaps(kProNameColumn)) << kProButtons[a].text;
    }
    // Buttons sharing a picture have its size.
    for (const ProButton& b : kProButtons) {
        for (const ProButton& c : kProButtons) {
            if (b.suffix == c.suffix) {
                EXPECT_EQ(b.rect.w, c.rect.w);
                EXPECT_EQ(b.rect.h, c.rect.h);
            }
        }
    }
}

TEST(ProLayout, RulerLabelsStartOnTheirBars) {
    for (int i = 0; i < kProBarsShown; ++i) {
        const Point p = ProRulerLabel(i);
        EXPECT_EQ(p.x - kProRuler.x, 1 + i * kProBarPixels);
    }
    EXPECT_TRUE(kProStatus.Contains(kProStatusTimeRight - 1, kProStatus.y));
}

}  // namespace
}  // namespace tamboro::console::layout
