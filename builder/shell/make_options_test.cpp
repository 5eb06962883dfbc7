#include "builder/shell/make_options.h"

#include <gtest/gtest.h>

namespace brindlecor::builder {
namespace {

TEST(MakeOptions, FormsAndErrors) {
    const struct {
        std::vector<std::string> args;
        std::string error;  // "" when the arguments are fine
        std::string definitions = {}, depfile = {}, output = {};
        bool watch = false, quiet = false;
    } cases[] = {
        {{"a.kvd"}, "", "a.kvd", "", "", false, false},
        {{"--watch", "a.kvd", "-q"}, "", "a.kvd", "", "", true, true},
        {{"a.kvd", "--depfile", "a.d", "-o", "x.kvb"}, "", "a.kvd", "a.d", "x.kvb", false, false},
        {{"--depfile=a.d", "--output=x.kvb", "--quiet", "a.kvd"}, "", "a.kvd", "a.d", "x.kvb", false, true},
        {{"--", "-odd.kvd"}, "", "-odd.kvd", "", "", false, false},
        {{}, "no definitions file given"},
        {{"a.kvd", "b.kvd"}, "only one definitions file may be given"},
        {{"a.kvd", "--depfile"}, "--depfile needs a file name"},
        {{"a.kvd", "--output="}, "--output needs a file name"},
        {{"a.kvd", "--watch=yes"}, "--watch takes no value"},
        {{"a.kvd", "--wach"}, "unknown option '--wach'"},
    };
    for (const auto& c : cases) {
        MakeOptions options;
        const auto error = parseMakeOptions(c.args, options);
        const std::string where = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(error.value_or(""), c.error) << where;
        if (!c.error.empty()) continue;
        EXPECT_EQ(options.definitions, c.definitions) << where;
        EXPECT_EQ(options.depfile, c.depfile) << where;
        EXPECT_EQ(options.output, c.output) << where;
        EXPECT_EQ(options.watch, c.watch) << where;
        EXPECT_EQ(options.quiet, c.quiet) << where;
    }
}

}  // namespace
}  // namespace brindlecor::builder
