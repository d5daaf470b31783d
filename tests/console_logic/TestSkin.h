#pragma once
// A console skin made for tests and registered as resources ahead of the
// program's own: every picture is one flat palette index of its own (the
// knob strip one index a frame), with a left column of the transparent
// index 252 in the masked ones, so a back buffer pixel tells which picture
// and which state was drawn there. The palette's colours are all distinct.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "console/layout/ConsoleLayout.h"
#include "console/layout/SkinImages.h"
#include "platform/Resources.h"

namespace tamboro::console::test {

inline constexpr std::uint8_t kBackIndex = 1;
inline std::uint8_t PadIndex(int ch, int state) {
    return static_cast<std::uint8_t>(10 + 4 * ch + state);
}
inline std::uint8_t VolumeIndex(int i) {
    return static_cast<std::uint8_t>(100 + i);
}
inline std::uint8_t KnobIndex(int k) {
    return static_cast<std::uint8_t>(160 + k);
}
inline const std::map<std::string, std::uint8_t>& SingleIndexes() {
    static const std::map<std::string, std::uint8_t> m = {
        {"METER0", 190}, {"METER1", 191}, {"POWERU", 192}, {"POWERD", 193},
        {"KVOLU", 194},  {"KVOLD", 195},  {"KPANU", 196},  {"KPAND", 197}};
    return m;
}
// Buttons (read by the toolkit): up, down, focus, disabled at 200, 201,
// 202, 203, plus 4 x the button's layout index.
inline std::uint8_t ButtonIndex(int button, char state) {
    const int s = state == 'U' ? 0 : state == 'D' ? 1 : state == 'F' ? 2 : 3;
    return static_cast<std::uint8_t>(200 + 4 * button + s);
}

// Colour of palette entry i in the test skin.
inline void TestColour(int i, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
    r = static_cast<std::uint8_t>(i);
    g = static_cast<std::uint8_t>((i * 7) & 0xFF);
    b = static_cast<std::uint8_t>(255 - i);
}

inline std::vector<std::uint8_t> TestBitmap(int w, int h, bool masked, bool fileHeader,
                                            std::uint8_t (*pixel)(int x, int y, std::uint8_t),
                                            std::uint8_t value) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(w) + 3) & ~3u;
    const std::size_t header = 40 + 4 * 256;
    const std::size_t off = fileHeader ? 14 : 0;
    std::vector<std::uint8_t> b(off + header + static_cast<std::size_t>(rowBytes) * h, 0);
    std::uint8_t* p = b.data();
    if (fileHeader) {
        p[0] = 'B';
        p[1] = 'M';
        base::StoreLe<32>(p + 2, static_cast<std::uint32_t>(b.size()));
        base::StoreLe<32>(p + 10, static_cast<std::uint32_t>(14 + header));
        p += 14;
    }
    base::StoreLe<32>(p, 40);
    base::StoreLe<32>(p + 4, static_cast<std::uint32_t>(w));
    base::StoreLe<32>(p + 8, static_cast<std::uint32_t>(h));
    base::StoreLe<16>(p + 12, 1);
    base::StoreLe<16>(p + 14, 8);
    base::StoreLe<32>(p + 32, 256);
    for (int i = 0; i < 256; ++i)
        TestColour(i, p[42 + 4 * i], p[41 + 4 * i], p[40 + 4 * i]);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = p + header + static_cast<std::size_t>(h - 1 - y) * rowBytes;
        for (int x = 0; x < w; ++x) {
            row[x] = masked && x == 0 ? layout::kTransparentIndex : pixel(x, y, value);
        }
    }
    return b;
}

inline std::uint8_t Flat(int, int, std::uint8_t v) {
    return v;
}
inline std::uint8_t KnobStrip(int, int y, std::uint8_t) {
    return KnobIndex(y / layout::kKnobSize);
}

// Registers the test skin for every theme (once a process).
inline void RegisterTestSkin() {
    static std::vector<std::vector<std::uint8_t>> blobs;
    static std::vector<std::string> names;
    static std::vector<platform::ResourceEntry> entries;
    if (!entries.empty()) return;
    for (int t = 0; t < layout::kThemeCount; ++t) {
        const std::string prefix = layout::ThemePrefix(layout::SkinSet::Main, t);
        for (const layout::SkinImage& im : layout::ThemeImages(t)) {
            if (im.set != layout::SkinSet::Main) continue;
            const std::string suffix = im.name.substr(prefix.size());
            std::uint8_t value = kBackIndex;
            auto pixel = &Flat;
            bool fileHeader = im.reader == layout::SkinReader::Toolkit;
            if (suffix.rfind("CH", 0) == 0) {
                const int ch = std::stoi(suffix.substr(2, 2)) - 1;
                const std::string st = suffix.substr(4);
                const int state = st == "U" ? 0 : st == "D" ? 1 : st == "X" ? 2 : 3;
                value = PadIndex(ch, state);
            } else if (suffix.rfind("VOL", 0) == 0) {
                value = VolumeIndex(std::stoi(suffix.substr(3)) - 1);
            } else if (suffix == "KNOB") {
                pixel = &KnobStrip;
            } else if (SingleIndexes().count(suffix)) {
                value = SingleIndexes().at(suffix);
            } else if (suffix.rfind("BTN", 0) == 0) {
                static const char* kButtons[] = {"FILE", "DRUM", "AUDIO", "PRO",
                                                 "PLAY", "STOP", "RECORD"};
                for (int b = 0; b < 7; ++b) {
                    const std::string base = std::string("BTN") + kButtons[b];
                    if (suffix.size() == base.size() + 1 && suffix.rfind(base, 0) == 0)
                        value = ButtonIndex(b, suffix.back());
                }
            }
            const bool masked = im.masked && suffix != "BACK";
            blobs.push_back(TestBitmap(im.width, im.height, masked, fileHeader, pixel, value));
            names.push_back(im.name);
        }
    }
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        entries.push_back({names[i].c_str(), "BITMAP", blobs[i].data(), blobs[i].size()});
    }
    platform::RegisterResourceTable([](std::size_t* count) -> const platform::ResourceEntry* {
        *count = entries.size();
        return entries.data();
    });
}

}  // namespace tamboro::console::test
