#include "office/pack/options.h"

#include <algorithm>
#include <string_view>

namespace {

// Where the help stands beside the option names.
constexpr std::size_t HELP_COLUMN = 22;

}  // namespace

std::string Command::usage() const
{
    std::string text = synopsis + "\n" + description;
    for (const Option& option : options) {
        std::string names = "  " + (option.shortName.empty() ? "" : option.shortName + ", ") + option.name +
                            (option.argument.empty() ? "" : " " + option.argument);
        // A name too long for the column takes two spaces before its help.
        names += names.size() < HELP_COLUMN ? std::string(HELP_COLUMN - names.size(), ' ') : "  ";
        std::string_view help = option.help;
        for (std::string indent = names; !help.empty(); indent = std::string(HELP_COLUMN, ' ')) {
            const auto end = std::min(help.find('\n'), help.size());
            text += indent + std::string(help.substr(0, end)) + "\n";
            help.remove_prefix(std::min(end + 1, help.size()));
        }
    }
    return text;
}

CommandLineError Command::error(const std::string& what, bool withUsage) const
{
    return CommandLineError(name + ": error: " + what + (withUsage ? "\n\n" + usage() : ""));
}

std::set<std::string> Command::read(const std::vector<std::string>& args) const
{
    std::set<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto spelled = [&](const Option& option) { return arg == option.name || arg == option.shortName; };
        const auto option = std::find_if(options.begin(), options.end(), spelled);
        try {
            if (arg.empty() || arg[0] != '-' || arg == "-")
                operand(arg);
            else if (option == options.end())
                throw error("unknown option " + arg, true);
            else if (!option->argument.empty() && i + 1 == args.size())
                throw error(arg + " needs a value", true);
            else {
                given.insert(option->name);
                option->take(option->argument.empty() ? std::string() : args[++i]);
            }
        } catch (const ArgumentRefused& refused) {
            throw error(refused.what, refused.withUsage);
        }
    }
    return given;
}

void Command::refuseCombinations(const std::set<std::string>& given) const
{
    for (const Option& option : options)
        if (!option.needs.empty() && given.contains(option.name) && !given.contains(option.needs))
            throw error(option.refusal);
    for (const Option& option : options)
        for (const std::string& other : option.excludes)
            if (given.contains(option.name) && given.contains(other))
                throw error(option.refusal);
}
