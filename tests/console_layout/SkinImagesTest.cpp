// The list of pictures: every name a console, a button or a dialog asks for
// exists once for every theme, with the size of the place it is drawn in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <map>
#include <set>

#include "console/layout/ConsoleLayout.h"
#include "console/layout/ProLayout.h"
#include "console/layout/SkinImages.h"

namespace tamboro::console::layout {
namespace {

std::map<std::string, SkinImage> ByName(const std::vector<SkinImage>& images) {
    std::map<std::string, SkinImage> out;
    for (const auto& i : images)
        out.emplace(i.name, i);
    return out;
}

TEST(SkinImages, PrefixesFollowTheThemeIndex) {
    EXPECT_EQ(ThemePrefix(SkinSet::Main, 2), "TAMBOROTM3");
    EXPECT_EQ(ThemePrefix(SkinSet::Pro, 2), "PROTM3");
    EXPECT_EQ(ThemePrefix(SkinSet::General, 2), "GENTM3");
    EXPECT_EQ(ThemePrefix(SkinSet::Main, 0), "TAMBOROTM1");
    EXPECT_EQ(ThemePrefix(SkinSet::Main, 4), "");
    EXPECT_EQ(ThemePrefix(SkinSet::Main, -1), "");
    EXPECT_TRUE(ThemeImages(4).empty());
    EXPECT_EQ(PadSuffix(6, PadState::SoundingBlink), "CH07DX");
    EXPECT_EQ(PadSuffix(19, PadState::Empty), "CH20U");
    EXPECT_EQ(VolumeSuffix(0), "VOL01");
    EXPECT_EQ(VolumeSuffix(19), "VOL20");
}

TEST(SkinImages, EveryNameTheConsolesLoadExistsWithItsSize) {
    for (int t = 0; t < kThemeCount; ++t) {
        const auto images = ByName(ThemeImages(t));
        const std::string m = "TAMBOROTM" + std::to_string(t + 1);
        const std::string p = "PROTM" + std::to_string(t + 1);
        auto expect = [&](const std::string& name, int w, int h) {
            auto it = images.find(name);
            ASSERT_NE(it, images.end()) << name;
            EXPECT_EQ(it->second.width, w) << name;
            EXPECT_EQ(it->second.height, h) << name;
        };
        expect(m + "BACK", 640, 480);
        expect(m + "CH01U", 53, 50);
        for (int c = 0; c < 20; ++c) {
            for (const char* s : {"U", "D", "X", "DX"}) {
                char n[16];
                std::snprintf(n, sizeof n, "%02d", c + 1);
                expect(m + "CH" + n + s, kLayoutTable[c].w, kLayoutTable[c].h);
            }
        }
        for (int v = 1; v <= 20; ++v) {
            char n[16];
            std::snprintf(n, sizeof n, "%02d", v);
            expect(m + "VOL" + n, 69, 167);
        }
        expect(m + "KNOB", 15, 315);
        expect(m + "POWERU", 140, 29);
        expect(m + "POWERD", 140, 29);
        expect(m + "KVOLU", 98, 50);
        expect(m + "KVOLD", 98, 50);
        expect(m + "KPANU", 108, 46);
        expect(m + "KPAND", 108, 46);
        expect(m + "METER0", 184, 54);
        expect(m + "METER1", 184, 54);
        for (const char* b : {"BTNFILE", "BTNDRUM", "BTNAUDIO", "BTNPRO"}) {
            expect(m + b + "U", 15, 18);
            expect(m + b + "D", 15, 18);
        }
        expect(m + "BTNDRUMX", 15, 18);
        expect(m + "BTNAUDIOX", 15, 18);
        expect(m + "BTNPLAYU", 67, 35);
        expect(m + "BTNPLAYD", 67, 35);
        expect(m + "BTNSTOPU", 70, 35);
        expect(m + "BTNSTOPD", 70, 35);
        expect(m + "BTNRECORDU", 66, 35);
        expect(m + "BTNRECORDD", 66, 35);

        expect(p + "BACK", 640, 480);
        for (const char* s : {"SL", "SLL", "SLLL", "SR", "SRR", "SRRR"}) {
            expect(p + s + "U", 29, 15);
            expect(p + s + "D", 29, 15);
        }
        for (const char* s : {"PLAY", "STOP"}) {
            expect(p + s + "U", 49, 21);
            expect(p + s + "D", 49, 21);
        }
        expect(p + "LIGHTU", 7, 7);
        expect(p + "LIGHTD", 7, 7);
        expect(p + "LIGHTX", 7, 7);
        expect(p + "TBU", 35, 11);
        expect(p + "TBD", 35, 11);
        expect("GENTM" + std::to_string(t + 1) + "BACKTEX", 320, 240);
    }
}

TEST(SkinImages, EveryButtonHasAFocusPictureOfItsSize) {
    for (int t = 0; t < kThemeCount; ++t) {
        const auto images = ByName(ThemeImages(t));
        for (const auto& [name, image] : images) {
            if (image.reader != SkinReader::Toolkit || image.set == SkinSet::General) continue;
            if (name.back() != 'U') continue;
            const std::string focus = name.substr(0, name.size() - 1) + "F";
            auto it = images.find(focus);
            ASSERT_NE(it, images.end()) << focus;
            EXPECT_EQ(it->second.width, image.width);
            EXPECT_EQ(it->second.height, image.height);
        }
    }
}

TEST(SkinImages, NamesAreUniqueAndTheThemeFreeOnesAreThere) {
    const auto all = AllSkinImages();
    std::set<std::string> names;
    for (const auto& i : all)
        EXPECT_TRUE(names.insert(i.name).second) << i.name;
    const auto shared = ByName(SharedImages());
    for (const char* n : {"GBUTTONU", "GBUTTOND", "GBUTTONF", "GBUTTONX", "769", "770", "128"}) {
        EXPECT_TRUE(shared.count(n)) << n;
    }
    ASSERT_TRUE(shared.count("774"));
    EXPECT_EQ(shared.at("774").width, 320);
    EXPECT_EQ(shared.at("774").height, 200);
    // Cursors carry a hot spot inside the picture.
    for (const auto& [name, image] : shared) {
        if (image.hotX < 0) continue;
        EXPECT_LT(image.hotX, image.width) << name;
        EXPECT_LT(image.hotY, image.height) << name;
    }
    // The main console loads 1 + 80 + 20 + 9 pictures through the graphics library.
    for (int t = 0; t < kThemeCount; ++t) {
        int graphicsMain = 0;
        for (const auto& i : ThemeImages(t)) {
            graphicsMain += i.set == SkinSet::Main && i.reader == SkinReader::Graphics;
        }
        EXPECT_EQ(graphicsMain, 1 + 80 + 20 + 9);
    }
}

TEST(SkinImages, OnlyMaskedDrawingsHoldTransparentPixels) {
    for (const auto& i : AllSkinImages()) {
        if (i.name.ends_with("BACK") || i.name.ends_with("BACKTEX") || i.name == "774") {
            EXPECT_FALSE(i.masked) << i.name;
        }
        if (i.name.find("CH") != std::string::npos && i.set == SkinSet::Main) {
            EXPECT_TRUE(i.masked) << i.name;
        }
        if (i.rle8Allowed) {
            EXPECT_EQ(i.set, SkinSet::Pro) << i.name;
        }
    }
}

}  // namespace
}  // namespace tamboro::console::layout
