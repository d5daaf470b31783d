#pragma once
// A performance script: what a person at the console does, one action a
// line, "TIME_MS ACTION [ARGS]", TIME_MS on the wall clock since the
// performance began (not decreasing from line to line). `#` starts a
// comment; blank lines are skipped.
//
//   on CH | off CH             switch at once
//   on-next CH | off-next CH   switch at the channel's next loop boundary
//   cancel CH                  cancel a pending in-time switch
//   volume CH V | pan CH P | master V
//   record | play [FROM_MS] | stop | end
//   hold-volume CH V | hold-pan CH P | hold-master V   take a control over
//   release CH | release master                        ... and let it go
//
// CH is 0 to 19; V -10000..0 and P -10000..10000 (the units of mix files).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamboro::engine {

struct PerformAction {
    enum Kind : std::uint8_t {
        kOn,
        kOff,
        kOnNext,
        kOffNext,
        kCancel,
        kVolume,
        kPan,
        kMaster,
        kRecord,
        kPlay,
        kHoldVolume,
        kHoldPan,
        kHoldMaster,
        kRelease,  // channel's volume and pan
        kReleaseMaster,
        kStop,
        kEnd,
    };
    std::uint32_t timeMs = 0;
    Kind kind = kOn;
    int channel = 0;
    int value = 0;  // level, pan, or play's FROM_MS
    std::size_t line = 0;
    friend bool operator==(const PerformAction&, const PerformAction&) = default;
};

// The actions in script order; on failure nothing, with `error` set to a
// message naming the line ("line N: ...").
std::optional<std::vector<PerformAction>> ParsePerformScript(std::string_view text,
                                                             std::string* error);
// One action as a script line (without the newline); parses back the same.
std::string FormatPerformAction(const PerformAction& action);

}  // namespace tamboro::engine
