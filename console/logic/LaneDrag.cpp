#include "console/logic/LaneDrag.h"

#include <algorithm>
#include <iterator>

#include "console/layout/ProLayout.h"

namespace tamboro::console {

namespace {

using engine::EventList;
using engine::MixEvent;

bool IsOnOff(const MixEvent& e) {
    return (e.kind & engine::kOnOffKinds) != 0;
}

// The last on/off event at or before t, or end().
EventList::iterator LastAtOrBefore(EventList& list, std::uint32_t t) {
    auto found = list.end();
    for (auto it = list.begin(); it != list.end() && it->time <= t; ++it)
        if (IsOnOff(*it)) found = it;
    return found;
}

// The first on/off event after `from` (exclusive), or end().
EventList::iterator NextOnOff(EventList& list, EventList::iterator from) {
    for (auto it = std::next(from); it != list.end(); ++it)
        if (IsOnOff(*it)) return it;
    return list.end();
}

// The first on/off event after t, or end().
EventList::iterator FirstAfter(EventList& list, std::uint32_t t) {
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->time > t && IsOnOff(*it)) return it;
    return list.end();
}

// The last on/off event before `from` (exclusive), or end().
EventList::iterator PreviousOnOff(EventList& list, EventList::iterator from) {
    while (from != list.begin()) {
        --from;
        if (IsOnOff(*from)) return from;
    }
    return list.end();
}

}  // namespace

bool LaneDrag::Press(EventList& events, int channel, const ProTimeline& timeline, int x,
                     std::uint64_t nowMs) {
    if (IsDragging()) return false;
    m_list = &events;
    m_channel = static_cast<std::uint32_t>(channel);
    m_on.reset();
    m_off.reset();
    m_lastAutoScroll.reset();
    const std::uint32_t t = timeline.TimeAtX(x);
    const auto prev = LastAtOrBefore(events, t);
    const auto next = FirstAfter(events, t);
    const std::uint32_t p = prev == events.end() ? 0 : prev->time;
    const std::uint32_t n = next == events.end() ? kNoTime : next->time;
    const bool inside = prev != events.end() && prev->kind == engine::kChannelOn;
    if (!inside) {
        m_anchor = t;
        m_lower = p;
        m_upper = n;
        m_moving = t;
    } else {
        // A period left sounding by the mix (no off after its on) has no
        // end to move: its start moves and it stays open.
        const bool hasEnd = next != events.end() && next->kind == engine::kChannelOff;
        const bool moveEnd = hasEnd && (n - t) <= (t - p);
        if (moveEnd) {
            const auto after = NextOnOff(events, next);
            m_anchor = p;
            m_lower = p;
            m_upper = after == events.end() ? kNoTime : after->time;
        } else {
            const auto before = PreviousOnOff(events, prev);
            m_anchor = hasEnd ? n : kNoTime;
            m_upper = n;
            m_lower = before == events.end() ? 0 : before->time;
        }
        if (hasEnd) events.erase(next);
        events.erase(prev);
        m_moving = m_anchor;
    }
    Move(timeline, x, nowMs);
    return true;
}

void LaneDrag::RemoveInserted() {
    if (m_on) m_list->erase(*m_on);
    if (m_off) m_list->erase(*m_off);
    m_on.reset();
    m_off.reset();
}

AutoScroll LaneDrag::Move(const ProTimeline& timeline, int x, std::uint64_t nowMs) {
    if (!IsDragging()) return AutoScroll::None;
    m_moving = std::clamp(timeline.TimeAtX(x), m_lower, std::max(m_lower, m_upper));
    RemoveInserted();
    if (m_moving != m_anchor) {
        // Both lie within the bounds already (the anchor is the press time
        // or a boundary that was there); kNoTime is an open end.
        const std::uint32_t start = std::min(m_anchor, m_moving);
        const std::uint32_t end = std::max(m_anchor, m_moving);
        MixEvent on{start, engine::kChannelOn, m_channel, 0, 0};
        // The on goes after every event of its millisecond (after an off
        // there: the previous period ends, then this one starts); the off
        // goes before them (this period ends before the next one starts).
        auto pos = std::find_if(m_list->begin(), m_list->end(),
                                [&](const MixEvent& e) { return e.time > start; });
        m_on = m_list->insert(pos, on);
        if (end != kNoTime) {
            MixEvent off{end, engine::kChannelOff, m_channel, 0, 0};
            pos = std::find_if(std::next(*m_on), m_list->end(),
                               [&](const MixEvent& e) { return e.time >= end; });
            m_off = m_list->insert(pos, off);
        }
    }

    AutoScroll scroll = AutoScroll::None;
    const bool pauseOver = !m_lastAutoScroll || nowMs - *m_lastAutoScroll > kAutoScrollPause;
    if (pauseOver && x >= layout::kProLaneWidth && (m_anchor < m_upper || m_moving < m_upper)) {
        scroll = AutoScroll::Right;
    } else if (pauseOver && x < 0 && timeline.Scroll() > 0 &&
               (m_anchor > m_lower || m_moving > m_lower)) {
        scroll = AutoScroll::Left;
    }
    if (scroll != AutoScroll::None) m_lastAutoScroll = nowMs;
    return scroll;
}

void LaneDrag::Release() {
    if (!IsDragging()) return;
    if (m_anchor == m_moving) {
        RemoveInserted();
    } else if (m_on) {
        EventList& list = *m_list;
        const auto before = PreviousOnOff(list, *m_on);
        if (before != list.end() && before->kind == engine::kChannelOff &&
            before->time == (*m_on)->time) {
            list.erase(before);
            list.erase(*m_on);
        }
        if (m_off) {
            const auto after = NextOnOff(list, *m_off);
            if (after != list.end() && after->kind == engine::kChannelOn &&
                after->time == (*m_off)->time) {
                list.erase(after);
                list.erase(*m_off);
            }
        }
    }
    Abandon();
}

void LaneDrag::Abandon() {
    m_list = nullptr;
    m_on.reset();
    m_off.reset();
}

}  // namespace tamboro::console
