#include "builder/shell/make_options.h"

namespace brindlecor::builder {

std::optional<std::string> parseMakeOptions(const std::vector<std::string>& args, MakeOptions& options) {
    bool haveDefinitions = false;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (optionsEnded || name.size() < 2 || name[0] != '-') {
            if (haveDefinitions) return "only one definitions file may be given";
            options.definitions = name;
            haveDefinitions = true;
            continue;
        }
        if (name == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (name == "--watch" || name == "--quiet" || name == "-q") {
            if (hasValue) return name + " takes no value";
            (name == "--watch" ? options.watch : options.quiet) = true;
        } else if (name == "--depfile" || name == "--output" || name == "-o") {
            if (!hasValue) {
                if (i + 1 >= args.size()) return name + " needs a file name";
                value = args[++i];
            }
            if (value.empty()) return name + " needs a file name";
            (name == "--depfile" ? options.depfile : options.output) = value;
        } else {
            return "unknown option '" + name + "'";
        }
    }
    if (!haveDefinitions) return "no definitions file given";
    return std::nullopt;
}

}  // namespace brindlecor::builder
