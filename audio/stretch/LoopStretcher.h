#pragma once
// Time-stretching a loop to an exact length with its pitch and formants
// kept, so that a loop made at another tempo lasts a whole number of bars at
// the song's tempo.
//
// The loop is stretched as if it played round: the stretcher sees the end of
// the loop before its start and the start again after its end, and only the
// middle pass is kept, so the seam of the stretched loop is as clean as
// every other point of it. A loop up to kStretchContextMs long is stretched
// from three whole copies end to end; of a longer one, the stretcher sees
// that much of it before its start: longer than half the stretcher's
// longest analysis window (a few thousand frames), which is as far as a
// point of its output looks around it, so the seam comes out as clean (the
// tests compare the seam of three whole copies). After the loop's end it
// reads on round only until the stretched loop is out. Three whole copies
// of a 20 s loop would take three times as long.
//
// Any thread may stretch; one wave belongs to one thread at a time.
#include <cstdint>
#include <functional>

#include "audio/wave/Wave.h"

namespace tamboro::audio {

// Results of StretchWave. The values are stable: callers map them to
// messages.
enum class StretchResult : std::uint8_t {
    Ok = 0,
    NotPcm = 1,           // the loop is not 8- or 16-bit mono or stereo PCM, or holds no frames
    RatioOutOfRange = 2,  // target / source frames lies outside kMinStretchRatio..kMaxStretchRatio
    OutOfMemory = 3,      // the buffers or the stretcher could not be had
    Cancelled = 4,        // the progress callback asked to stop
    Count_                // stays last
};
static_assert(static_cast<int>(StretchResult::RatioOutOfRange) == 2);
static_assert(static_cast<int>(StretchResult::Cancelled) == 4);

constexpr int ToInt(StretchResult r) {
    return static_cast<int>(r);
}

// A loop is stretched to at most twice and at least half its length: beyond
// that it is most likely not a loop made at a nearby tempo.
inline constexpr double kMinStretchRatio = 0.5;
inline constexpr double kMaxStretchRatio = 2.0;
// Ratios this close to 1 (0.2 %) are not worth a stretch: fitting by a few
// frames of silence or a cut is inaudible, a stretch is not.
inline constexpr double kStretchTolerance = 0.002;

// targetFrames / sourceFrames; 0 when sourceFrames is 0.
double StretchRatio(std::uint32_t sourceFrames, std::uint32_t targetFrames);
// Whether a ratio lies in kMinStretchRatio..kMaxStretchRatio (both included).
bool StretchRatioAllowed(double ratio);
// Whether a ratio is further than kStretchTolerance from 1.
bool StretchWorthwhile(double ratio);

// Milliseconds of the loop the stretcher sees before its start (a loop up to
// this long: three whole copies before it is read round on); after its end
// it reads on round until the stretched loop is out.
inline constexpr std::uint32_t kStretchContextMs = 100;

// Percent done, 0..100, called now and then on the stretching thread; the
// answer false cancels the stretch.
using StretchProgress = std::function<bool(int percent)>;

// Makes `out` the loop `in` stretched to exactly `targetFrames` frames at
// its own rate, pitch and formants kept: 16-bit PCM with the rate and
// channel count of `in`, and its INFO texts. The stretcher's result is cut
// or padded with silence by the few frames it misses. `out` is reset first
// and stays empty on every failure. Codes: NotPcm, RatioOutOfRange (nothing
// stretched), OutOfMemory, Cancelled.
StretchResult StretchWave(const Wave& in, std::uint32_t targetFrames, Wave& out,
                          const StretchProgress& progress = {});

// How StretchWaveWithContext goes about a stretch. Both give the same
// samples (the tests hold them to it); the plain way is there to check the
// fast one against.
enum class StretchPath : std::uint8_t {
    // A stereo loop whose channels are equal is stretched once and written
    // to both; the stretcher is left as soon as the kept pass is out.
    Fast = 0,
    // Every channel stretched, and the stretcher run to the end of its input.
    Plain = 1,
};

// How the two channels of a stereo loop are stretched (a loop whose channels
// are equal is stretched once, whichever is chosen). StretchWave keeps them
// together: of the three only that way keeps both the level of every
// source in each channel and the phase between the channels (an
// antiphase pair stays antiphase, the correlation of the channels stays
// what it was); the tests hold each way to what it keeps.
enum class StereoStretch : std::uint8_t {
    // One stretcher for both, its channels phase-locked together.
    Together = 0,
    // Left and right each by a stretcher of its own, at once on two cores:
    // each source keeps its level in each channel, but the phases of the
    // two channels drift apart (an antiphase pair no longer cancels).
    LeftRight = 1,
    // The mid (L+R)/2 and the side (L-R)/2 each by a stretcher of its own,
    // at once on two cores; left = mid + side, right = mid - side. (L+R)/2
    // is the mid stretched alone, to one 16-bit step, but sources panned
    // apart leak into each other's channel.
    MidSide = 2,
};

// How many threads a stereo loop stretched by two stretchers may use. The
// samples are the same either way. On two threads the calling thread alone
// calls the progress (with the slower stretcher's percent); a cancel, or a
// failure of either, stops both at their next block, and the second thread
// has ended before the call returns, whatever the outcome.
enum class StretchThreads : std::uint8_t {
    One = 0,
    // Two when the machine has two cores or more.
    Machine = 1,
};

struct StretchSettings {
    // Frames of the loop before its start (at most the loop's length:
    // three whole copies).
    std::uint32_t contextFrames = 0;
    StretchPath path = StretchPath::Fast;
    StereoStretch stereo = StereoStretch::Together;
    StretchThreads threads = StretchThreads::Machine;
};

// StretchWave with everything chosen, for the tests and benchmarks that
// compare the ways.
StretchResult StretchWaveWith(const Wave& in, std::uint32_t targetFrames,
                              const StretchSettings& settings, Wave& out,
                              const StretchProgress& progress = {});

// StretchWave with `contextFrames` of the loop before its start instead of
// kStretchContextMs (at most the loop's length: three whole copies), for
// the tests and benchmarks that compare the two, and the way to go.
StretchResult StretchWaveWithContext(const Wave& in, std::uint32_t targetFrames,
                                     std::uint32_t contextFrames, Wave& out,
                                     const StretchProgress& progress = {},
                                     StretchPath path = StretchPath::Fast);

}  // namespace tamboro::audio
