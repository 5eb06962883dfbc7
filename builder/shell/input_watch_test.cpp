#include "builder/shell/input_watch.h"

#include <gtest/gtest.h>

namespace brindlecor::builder {
namespace {

TEST(WatchPlan, WhichChangesCallForAMake) {
    MakeFiles files;
    files.readFile("/p/defs.kvd", true);
    files.readFile("/p/inc/later.kvd", false);
    files.listedFolder("/p/site/", true);
    files.readFile("/p/site/a.htm", true);
    files.listedFolder("/p/gone", false);
    files.wroteFile("/p/site/objects.h");
    files.wroteFile("/p/out.kvb");
    const WatchPlan plan = planWatch(files, {"/p/out.d"});

    const struct {
        const char* folder;
        const char* name;
        bool matters;
    } cases[] = {
        {"/p", "defs.kvd", true},
        {"/p", "notes.txt", false},
        {"/p/inc", "later.kvd", true},
        {"/p/inc", "other.kvd", false},
        {"/p/site", "a.htm", true},
        {"/p/site", "new.htm", true},
        {"/p/site", "passwordrequired", true},
        {"/p/site", "", true},
        {"/p", "site", true},
        {"/p", "gone", true},
        {"/p/site", "old.KVB", false},
        {"/p/site", "objects.h", false},
        {"/p", "out.kvb", false},
        {"/p", "out.kvb.0badf00d.part", false},
        {"/p", "out.d.12345678.part", false},
        {"/q", "a.htm", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plan.matters(c.folder, c.name), c.matters) << c.folder << " " << c.name;
    EXPECT_EQ(plan.folders.size(), 3u);  // /p, /p/inc, /p/site; a folder not found is watched through /p
}

}  // namespace
}  // namespace brindlecor::builder
