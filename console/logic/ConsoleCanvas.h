#pragma once
// The main console's back buffer: a 640 x 480 8-bit surface with the console
// palette. Every part of the console is drawn here from the skin's
// pictures; what changed is collected as dirty rectangles for the window.
// Text comes in as a coverage mask (0 nothing .. 255 full) and is written as
// the palette colours nearest to the text colour blended over the skin.
// User-interface thread only.
#include <cstdint>
#include <vector>

#include "console/layout/ConsoleLayout.h"
#include "console/logic/ConsoleLayout.h"
#include "console/logic/ConsoleSkin.h"
#include "console/logic/Controls.h"
#include "gfx/DibSurface.h"

namespace tamboro::console {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

inline constexpr Rgb kTextColour{0, 255, 0};
inline constexpr Rgb kBeatLit{0, 255, 0};
inline constexpr Rgb kBeatDark{0, 72, 0};
// The four beat lights in the text panel's spare bottom row.
inline constexpr int kBeatLightSize = 6;
inline constexpr int kBeatLightGap = 4;
inline constexpr layout::Rect kBeatLights{388 - 4 * kBeatLightSize - 3 * kBeatLightGap, 108,
                                          4 * kBeatLightSize + 3 * kBeatLightGap, kBeatLightSize};

// The palette index of `surface`'s palette nearest to a colour (0 without
// a palette).
std::uint8_t NearestIndex(const gfx::DibSurface& surface, Rgb colour);
// Writes a coverage mask (0 nothing .. 255 full) at (x, y) in `colour` over
// what `surface` holds, as the nearest palette colours, only inside `clip`.
void DrawCoverageOn(gfx::DibSurface& surface, const layout::Rect& clip, int x, int y,
                    const std::uint8_t* mask, int pitch, int width, int height, Rgb colour);

class ConsoleCanvas {
  public:
    // Draws into `back` (the window output's back buffer, which the caller
    // keeps alive), or into a back buffer of its own when none is given; the
    // back buffer is made 640 x 480 8-bit and takes the skin's palette.
    explicit ConsoleCanvas(const ConsoleSkin& skin, gfx::DibSurface* back = nullptr);
    ~ConsoleCanvas();
    ConsoleCanvas(const ConsoleCanvas&) = delete;
    ConsoleCanvas& operator=(const ConsoleCanvas&) = delete;

    gfx::DibSurface& BackBuffer() { return *m_back; }
    // Gives the back buffer the skin's palette again (after a new skin).
    void TakeSkinPalette();
    std::uint8_t PixelAt(int x, int y) const;

    void DrawBackground();
    void DrawPad(int ch, PadPicture picture);
    void DrawModes(KnobMode mode);
    void DrawMaster(int value);
    void DrawPower(bool down);
    // METER0, then the lit columns of METER1 growing from the middle.
    void DrawMeter(const MeterLengths& lengths);
    // The text panel back from BACK (opaque).
    void RestoreTextPanel();
    // Writes a coverage mask at (x, y) in `colour`, clipped to the text panel.
    void DrawCoverage(int x, int y, const std::uint8_t* mask, int pitch, int width, int height,
                      Rgb colour);
    // The four beat lights, `beat` (0..3) lit; -1 lights none.
    void DrawBeat(int beat);
    // A knob's own 15 x 15 surface: the background under it, then frame
    // `position` of the knob strip.
    void DrawKnob(int ch, int position, gfx::DibSurface& knob) const;
    // The palette index nearest to a colour.
    std::uint8_t Nearest(Rgb colour) const;

    // Rectangles drawn since the last call (console pixels).
    std::vector<layout::Rect> TakeDirty();
    void MarkDirty(const layout::Rect& r);

  private:
    void Copy(gfx::DibSurface* picture, int x, int y, bool masked);

    const ConsoleSkin& m_skin;
    std::unique_ptr<gfx::DibSurface> m_ownBack;
    gfx::DibSurface* m_back;
    std::vector<layout::Rect> m_dirty;
};

}  // namespace tamboro::console
