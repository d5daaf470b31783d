#include "console/layout/SkinImages.h"

#include <cstdio>

#include "console/layout/ConsoleLayout.h"
#include "console/layout/ProLayout.h"

namespace tamboro::console::layout {
namespace {

std::string TwoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

struct Sized {
    std::string_view suffix;
    int width;
    int height;
};

// The main console's buttons: suffix base, layout button, whether the
// shell may disable it (the sibling programs may be missing).
struct MainButton {
    std::string_view base;
    ConsoleButton button;
    bool disableable;
};
constexpr std::array<MainButton, kButtonCount> kMainButtons{{
    {"BTNFILE", ConsoleButton::Files, false},
    {"BTNDRUM", ConsoleButton::Drum, true},
    {"BTNAUDIO", ConsoleButton::Audio, true},
    {"BTNPRO", ConsoleButton::Pro, false},
    {"BTNPLAY", ConsoleButton::Play, false},
    {"BTNSTOP", ConsoleButton::Stop, false},
    {"BTNRECORD", ConsoleButton::Record, false},
}};

}  // namespace

std::string ThemePrefix(SkinSet set, int theme) {
    if (theme < 0 || theme >= kThemeCount) return {};
    const std::string n = std::to_string(theme + 1);
    switch (set) {
        case SkinSet::Main:
            return "TAMBOROTM" + n;
        case SkinSet::Pro:
            return "PROTM" + n;
        case SkinSet::General:
            return "GENTM" + n;
        case SkinSet::Shared:
            return {};
    }
    return {};
}

std::string PadSuffix(int channel, PadState state) {
    return "CH" + TwoDigits(channel + 1) + std::string(kPadSuffixes[static_cast<int>(state)]);
}

std::string VolumeSuffix(int step) {
    return "VOL" + TwoDigits(step + 1);
}

std::vector<SkinImage> ThemeImages(int theme) {
    std::vector<SkinImage> out;
    if (theme < 0 || theme >= kThemeCount) return out;

    const std::string main = ThemePrefix(SkinSet::Main, theme);
    auto addMain = [&](std::string suffix, int w, int h, bool masked,
                       SkinReader reader = SkinReader::Graphics) {
        out.push_back({main + suffix, w, h, SkinSet::Main, reader, masked});
    };
    addMain("BACK", kConsoleWidth, kConsoleHeight, false);
    for (int c = 0; c < kChannelCount; ++c) {
        const Rect r = PadRect(c);
        for (int s = 0; s < 4; ++s)
            addMain(PadSuffix(c, static_cast<PadState>(s)), r.w, r.h, true);
    }
    for (int i = 0; i < kMasterVolumePictures; ++i) {
        addMain(VolumeSuffix(i), kMasterVolumePicture.w, kMasterVolumePicture.h, true);
    }
    addMain("KNOB", kKnobSize, kKnobSize * kKnobPositions, true);
    // The power switch and the mode pictures carry the background they sit
    // on, so they look right whether they are drawn masked or opaque.
    for (std::string_view s : {"POWERU", "POWERD"}) {
        addMain(std::string(s), kPowerSwitch.w, kPowerSwitch.h, false);
    }
    for (std::string_view s : {"KVOLU", "KVOLD"}) {
        addMain(std::string(s), kVolumeModePicture.w, kVolumeModePicture.h, false);
    }
    for (std::string_view s : {"KPANU", "KPAND"}) {
        addMain(std::string(s), kPanModePicture.w, kPanModePicture.h, false);
    }
    for (std::string_view s : {"METER0", "METER1"}) {
        addMain(std::string(s), kMeterWindow.w, kMeterWindow.h, true);
    }
    // Buttons are child windows copied 1:1 by the toolkit: their pictures
    // carry the background of their seat, so no pixel is transparent.
    for (const MainButton& b : kMainButtons) {
        const Rect r = ButtonRect(b.button);
        for (std::string_view state : {"U", "D", "F"}) {
            addMain(std::string(b.base) + std::string(state), r.w, r.h, false, SkinReader::Toolkit);
        }
        if (b.disableable) addMain(std::string(b.base) + "X", r.w, r.h, false, SkinReader::Toolkit);
    }

    const std::string pro = ThemePrefix(SkinSet::Pro, theme);
    out.push_back(
        {pro + "BACK", kConsoleWidth, kConsoleHeight, SkinSet::Pro, SkinReader::Graphics, false});
    std::string_view last;
    for (const ProButton& b : kProButtons) {
        if (b.suffix == last) continue;  // LIGHT serves three buttons
        last = b.suffix;
        const bool light = b.suffix == "LIGHT";
        for (std::string_view state : {"U", "D", "F", "X"}) {
            if (state == "X" && !light) continue;
            out.push_back({pro + std::string(b.suffix) + std::string(state), b.rect.w, b.rect.h,
                           SkinSet::Pro, SkinReader::Toolkit, false, true});
        }
    }

    out.push_back({ThemePrefix(SkinSet::General, theme) + "BACKTEX", kTextureWidth, kTextureHeight,
                   SkinSet::General, SkinReader::Toolkit, false});
    return out;
}

std::vector<SkinImage> SharedImages() {
    std::vector<SkinImage> out;
    for (std::string_view s : {"GBUTTONU", "GBUTTOND", "GBUTTONF", "GBUTTONX"}) {
        out.push_back({std::string(s), kDialogButtonWidth, kDialogButtonHeight, SkinSet::Shared,
                       SkinReader::Toolkit, true});
    }
    out.push_back({std::string(kSplashName), kSplashWidth, kSplashHeight, SkinSet::Shared,
                   SkinReader::Toolkit, false});
    auto cursor = [&](std::string_view name, int hx, int hy) {
        out.push_back({std::string(name), kCursorSize, kCursorSize, SkinSet::Shared,
                       SkinReader::Toolkit, true, false, hx, hy});
    };
    cursor(kButtonCursorName, 9, 1);        // pointing hand: the fingertip
    cursor(kKnobCursorName, 15, 15);        // up-down arrows: the centre
    cursor(kRulerHoverCursorName, 15, 15);  // open hand
    cursor(kRulerDragCursorName, 15, 15);   // closed hand
    out.push_back(
        {std::string(kIconName), kIconSize, kIconSize, SkinSet::Shared, SkinReader::Toolkit, true});
    return out;
}

std::vector<SkinImage> AllSkinImages() {
    std::vector<SkinImage> out;
    for (int t = 0; t < kThemeCount; ++t) {
        auto theme = ThemeImages(t);
        out.insert(out.end(), theme.begin(), theme.end());
    }
    auto shared = SharedImages();
    out.insert(out.end(), shared.begin(), shared.end());
    return out;
}

}  // namespace tamboro::console::layout
