#pragma once
// The PRO console's time axis: four bars across the 480-pixel lanes, a whole
// number of bars of scroll, and what follows from them (time at a lane x,
// x at a time, the scroll buttons, the ruler drag and labels, Play's start,
// the playback follow, the thumbnail's width and where its repetitions sit
// along a sounding period). Plain arithmetic, any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/SongTypes.h"
#include "engine/Units.h"

namespace tamboro::audio {
class Wave;
}

namespace tamboro::console {

// "No event" on either side of a time: the largest millisecond value. No
// event is ever inserted at it.
inline constexpr std::uint32_t kNoTime = 0xFFFFFFFFu;

class ProTimeline {
  public:
    // `tempo` in quarter notes per minute; a tempo that is not positive is
    // taken as 120 so that nothing divides by zero.
    explicit ProTimeline(double tempo = 120.0, std::uint32_t scroll = 0);

    double Tempo() const { return m_tempo; }
    // One bar: 240 / tempo seconds.
    double BarSeconds() const { return 240.0 / m_tempo; }
    double BarMillis() const { return BarSeconds() * 1000.0; }

    // Scroll position in bars (never negative, and never so far that the
    // shown window leaves the millisecond range of an event).
    std::uint32_t Scroll() const { return m_scroll; }
    void SetScroll(std::int64_t bars);
    std::uint32_t MaxScroll() const;

    // The shown window [start, end) in milliseconds.
    double WindowStart() const { return m_scroll * BarMillis(); }
    double WindowEnd() const { return (m_scroll + 4.0) * BarMillis(); }

    // The time at lane x: barSeconds × (scroll + 4x / 480) × 1000, truncated.
    // x below 0 counts as 0; x past the right edge keeps going (a drag that
    // has left the lane). Never kNoTime.
    std::uint32_t TimeAtX(int x) const;
    // The lane x of a time (may lie outside 0..479): (t − start) × 480 /
    // window length, rounded down.
    int XAtTime(double ms) const;
    // The x of the playback line, or nothing when it falls outside 0..479.
    std::optional<int> PlaybackX(std::uint32_t positionMs) const;

    // The scroll buttons. Left ones stop at 0.
    void ScrollLeft1() { SetScroll(std::int64_t{m_scroll} - 1); }
    void ScrollLeft4() { SetScroll(std::int64_t{m_scroll} - 4); }
    void ScrollHome() { SetScroll(0); }
    void ScrollRight1() { SetScroll(std::int64_t{m_scroll} + 1); }
    void ScrollRight4() { SetScroll(std::int64_t{m_scroll} + 4); }
    // Scroll so that the latest event of any kind falls in the last of the
    // four shown bars: trunc(max(0, T / bar − 3)); 0 for an empty mix.
    void ScrollToEnd(std::optional<engine::Millis> latest);

    // Where Play starts the mix: scroll × bar milliseconds, truncated.
    engine::Millis PlayStart() const;

    // Ruler drag: scroll := scroll at press − (x − x at press) / 120, the
    // division towards zero, not below 0. Returns whether the scroll changed.
    bool RulerDrag(std::uint32_t scrollAtPress, int xAtPress, int x);

    // Playback follow (timer tick): when the position has left the shown
    // window, scroll to the bar that holds it. Returns whether it changed.
    bool Follow(std::uint32_t positionMs);

    // Ruler label i (0..3): "%.2f" of (scroll + i) × bar seconds.
    std::string RulerLabel(int i) const;

  private:
    double m_tempo;
    std::uint32_t m_scroll = 0;
};

// Width in pixels of a channel's thumbnail: its loop at the lane's scale,
// trunc(0.5 + 480 × bars / 4) with bars = length / bar; 0 for no length.
int ThumbnailWidth(std::uint32_t loopMillis, double tempo);

// One column of a thumbnail: a vertical line over rows [top, bottom).
struct ThumbnailColumn {
    int top = 0;
    int bottom = 0;
    friend bool operator==(const ThumbnailColumn&, const ThumbnailColumn&) = default;
};
// The waveform picture of a channel preview (16-bit frames): `width`
// columns, each stepping frameCount / width frames (at least one); the
// minimum and maximum over both sides of a column's samples give rows
// ((v + 32767) × height) >> 16, the line reaching one row past the maximum.
// Columns past the last frame are empty (top == bottom == 0).
std::vector<ThumbnailColumn> ThumbnailColumns(const audio::Wave& preview, int width, int height);

// A sounding period: an on event and the next off event of the channel
// (end kNoTime when the mix leaves the channel sounding).
struct SoundingPeriod {
    std::uint32_t start = 0;
    std::uint32_t end = kNoTime;
    friend bool operator==(const SoundingPeriod&, const SoundingPeriod&) = default;
};
// The channel's sounding periods in time order (only on and off events
// count; an on while sounding and an off while silent change nothing).
std::vector<SoundingPeriod> SoundingPeriods(const engine::EventList& events);

// One copy of the thumbnail on a lane: lane columns [x, x + width) show
// thumbnail columns [sourceX, sourceX + width).
struct ThumbnailSpan {
    int x = 0;
    int width = 0;
    int sourceX = 0;
    friend bool operator==(const ThumbnailSpan&, const ThumbnailSpan&) = default;
};
// Where the thumbnail repeats along `period` inside the shown window. Loop
// channels keep the loop phase counted from time 0 (the phase that really
// sounds); effect channels start at the period's start. A period that began
// before the window starts at the matching phase. Empty when the period
// misses the window or there is no thumbnail.
std::vector<ThumbnailSpan> ThumbnailSpans(const ProTimeline& timeline, SoundingPeriod period,
                                          std::uint32_t loopMillis, bool effect,
                                          int thumbnailWidth);

}  // namespace tamboro::console
