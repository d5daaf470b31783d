#pragma once
// Drawing, lengthening, shortening and deleting sounding periods on one
// channel's event list with the mouse (a PRO console lane). Only on and off
// events are searched and made; level events in between stay untouched.
//
//   press outside a period   anchor = t, bounds = the events either side
//   press inside a period    the nearer boundary moves (a tie moves the
//                            end); the period's two events are taken out
//                            and the other boundary becomes the anchor
//   move                     the drag's on/off pair spans anchor..moving
//                            time, kept within the bounds
//   release                  a pair of no length is removed (the period
//                            shrank to nothing); a pair that touches the
//                            previous period's end or the next one's start
//                            joins it
//
// The drag edits the list it was given (the document's, never the one a
// playback reads); nothing else may change that list from press to release.
// UI thread only.
#include <cstdint>
#include <optional>

#include "console/logic/ProTimeline.h"
#include "engine/SongTypes.h"

namespace tamboro::console {

// What a move asks the console to do with the scroll.
enum class AutoScroll : std::uint8_t { None = 0, Left = 1, Right = 2 };

class LaneDrag {
  public:
    // More than this many milliseconds between two automatic scrolls.
    static constexpr std::uint32_t kAutoScrollPause = 200;

    bool IsDragging() const { return m_list != nullptr; }

    // Press at lane x on `events` (channel `channel`). Does nothing and
    // returns false while a drag runs. Followed by a move at the same x.
    bool Press(engine::EventList& events, int channel, const ProTimeline& timeline, int x,
               std::uint64_t nowMs);
    // Move at lane x (outside the lane during a capture). `nowMs` is a
    // steady clock in ms. Returns the automatic scroll the console should
    // make (one bar; the next move then sees the new scroll).
    AutoScroll Move(const ProTimeline& timeline, int x, std::uint64_t nowMs);
    // Release: ends the drag, removing an empty pair and joining touching
    // periods.
    void Release();
    // Loss of capture: the drag ends with its last shape, unjoined.
    void Abandon();

    std::uint32_t Anchor() const { return m_anchor; }
    std::uint32_t MovingTime() const { return m_moving; }
    std::uint32_t LowerBound() const { return m_lower; }
    std::uint32_t UpperBound() const { return m_upper; }

  private:
    void RemoveInserted();

    engine::EventList* m_list = nullptr;
    std::uint32_t m_channel = 0;
    std::uint32_t m_anchor = 0;
    std::uint32_t m_moving = 0;
    std::uint32_t m_lower = 0;
    std::uint32_t m_upper = kNoTime;
    std::optional<engine::EventList::iterator> m_on;
    std::optional<engine::EventList::iterator> m_off;
    std::optional<std::uint64_t> m_lastAutoScroll;
};

}  // namespace tamboro::console
