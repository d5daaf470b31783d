#pragma once
// The pictures of the main console for one colour theme, loaded from the
// program's resources: BACK (whose colour table is the console palette),
// four pictures for each pad, twenty master volume pictures, the knob strip,
// the power switch, the mode pictures and the meter. Every picture but BACK
// leaves index 252 transparent and shares BACK's palette.
//
// A picture that cannot be loaded stays empty; drawing an empty picture
// does nothing, so the console keeps working with whatever loaded.
// User-interface thread only.
#include <array>
#include <memory>
#include <string>

#include "console/logic/ConsoleLayout.h"
#include "console/logic/Controls.h"
#include "gfx/DibSurface.h"

namespace tamboro::console {

class ConsoleSkin {
  public:
    ConsoleSkin();
    ~ConsoleSkin();
    ConsoleSkin(const ConsoleSkin&) = delete;
    ConsoleSkin& operator=(const ConsoleSkin&) = delete;

    // Frees the current pictures, then loads theme t (0..3; others load
    // nothing). Answers how many pictures could not be loaded.
    int Load(int theme);
    // Deletes every picture.
    void Free();
    int Theme() const { return m_theme; }

    gfx::DibSurface* Back() const { return m_back.get(); }
    // BACK's palette: null when BACK did not load.
    gfx::Palette* ConsolePalette() const;
    gfx::DibSurface* Pad(int ch, PadPicture picture) const;
    gfx::DibSurface* Volume(int index) const;  // VOL<index+1>, index 0..19
    gfx::DibSurface* Knob() const { return m_single[kKnob].get(); }
    gfx::DibSurface* Power(bool down) const { return m_single[down ? kPowerD : kPowerU].get(); }
    gfx::DibSurface* VolumeMode(bool on) const { return m_single[on ? kVolD : kVolU].get(); }
    gfx::DibSurface* PanMode(bool on) const { return m_single[on ? kPanD : kPanU].get(); }
    gfx::DibSurface* Meter(int which) const { return m_single[which ? kMeter1 : kMeter0].get(); }

  private:
    enum Single { kKnob, kPowerU, kPowerD, kVolU, kVolD, kPanU, kPanD, kMeter0, kMeter1, kSingles };
    std::unique_ptr<gfx::DibSurface> LoadPicture(const std::string& name, bool masked, int& failed);

    int m_theme = -1;
    std::unique_ptr<gfx::DibSurface> m_back;
    std::array<std::unique_ptr<gfx::DibSurface>, 4 * kChannels> m_pads;
    std::array<std::unique_ptr<gfx::DibSurface>, 20> m_volume;
    std::array<std::unique_ptr<gfx::DibSurface>, kSingles> m_single;
};

}  // namespace tamboro::console
