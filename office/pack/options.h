// The command lines of rosterc and varnholt-pack, each read by its table of
// options: what each option is called and takes, its help, and what it does
// not go with. The usage text and the refusals come from that table.
#pragma once

#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// Each member is empty unless given, so that a table names only what an
// option has.
struct Option {
    std::string name{};       // "--sheet"
    std::string shortName{};  // "-h" beside "--help"; most have none
    std::string argument{};   // the value it takes, as the usage names it; empty: a flag
    std::string help{};       // one or more lines
    std::vector<std::string> excludes{};  // the options it cannot go with
    std::string needs{};                  // the option it goes with only
    std::string refusal{};                // what is said when either is broken
    std::function<void(const std::string& value)> take{};  // hears each use, its value "" for a flag
};

// What an option's `take` or a command's `operand` throws to refuse its
// argument: what follows "PROGRAM: error: ", and whether the usage follows.
struct ArgumentRefused {
    std::string what;
    bool withUsage = false;
};

// A command line refused: the whole message, "PROGRAM: error: ..." and,
// where the mistake is in the command line's form, the usage after it.
class CommandLineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Command {
    std::string name{};         // "varnholt-pack", which begins every message
    std::string synopsis{};     // "usage: ..." and its lines, each ending in a newline
    std::string description{};  // what the options follow, each line ending in a newline
    std::vector<Option> options{};
    std::function<void(const std::string& operand)> operand{};  // hears each argument that is no option

    // The synopsis, a blank line, the description, then a line for each
    // option with its help beside it.
    std::string usage() const;

    // "PROGRAM: error: WHAT", the usage after it when asked.
    CommandLineError error(const std::string& what, bool withUsage = false) const;

    // Reads the arguments in order, handing each option's value and each
    // operand on as it comes, so that a value is refused where it stands;
    // an unknown option or a missing value is refused with the usage.
    // Returns the names of the options given.
    std::set<std::string> read(const std::vector<std::string>& args) const;

    // Refuses options given together that do not go together: first an
    // option without the one it needs, then two that exclude each other,
    // in the table's order.
    void refuseCombinations(const std::set<std::string>& given) const;
};
