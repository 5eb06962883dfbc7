#include "builder/definitions/definitions_compiler.h"
#include "builder/image/make_driver.h"

namespace brindlecor::builder {

void compileWithDefinitionsCompiler(const std::string& path, BuildSettings& settings,
                                    std::vector<ObjectRecord>& objects, BuildLog& log) {
    DefinitionsCompiler(settings, objects, log).compileDefinitions(path);
}

}  // namespace brindlecor::builder
