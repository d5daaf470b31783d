#pragma once
// The one option parser of tamboro-cli. A command declares its options with
// typed targets, then parses its arguments:
//
//     std::optional<long> rate;
//     bool effect = false;
//     Options options("tamboro-cli prepare IN OUT --tempo BPM [--rate HZ] [--effect]");
//     options.Integer("rate", 1000, 192000, rate).Flag("effect", effect);
//     if (const auto exit = options.Parse(args, 2, 2)) return *exit;
//     const std::string& in = options.Positional(0);
//
// Options are written `--name value` or `--name=value`; a value may start
// with '-' (`--master -1000`). `-` alone is an argument (standard input or
// output), and `--` ends the options. `--help` (or `-h`) anywhere prints the
// command's usage to stdout. An unknown option, a missing or malformed
// value, a number out of its range, a value given to a flag or a wrong
// count of arguments prints the fault and the usage to stderr.
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace tamboro::cli {

class Options {
  public:
    // `usage` is the command's usage line(s), shown by --help and errors;
    // it must outlive the object.
    explicit Options(const char* usage);

    // A switch without a value; `out` becomes true when given.
    Options& Flag(const char* name, bool& out);
    // A whole number in lo..hi.
    Options& Integer(const char* name, long lo, long hi, std::optional<long>& out);
    // A decimal number in lo..hi (finite).
    Options& Decimal(const char* name, double lo, double hi, std::optional<double>& out);
    // One of a few whole numbers (`--bits 8|16`).
    Options& OneOf(const char* name, std::initializer_list<long> values, std::optional<long>& out);
    // Any text.
    Options& Text(const char* name, std::optional<std::string>& out);
    // A value checked by `take`, which stores it and returns false when it
    // is malformed; `wants` completes the error "--NAME wants ...". May be
    // given many times: `take` sees every value in order.
    Options& Custom(const char* name, const char* wants,
                    std::function<bool(const std::string& value)> take);

    // Parses `args` (the words after the command's name). Returns nothing
    // when the command should go on, else the exit status to return at once:
    // kExitOk after --help, kExitUsage after a fault (already printed).
    // Between `minArgs` and `maxArgs` arguments that are not options must be
    // given.
    std::optional<int> Parse(const std::vector<std::string>& args, std::size_t minArgs,
                             std::size_t maxArgs);

    // The arguments that are not options, in order.
    const std::vector<std::string>& Positionals() const { return m_positionals; }
    const std::string& Positional(std::size_t i) const { return m_positionals.at(i); }

    // Prints "tamboro-cli: <text>" and the usage to stderr; returns
    // kExitUsage. For faults found after Parse (a required option missing).
    int Error(const std::string& text) const;
    const char* Usage() const { return m_usage; }

  private:
    struct Option {
        std::string name;
        bool takesValue;
        std::string wants;
        // Stores the value; false when it is malformed.
        std::function<bool(const std::string&)> take;
    };
    Options& Add(const char* name, bool takesValue, std::string wants,
                 std::function<bool(const std::string&)> take);
    const Option* Find(const std::string& name) const;

    const char* m_usage;
    std::vector<Option> m_options;
    std::vector<std::string> m_positionals;
};

// A whole number in lo..hi, the whole text (no sign for lo >= 0 is
// required; "+5" and " 5" are refused).
std::optional<long> ParseInteger(const std::string& text, long lo, long hi);
// A finite decimal number in lo..hi, the whole text.
std::optional<double> ParseDecimal(const std::string& text, double lo, double hi);

}  // namespace tamboro::cli
