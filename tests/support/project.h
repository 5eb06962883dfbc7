// A project of the test's own for `tamarquill make`: a folder whose defs.kvd names site/ and out.kvb.
#pragma once

#include <string>

#include "tests/support/program.h"

namespace brindlecor::testing {

struct Project {
    TempDir dir;
    // defs.kvd is the two path lines followed by the declarations; site/ starts empty.
    explicit Project(const std::string& declarations);
    // Runs `tamarquill make defs.kvd`.
    RunResult make() const;
    bool hasImage() const;
};

}  // namespace brindlecor::testing
