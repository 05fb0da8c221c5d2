#include "core/commandline.h"

#include <algorithm>

namespace kivo {

const CommandLine::Option* CommandLine::find(std::string_view name) const {
    auto it = std::find_if(options.rbegin(), options.rend(),
                           [&](const Option& o) { return o.name == name; });
    return it == options.rend() ? nullptr : &*it;
}

CommandLine parseCommandLine(const std::vector<std::string>& args,
                             const std::vector<OptionRule>& rules) {
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!line.channel) line.channel = arg;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view body = std::string_view(arg).substr(2);
        std::optional<std::string> value;
        if (auto eq = body.find('='); eq != std::string_view::npos) {
            value = std::string(body.substr(eq + 1));
            body = body.substr(0, eq);
        }
        auto rule = std::find_if(rules.begin(), rules.end(),
                                 [&](const OptionRule& s) { return s.name == body; });
        if (rule == rules.end()) {
            line.error = "unknown option --" + std::string(body);
            return line;
        }
        if (value && rule->value == OptionRule::Value::None) {
            line.error = "option --" + std::string(body) + " takes no value";
            return line;
        }
        if (!value && rule->value == OptionRule::Value::Required) {
            line.error = "option --" + std::string(body) + " needs a value (--" +
                         std::string(body) + "=...)";
            return line;
        }
        CommandLine::Option option{std::string(body), value, {}};
        for (int k = 0; k < rule->operands; ++k) {
            if (i + 1 >= args.size()) {
                line.error = "option --" + std::string(body) + " needs " +
                             std::to_string(rule->operands) +
                             (rule->operands == 1 ? " argument" : " arguments");
                return line;
            }
            option.operands.push_back(args[++i]);
        }
        line.options.push_back(std::move(option));
    }
    return line;
}

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    auto blank = [](char c) { return c >= 0x01 && c <= 0x20; };
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && blank(line[i])) ++i;
        if (i >= line.size() || line[i] == '\0') break;
        std::string arg;
        bool quoted = false;
        for (; i < line.size() && line[i] != '\0' && (quoted || !blank(line[i])); ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            else
                arg += line[i];
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string describeOptions(const std::vector<OptionRule>& rules) {
    constexpr std::size_t column = 24;
    std::string out;
    for (const OptionRule& rule : rules) {
        std::string head = "  " + std::string(rule.synopsis);
        std::string_view help = rule.help;
        bool first = true;
        if (head.size() + 2 > column) {
            out += head + "\n";
            first = false;
        }
        do {
            std::size_t nl = help.find('\n');
            std::string_view piece = help.substr(0, nl);
            if (first) {
                out += head + std::string(column - head.size(), ' ');
                first = false;
            } else {
                out += std::string(column, ' ');
            }
            out += std::string(piece) + "\n";
            help = nl == std::string_view::npos ? std::string_view() : help.substr(nl + 1);
        } while (!help.empty());
    }
    return out;
}

}  // namespace kivo
