#include "app/core/CommandLine.h"

#include <charconv>
#include <filesystem>

namespace tamboro::app {
namespace {

bool ParseInt(const std::string& text, int lo, int hi, int* out) {
    int value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || value < lo || value > hi)
        return false;
    *out = value;
    return true;
}

// Pad letters A..T (either case), each once, as channels 0..19.
bool ParseChannels(const std::string& text, std::vector<int>* out) {
    out->clear();
    if (text.empty()) return false;
    for (const char c : text) {
        const int ch = (c >= 'a' && c <= 't') ? c - 'a' : (c >= 'A' && c <= 'T') ? c - 'A' : -1;
        if (ch < 0) return false;
        for (const int seen : *out)
            if (seen == ch) return false;
        out->push_back(ch);
    }
    return true;
}

}  // namespace

std::string AbsolutePath(const std::string& path, const std::string& cwd) {
    if (path.empty()) return path;
    std::filesystem::path p(path);
    if (p.is_relative()) p = std::filesystem::path(cwd) / p;
    return p.lexically_normal().string();
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& cwd) {
    CommandLine cl;
    const auto fail = [&](std::string why) {
        cl.ok = false;
        cl.error = std::move(why);
        return cl;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--screenshot") {
            if (!hasValue) return fail("--screenshot needs a file name");
            cl.screenshot = AbsolutePath(args[++i], cwd);
        } else if (a == "--theme") {
            if (!hasValue || !ParseInt(args[++i], 0, 3, &cl.theme))
                return fail("--theme needs a number from 0 to 3");
        } else if (a == "--scale") {
            if (!hasValue || !ParseInt(args[++i], 1, 4, &cl.scale))
                return fail("--scale needs a number from 1 to 4");
        } else if (a == "--on") {
            if (!hasValue || !ParseChannels(args[++i], &cl.on))
                return fail("--on needs pad letters from A to T, each once");
        } else if (a == "--in-time") {
            if (!hasValue || !ParseChannels(args[++i], &cl.inTime))
                return fail("--in-time needs pad letters from A to T, each once");
        } else if (a == "--pro") {
            cl.pro = true;
        } else if (a == "--no-splash") {
            cl.splash = false;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return fail("unknown option " + a);
        } else if (cl.song.empty()) {
            cl.song = AbsolutePath(a, cwd);
        } else {
            return fail("only one song can be opened");
        }
    }
    if ((!cl.on.empty() || !cl.inTime.empty()) && cl.screenshot.empty())
        return fail("--on and --in-time go with --screenshot");
    if (!cl.screenshot.empty()) cl.splash = false;
    return cl;
}

}  // namespace tamboro::app
