#include "cli/Options.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <utility>

#include "cli/Commands.h"

namespace tamboro::cli {

std::optional<long> ParseInteger(const std::string& text, long lo, long hi) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end || value < lo || value > hi) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseDecimal(const std::string& text, double lo, double hi) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end || !std::isfinite(value) || value < lo ||
        value > hi) {
        return std::nullopt;
    }
    return value;
}

Options::Options(const char* usage) : m_usage(usage) {}

Options& Options::Add(const char* name, bool takesValue, std::string wants,
                      std::function<bool(const std::string&)> take) {
    m_options.push_back({name, takesValue, std::move(wants), std::move(take)});
    return *this;
}

Options& Options::Flag(const char* name, bool& out) {
    return Add(name, false, {}, [&out](const std::string&) {
        out = true;
        return true;
    });
}

Options& Options::Integer(const char* name, long lo, long hi, std::optional<long>& out) {
    return Add(name, true, "a whole number in " + std::to_string(lo) + ".." + std::to_string(hi),
               [&out, lo, hi](const std::string& value) {
                   out = ParseInteger(value, lo, hi);
                   return out.has_value();
               });
}

Options& Options::Decimal(const char* name, double lo, double hi, std::optional<double>& out) {
    char range[64];
    std::snprintf(range, sizeof range, "a number in %g..%g", lo, hi);
    return Add(name, true, range, [&out, lo, hi](const std::string& value) {
        out = ParseDecimal(value, lo, hi);
        return out.has_value();
    });
}

Options& Options::OneOf(const char* name, std::initializer_list<long> values,
                        std::optional<long>& out) {
    std::string wants;
    for (const long v : values)
        wants += (wants.empty() ? "" : " or ") + std::to_string(v);
    std::vector<long> allowed(values);
    return Add(name, true, wants, [&out, allowed](const std::string& value) {
        out = ParseInteger(value, LONG_MIN, LONG_MAX);
        if (out && std::find(allowed.begin(), allowed.end(), *out) == allowed.end()) out.reset();
        return out.has_value();
    });
}

Options& Options::Text(const char* name, std::optional<std::string>& out) {
    return Add(name, true, "a text", [&out](const std::string& value) {
        out = value;
        return true;
    });
}

Options& Options::Custom(const char* name, const char* wants,
                         std::function<bool(const std::string& value)> take) {
    return Add(name, true, wants, std::move(take));
}

const Options::Option* Options::Find(const std::string& name) const {
    for (const Option& option : m_options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

std::optional<int> Options::Parse(const std::vector<std::string>& args, std::size_t minArgs,
                                  std::size_t maxArgs) {
    m_positionals.clear();
    // --help wins over every fault, wherever it stands before "--".
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--help" || a == "-h") {
            std::printf("usage: %s\n", m_usage);
            return kExitOk;
        }
    }
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
            m_positionals.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a.size() < 3 || a[1] != '-') return Error("unknown option " + a);
        const std::size_t equals = a.find('=');
        const std::string name = a.substr(2, equals == std::string::npos ? equals : equals - 2);
        const Option* option = Find(name);
        if (option == nullptr) return Error("unknown option --" + name);
        if (!option->takesValue) {
            if (equals != std::string::npos) return Error("--" + name + " takes no value");
            option->take({});
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = a.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Error("--" + name + " wants " + option->wants);
        }
        if (!option->take(value)) {
            return Error("--" + name + " wants " + option->wants + ", not '" + value + "'");
        }
    }
    if (m_positionals.size() < minArgs) return Error("missing arguments");
    if (m_positionals.size() > maxArgs) {
        return Error("too many arguments ('" + m_positionals[maxArgs] + "')");
    }
    return std::nullopt;
}

int Options::Error(const std::string& text) const {
    return UsageError(text, m_usage);
}

}  // namespace tamboro::cli
