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

// StretchWave with `contextFrames` of the loop before its start instead of
// kStretchContextMs (at most the loop's length: three whole copies), for
// the tests and benchmarks that compare the two, and the way to go.
StretchResult StretchWaveWithContext(const Wave& in, std::uint32_t targetFrames,
                                     std::uint32_t contextFrames, Wave& out,
                                     const StretchProgress& progress = {},
                                     StretchPath path = StretchPath::Fast);

}  // namespace tamboro::audio
