#include "console/logic/ProTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/wave/Wave.h"
#include "console/layout/ProLayout.h"

namespace tamboro::console {

namespace {
constexpr double kLaneWidth = layout::kProLaneWidth;
constexpr double kBarsShown = layout::kProBarsShown;
}  // namespace

ProTimeline::ProTimeline(double tempo, std::uint32_t scroll)
    : m_tempo(tempo > 0.0 && std::isfinite(tempo) ? tempo : 120.0) {
    SetScroll(scroll);
}

std::uint32_t ProTimeline::MaxScroll() const {
    // The whole window, and a drag one window further, must stay below
    // kNoTime so that no time on the axis collides with "no event".
    const double bars = (kNoTime - 1.0) / BarMillis() - 2.0 * kBarsShown;
    return bars <= 0.0 ? 0u : static_cast<std::uint32_t>(bars);
}

void ProTimeline::SetScroll(std::int64_t bars) {
    m_scroll = static_cast<std::uint32_t>(std::clamp<std::int64_t>(bars, 0, MaxScroll()));
}

std::uint32_t ProTimeline::TimeAtX(int x) const {
    const double t = BarSeconds() * (m_scroll + kBarsShown * std::max(x, 0) / kLaneWidth) * 1000.0;
    return t >= kNoTime - 1.0 ? kNoTime - 1 : static_cast<std::uint32_t>(t);
}

int ProTimeline::XAtTime(double ms) const {
    const double x = (ms - WindowStart()) * kLaneWidth / (WindowEnd() - WindowStart());
    return static_cast<int>(std::floor(std::clamp(x, -1.0e9, 1.0e9)));
}

std::optional<int> ProTimeline::PlaybackX(std::uint32_t positionMs) const {
    const int x = XAtTime(positionMs);
    if (x < 0 || x >= layout::kProLaneWidth) return std::nullopt;
    return x;
}

void ProTimeline::ScrollToEnd(std::optional<engine::Millis> latest) {
    if (!latest) {
        SetScroll(0);
        return;
    }
    const double bars = std::max(0.0, latest->count * 0.001 / BarSeconds() - 3.0);
    SetScroll(static_cast<std::int64_t>(bars));
}

engine::Millis ProTimeline::PlayStart() const {
    return engine::Millis(static_cast<std::uint32_t>(m_scroll * BarSeconds() * 1000.0));
}

bool ProTimeline::RulerDrag(std::uint32_t scrollAtPress, int xAtPress, int x) {
    const std::uint32_t before = m_scroll;
    // C++ integer division truncates towards zero, as the drag wants.
    SetScroll(std::int64_t{scrollAtPress} - (std::int64_t{x} - xAtPress) / layout::kProBarPixels);
    return m_scroll != before;
}

bool ProTimeline::Follow(std::uint32_t positionMs) {
    if (positionMs >= WindowStart() && positionMs < WindowEnd()) return false;
    const std::uint32_t before = m_scroll;
    SetScroll(static_cast<std::int64_t>(positionMs / BarMillis()));
    return m_scroll != before;
}

std::string ProTimeline::RulerLabel(int i) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", (m_scroll + i) * BarSeconds());
    return text;
}

int ThumbnailWidth(std::uint32_t loopMillis, double tempo) {
    const ProTimeline axis(tempo);
    const double bars = loopMillis * 0.001 / axis.BarSeconds();
    const double width = 0.5 + kLaneWidth * bars / kBarsShown;
    return width >= 1.0e9 ? 1000000000 : static_cast<int>(width);
}

std::vector<ThumbnailColumn> ThumbnailColumns(const audio::Wave& preview, int width, int height) {
    std::vector<ThumbnailColumn> columns(static_cast<std::size_t>(std::max(width, 0)));
    const std::int32_t frames = preview.FrameCount();
    if (width <= 0 || frames <= 0) return columns;
    const std::int32_t step = std::max<std::int32_t>(1, frames / width);
    const auto row = [height](int v) { return ((v + 32767) * height) >> 16; };
    for (int c = 0; c < width; ++c) {
        const std::int64_t first = std::int64_t{step} * c;
        if (first >= frames) break;
        const std::int32_t last =
            static_cast<std::int32_t>(std::min<std::int64_t>(first + step, frames));
        int lo = 32767;
        int hi = -32768;
        for (auto i = static_cast<std::int32_t>(first); i < last; ++i) {
            const std::uint32_t packed = preview.GetFrame(i);
            for (const int v : {static_cast<int>(static_cast<std::int16_t>(packed & 0xFFFF)),
                                static_cast<int>(static_cast<std::int16_t>(packed >> 16))}) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        columns[static_cast<std::size_t>(c)] = {std::max(0, row(lo)), row(hi) + 1};
    }
    return columns;
}

std::vector<SoundingPeriod> SoundingPeriods(const engine::EventList& events) {
    std::vector<SoundingPeriod> periods;
    bool sounding = false;
    for (const engine::MixEvent& e : events) {
        if ((e.kind & engine::kOnOffKinds) == 0) continue;
        if (e.kind == engine::kChannelOn && !sounding) {
            periods.push_back({e.time, kNoTime});
            sounding = true;
        } else if (e.kind == engine::kChannelOff && sounding) {
            periods.back().end = e.time;
            sounding = false;
        }
    }
    return periods;
}

std::vector<ThumbnailSpan> ThumbnailSpans(const ProTimeline& timeline, SoundingPeriod period,
                                          std::uint32_t loopMillis, bool effect,
                                          int thumbnailWidth) {
    std::vector<ThumbnailSpan> spans;
    const double windowStart = timeline.WindowStart();
    const double windowEnd = timeline.WindowEnd();
    const double start = std::max<double>(period.start, windowStart);
    const double end = std::min<double>(period.end, windowEnd);
    if (start >= end || loopMillis == 0 || thumbnailWidth <= 0) return spans;
    const int laneWidth = layout::kProLaneWidth;
    const int xs = std::clamp(timeline.XAtTime(start), 0, laneWidth);
    const int xe = std::clamp(timeline.XAtTime(end), 0, laneWidth);
    if (xs >= xe) return spans;

    const double pixelsPerMs = kLaneWidth / (windowEnd - windowStart);
    const double loopPixels = loopMillis * pixelsPerMs;
    const double origin = effect ? period.start : 0.0;
    const double originX = (origin - windowStart) * pixelsPerMs;
    // The repetition that holds the first shown column.
    for (double k = std::floor((xs - originX) / loopPixels);; k += 1.0) {
        const double repStart = originX + k * loopPixels;
        const int repX = static_cast<int>(std::floor(repStart));
        const int a = std::max(xs, repX);
        if (a >= xe) break;
        const int b = std::min(xe, static_cast<int>(std::floor(repStart + loopPixels)));
        const int sourceX = a - repX;
        const int width = std::min(b - a, thumbnailWidth - sourceX);
        if (width > 0) spans.push_back({a, width, sourceX});
    }
    return spans;
}

}  // namespace tamboro::console
