#include "console/logic/ConsoleSkin.h"

#include "console/layout/SkinImages.h"

namespace tamboro::console {

ConsoleSkin::ConsoleSkin() = default;
ConsoleSkin::~ConsoleSkin() = default;

gfx::Palette* ConsoleSkin::ConsolePalette() const {
    return m_back ? m_back->GetPalette() : nullptr;
}

gfx::DibSurface* ConsoleSkin::Pad(int ch, PadPicture picture) const {
    if (ch < 0 || ch >= kChannels) return nullptr;
    return m_pads[static_cast<std::size_t>(4 * ch + static_cast<int>(picture))].get();
}

gfx::DibSurface* ConsoleSkin::Volume(int index) const {
    if (index < 0 || index >= 20) return nullptr;
    return m_volume[static_cast<std::size_t>(index)].get();
}

std::unique_ptr<gfx::DibSurface> ConsoleSkin::LoadPicture(const std::string& name, bool masked,
                                                          int& failed) {
    auto image = std::make_unique<gfx::DibSurface>();
    const gfx::ImageSource source{name, layout::kBitmapType};
    if (image->Load(source, gfx::load::kFromResource) != gfx::GfxResult::Ok ||
        image->GetFormat() != gfx::PixelFormat::Indexed8) {
        ++failed;
        return nullptr;
    }
    if (masked) {
        image->sourceKey = layout::kTransparentIndex;
        if (gfx::Palette* palette = ConsolePalette()) image->SetPalette(palette);
    }
    return image;
}

int ConsoleSkin::Load(int theme) {
    Free();
    const std::string prefix = layout::ThemePrefix(layout::SkinSet::Main, theme);
    if (prefix.empty()) return 0;
    m_theme = theme;
    int failed = 0;
    m_back = LoadPicture(prefix + "BACK", false, failed);
    for (int ch = 0; ch < kChannels; ++ch) {
        for (int p = 0; p < 4; ++p) {
            m_pads[static_cast<std::size_t>(4 * ch + p)] = LoadPicture(
                prefix + layout::PadSuffix(ch, static_cast<PadPicture>(p)), true, failed);
        }
    }
    for (int i = 0; i < 20; ++i) {
        m_volume[static_cast<std::size_t>(i)] =
            LoadPicture(prefix + layout::VolumeSuffix(i), true, failed);
    }
    static constexpr const char* kSingleNames[kSingles] = {
        "KNOB", "POWERU", "POWERD", "KVOLU", "KVOLD", "KPANU", "KPAND", "METER0", "METER1"};
    for (int i = 0; i < kSingles; ++i) {
        m_single[static_cast<std::size_t>(i)] = LoadPicture(prefix + kSingleNames[i], true, failed);
    }
    return failed;
}

void ConsoleSkin::Free() {
    m_theme = -1;
    for (auto& p : m_single)
        p.reset();
    for (auto& p : m_volume)
        p.reset();
    for (auto& p : m_pads)
        p.reset();
    m_back.reset();
}

}  // namespace tamboro::console
