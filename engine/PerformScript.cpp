#include "engine/PerformScript.h"

#include "engine/SongTypes.h"
#include "engine/TextWords.h"

namespace tamboro::engine {
namespace {

struct Verb {
    std::string_view name;
    PerformAction::Kind kind;
    bool channel;  // takes CH
    int values;    // 0, 1 (V or P), or -1 (an optional FROM_MS)
};
constexpr Verb kVerbs[] = {
    {"on", PerformAction::kOn, true, 0},
    {"off", PerformAction::kOff, true, 0},
    {"on-next", PerformAction::kOnNext, true, 0},
    {"off-next", PerformAction::kOffNext, true, 0},
    {"cancel", PerformAction::kCancel, true, 0},
    {"volume", PerformAction::kVolume, true, 1},
    {"pan", PerformAction::kPan, true, 1},
    {"master", PerformAction::kMaster, false, 1},
    {"record", PerformAction::kRecord, false, 0},
    {"play", PerformAction::kPlay, false, -1},
    {"hold-volume", PerformAction::kHoldVolume, true, 1},
    {"hold-pan", PerformAction::kHoldPan, true, 1},
    {"hold-master", PerformAction::kHoldMaster, false, 1},
    {"release", PerformAction::kRelease, true, 0},
    {"stop", PerformAction::kStop, false, 0},
    {"end", PerformAction::kEnd, false, 0},
};

// The range of the value an action takes.
bool InRange(PerformAction::Kind kind, long v) {
    switch (kind) {
        case PerformAction::kPan:
        case PerformAction::kHoldPan:
            return v >= -10000 && v <= 10000;
        case PerformAction::kPlay:
            return v >= 0 && v <= 0x7FFFFFFF;
        default:
            return v >= -10000 && v <= 0;
    }
}

}  // namespace

std::optional<std::vector<PerformAction>> ParsePerformScript(std::string_view text,
                                                             std::string* error) {
    std::vector<PerformAction> actions;
    std::size_t lineNumber = 0;
    std::uint32_t last = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto words = SplitWords(line);
        if (words.empty()) continue;
        const auto fail = [&](const std::string& why) {
            if (error != nullptr) *error = "line " + std::to_string(lineNumber) + ": " + why;
            return std::nullopt;
        };
        PerformAction a;
        a.line = lineNumber;
        if (!ParseWholeNumber(words[0], a.timeMs)) return fail("bad time (milliseconds expected)");
        if (a.timeMs < last) return fail("time goes back");
        last = a.timeMs;
        if (words.size() < 2) return fail("no action");
        const Verb* verb = nullptr;
        for (const Verb& v : kVerbs) {
            if (words[1] == v.name) verb = &v;
        }
        if (verb == nullptr) return fail("unknown action " + std::string(words[1]));
        a.kind = verb->kind;
        std::size_t at = 2;
        if (verb->channel) {
            if (a.kind == PerformAction::kRelease && words.size() == 3 && words[2] == "master") {
                a.kind = PerformAction::kReleaseMaster;
                actions.push_back(a);
                continue;
            }
            if (at >= words.size() || !ParseWholeNumber(words[at], a.channel) || a.channel < 0 ||
                a.channel >= kChannelCount) {
                return fail("channel must be 0 to 19");
            }
            ++at;
        }
        if (verb->values != 0 && at < words.size()) {
            long v = 0;
            if (!ParseWholeNumber(words[at], v) || !InRange(a.kind, v))
                return fail("value out of range");
            a.value = static_cast<int>(v);
            ++at;
        } else if (verb->values == 1) {
            return fail("value missing");
        }
        if (at != words.size()) return fail("too many words");
        actions.push_back(a);
    }
    return actions;
}

std::string FormatPerformAction(const PerformAction& a) {
    std::string text = std::to_string(a.timeMs) + " ";
    if (a.kind == PerformAction::kReleaseMaster) return text + "release master";
    for (const Verb& v : kVerbs) {
        if (v.kind != a.kind) continue;
        text += v.name;
        if (v.channel) text += " " + std::to_string(a.channel);
        if (v.values != 0) text += " " + std::to_string(a.value);
        break;
    }
    return text;
}

}  // namespace tamboro::engine
