#pragma once
// The level of an output over a sliding window of its last frames: the
// smallest and largest sample of each side and the RMS, exact to the frame
// whatever sizes the render calls have.
//
// Each side keeps two monotonic queues of the window's frames (the running
// minimum and maximum: a frame that can no longer be the extreme of any later
// window leaves at once), over a ring that holds the window's samples, so a
// frame costs a few comparisons on average and a query costs nothing. All
// storage is taken by the constructor for the longest window; Reset and Add
// never allocate, so the audio thread may call them.
//
//   ring of samples:  [ s(n-W) ... s(n-1) ]     W = window frames
//   minimum queue:    ring slots of frames, values rising from front to back
//   maximum queue:    ring slots of frames, values falling from front to back
//
// One thread uses an object at a time (the audio thread inside a render call).
#include <array>
#include <cstdint>
#include <vector>

namespace tamboro::engine {

class MeterWindow {
  public:
    // The longest window: 60 ms at the output engine's highest rate.
    static constexpr std::uint32_t kMaxFrames = 384000 * 60 / 1000;

    // Allocates for kMaxFrames; the window starts at one frame, empty.
    MeterWindow();

    // Empties the window and sets its length: 1..kMaxFrames (clamped).
    void Reset(std::uint32_t frames);
    // Adds the next frame (16-bit values; a mono output gives its sample on
    // both sides); the oldest frame leaves a full window.
    void Add(int left, int right);

    std::uint32_t Frames() const { return m_frames; }
    // Frames in the window now: min(frames added since Reset, Frames()).
    std::uint32_t Count() const { return m_count; }
    // Extremes of side 0 (left) or 1 (right) over the window; 0 when empty.
    int Min(int side) const;
    int Max(int side) const;
    // The RMS of a side over the window, 0..32768; 0 when empty.
    std::uint16_t Rms(int side) const;

  private:
    // A ring of slots of the sample ring (kMaxFrames fits 16 bits).
    struct Queue {
        std::vector<std::uint16_t> entries;
        std::uint32_t head = 0;
        std::uint32_t size = 0;
    };
    std::uint32_t Wrap(std::uint32_t i) const { return i >= m_frames ? i - m_frames : i; }
    std::uint16_t Front(const Queue& q) const { return q.entries[q.head]; }
    std::uint16_t Back(const Queue& q) const { return q.entries[Wrap(q.head + q.size - 1)]; }
    void PopFront(Queue& q) const;
    // Drops from the back every frame the new one makes useless, then adds it.
    void PushMin(Queue& q, int side, std::uint16_t slot, int value) const;
    void PushMax(Queue& q, int side, std::uint16_t slot, int value) const;

    std::vector<std::array<std::int16_t, 2>> m_samples;
    std::array<Queue, 2> m_min;
    std::array<Queue, 2> m_max;
    std::array<std::int64_t, 2> m_sumSquares{};
    std::uint32_t m_frames = 1;
    std::uint32_t m_count = 0;
    std::uint32_t m_write = 0;  // the ring slot the next frame goes to
};

static_assert(MeterWindow::kMaxFrames <= 65536, "ring slots are kept in 16 bits");

}  // namespace tamboro::engine
