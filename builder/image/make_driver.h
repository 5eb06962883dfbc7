// One builder run's make: compiles the definitions, lays out the flash image (object table, initial RAM,
// site directory, file data, configuration block) and writes it to the site file, logging as it goes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "builder/definitions/build_state.h"
#include "builder/definitions/make_files.h"
#include "builder/image/build_log.h"
#include "builder/image/image_emitter.h"
#include "builder/image/site_walk.h"
#include "builder/image/wall_clock.h"

namespace brindlecor::builder {

// Fills the object records and build settings from a definitions file, reporting through the log and
// recording the files it reads.
using DefinitionsStep = std::function<void(const std::string& path, BuildSettings&,
                                           std::vector<ObjectRecord>&, BuildLog&, MakeFiles&)>;

// The definitions compiler as a DefinitionsStep.
void compileWithDefinitionsCompiler(const std::string& path, BuildSettings& settings,
                                    std::vector<ObjectRecord>& objects, BuildLog& log, MakeFiles& files);

// The state of one program run: settings and the working RAM outlive a make, everything else is redone.
class Builder {
  public:
    Builder(BuildView& view, const WallClock& clock,
            DefinitionsStep compile = compileWithDefinitionsCompiler);

    // Makes the image of the definitions file; the outcome is the site file, the log and log().hasErrors().
    void make(const std::string& definitionsPath);

    // The image goes to this file instead of the one $sitefile names (empty: the designed one).
    void setImageOverride(std::string path) { imageOverride_ = std::move(path); }
    // The file the last make wrote its image to, or would have: the override or the site file.
    const std::string& imagePath() const { return imagePath_; }
    // True when the last make wrote its image (and left it in place).
    bool imageWritten() const { return imageWritten_; }
    // What the last make read and wrote; files().writeOutputs = false makes without writing anything.
    MakeFiles& files() { return files_; }
    const MakeFiles& files() const { return files_; }

    BuildSettings& settings() { return settings_; }
    BuildLog& log() { return log_; }
    const BuildLog& log() const { return log_; }
    const std::vector<ObjectRecord>& objects() const { return objects_; }
    const std::vector<DirectoryRecord>& directory() const { return directory_; }
    // The image of the last make that got as far as laying it out (empty before).
    const std::vector<uint8_t>& lastImage() const { return lastImage_; }

  private:
    bool layObjectTable();
    void layInitialValue(const ObjectRecord& object);
    bool walkSite();
    bool layDirectory();
    bool layConfiguration();
    bool writeSiteFile();
    void locateObject(const ObjectRecord& object);

    BuildLog log_;
    const WallClock& clock_;
    DefinitionsStep compile_;
    BuildSettings settings_;
    std::vector<ObjectRecord> objects_;
    std::vector<DirectoryRecord> directory_;
    std::vector<uint8_t> ram_;
    ImageEmitter emitter_;
    std::vector<uint8_t> lastImage_;
    std::string definitionsPath_;
    MakeFiles files_;
    std::string imageOverride_;
    std::string imagePath_;
    bool imageWritten_ = false;
};

}  // namespace brindlecor::builder
