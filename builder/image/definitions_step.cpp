#include "builder/definitions/definitions_compiler.h"
#include "builder/image/make_driver.h"

namespace brindlecor::builder {

void compileWithDefinitionsCompiler(const std::string& path, BuildSettings& settings,
                                    std::vector<ObjectRecord>& objects, BuildLog& log, MakeFiles& files) {
    DefinitionsCompiler(settings, objects, log, &files).compileDefinitions(path);
}

}  // namespace brindlecor::builder
