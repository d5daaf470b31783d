#pragma once
// The PRO console's back buffer: a 640 x 480 8-bit surface with the PRO
// palette (the colour table of PROTM<t+1>BACK). Draws the background, the
// areas restored from it (name column, ruler strip, status area), text
// given as coverage masks, the channel thumbnails and the twenty lanes.
// Every drawing call answers the rectangle it changed (console pixels) so
// the window shows only that.
// User-interface thread only.
#include <cstdint>
#include <memory>
#include <optional>

#include "console/layout/ConsoleLayout.h"
#include "console/logic/ConsoleCanvas.h"
#include "console/logic/ProTimeline.h"
#include "engine/SongTypes.h"
#include "gfx/DibSurface.h"

namespace tamboro::audio {
class Wave;
}

namespace tamboro::console {

inline constexpr Rgb kProLaneEnabled{148, 173, 123};
inline constexpr Rgb kProLaneDisabled{74, 87, 62};
inline constexpr Rgb kProThumbnailBack{48, 48, 48};
inline constexpr Rgb kProLoopWave{255, 0, 0};    // red pen: a loop channel's waveform
inline constexpr Rgb kProEffectWave{0, 0, 255};  // blue pen: an effect channel's waveform
inline constexpr Rgb kProPlaybackLine{255, 255, 255};
inline constexpr Rgb kProPeriodMark{255, 0, 0};  // the console's red pen: an empty channel's period
inline constexpr Rgb kProNameText{0, 255, 0};
inline constexpr Rgb kProBlack{0, 0, 0};

// What a lane shows.
struct LaneView {
    bool enabled = true;  // false while the mix plays back
    const engine::EventList* events = nullptr;
    std::uint32_t loopMillis = 0;  // the channel's prepared length; 0 empty
    bool effect = false;
    const gfx::DibSurface* thumbnail = nullptr;  // null for an empty channel
    std::optional<std::uint32_t> playback;       // the playback position (ms) while playing
};

class ProCanvas {
  public:
    // Draws into `back` (kept alive by the caller) or into a surface of its
    // own; the back buffer is made 640 x 480 8-bit.
    explicit ProCanvas(gfx::DibSurface* back = nullptr);
    ~ProCanvas();
    ProCanvas(const ProCanvas&) = delete;
    ProCanvas& operator=(const ProCanvas&) = delete;

    // Loads PROTM<t+1>BACK of theme t (0..3) and gives its colour table to
    // the back buffer. False when it cannot be loaded (the console then
    // draws on black with a grey palette).
    bool LoadSkin(int theme);
    void FreeSkin();
    gfx::DibSurface& BackBuffer() { return *m_back; }
    const gfx::DibSurface* Back() const { return m_skin.get(); }
    std::uint8_t PixelAt(int x, int y) const;
    std::uint8_t Nearest(Rgb colour) const { return NearestIndex(*m_back, colour); }

    // BACK over the whole console.
    layout::Rect DrawBackground();
    // BACK over `r` only.
    layout::Rect Restore(const layout::Rect& r);
    layout::Rect Fill(const layout::Rect& r, Rgb colour);
    // A coverage mask at (x, y) in `colour`, clipped to `clip`.
    layout::Rect DrawText(const layout::Rect& clip, int x, int y, const std::uint8_t* mask,
                          int pitch, int width, int height, Rgb colour);

    // The waveform picture of a channel: `width` x 12 pixels in the
    // thumbnail background with one column a pixel (red for a loop channel,
    // blue for an effect channel) from the channel preview. Null for no
    // preview or no width.
    std::unique_ptr<gfx::DibSurface> MakeThumbnail(const audio::Wave* preview, int width,
                                                   bool effect) const;

    // Lane `ch` (0..19) at its place: the background, each sounding period
    // of the window with the thumbnail repeated along it (for an empty
    // channel a dark strip with a red line), and the playback line.
    layout::Rect DrawLane(int ch, const ProTimeline& timeline, const LaneView& view);

  private:
    std::unique_ptr<gfx::DibSurface> m_ownBack;
    gfx::DibSurface* m_back;
    std::unique_ptr<gfx::DibSurface> m_skin;
};

}  // namespace tamboro::console
