#pragma once
// The output engine's hook for a sequencer that acts at exact frames: the
// engine asks it, inside every render call, what is due, lets it start,
// stop and level voices there, and renders only up to the next frame where
// something is due. Layers above implement it (the song engine's live mix);
// the engine itself knows nothing of songs.
//
// One render call of `frames` frames, device frames f0 .. f0+frames:
//
//   BeginBlock(f0)
//   Sequence(f0)  -> n1    render [f0, f0+n1)
//   Sequence(f0+n1) -> n2  render [f0+n1, f0+n1+n2)
//   ...                    until the call is full
//   Rendered(f0, out, meters)
//
// Every call runs on the consumer (the audio thread, or the owner while no
// backend renders) and must not allocate, lock or wait.
#include <cstdint>

namespace tamboro::audio {

// What a sequencer may do to the engine's voices. Slot levels are the
// attenuations of the software mixer (volume -10000..0, pan -10000..10000).
class VoiceControl {
  public:
    // Starts the slot's first voice looping from `frame` (reduced modulo the
    // buffer's frames) with the given levels at once, no ramp. It is added
    // after every voice already sounding. False when the slot has no buffer.
    virtual bool StartVoice(int slot, std::uint32_t frame, int volume, int pan) = 0;
    // Stops every voice of the slot.
    virtual void StopVoice(int slot) = 0;
    // New levels for the slot's voices; a sounding voice settles on them over
    // RampFrames(), a silent one takes them at once.
    virtual void SetVoiceLevels(int slot, int volume, int pan) = 0;
    // Frames of the slot's buffer; 0 when it has none.
    virtual std::uint32_t VoiceFrames(int slot) const = 0;
    // Whether any voice of the slot sounds.
    virtual bool VoicePlaying(int slot) const = 0;
    // Frames over which a level change settles: max(1, rate x 4 / 1000).
    virtual std::uint32_t RampFrames() const = 0;

  protected:
    ~VoiceControl() = default;
};

// The level of one slot over one render call, after its gains: smallest and
// largest sample of each side (a mono output repeats the left side), and the
// sum of squares for an RMS. 16-bit scale.
struct SlotMeter {
    int minLeft = 0;
    int maxLeft = 0;
    int minRight = 0;
    int maxRight = 0;
    double sumSquaresLeft = 0;
    double sumSquaresRight = 0;
};

class BlockSequencer {
  public:
    virtual ~BlockSequencer() = default;
    // A render call of `frames` frames starts at device frame `frame` (frames
    // rendered since the engine was configured).
    virtual void BeginBlock(std::uint64_t frame, std::uint32_t frames, VoiceControl& voices) = 0;
    // Applies what is due at `frame` and answers how many frames, 1 to
    // `left`, may be rendered before the next call.
    virtual std::uint32_t Sequence(std::uint64_t frame, std::uint32_t left,
                                   VoiceControl& voices) = 0;
    // The render call starting at `frame` is done: `out` holds its `frames`
    // frames, `meters` one entry per slot (only the slots asked for are
    // measured; the others read 0).
    virtual void Rendered(std::uint64_t frame, const std::uint8_t* out, std::uint32_t frames,
                          const SlotMeter* meters) = 0;
};

}  // namespace tamboro::audio
