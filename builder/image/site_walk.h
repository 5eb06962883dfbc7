// The site walk of a make: every file below the site root gets a directory record (site-path hash, file
// flags, offset, stored length) and its stored bytes in the file data buffer; pages are compiled on the way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "builder/definitions/build_state.h"
#include "builder/definitions/make_files.h"
#include "builder/image/build_log.h"
#include "builder/image/image_emitter.h"
#include "builder/image/page_compiler.h"

namespace brindlecor::builder {

struct DirectoryRecord {
    int32_t hash = 0;
    uint8_t flags = 0;
    uint32_t offset = 0;   // first stored byte, counted from the start of the file data buffer
    uint32_t length = 0;   // stored bytes
    std::string sitePath;  // the name it is hashed under, e.g. "img/logo.gif"
};

constexpr const char* kPasswordMarkerFile = "passwordrequired";

class SiteWalker {
  public:
    // maxRecords is the room left for directory entries; the emitter must have the data buffer selected.
    // files, when given, records every folder listed and every file read.
    SiteWalker(const BuildSettings& settings, const std::vector<ObjectRecord>& objects, ImageEmitter& out,
               BuildLog& log, std::vector<DirectoryRecord>& records, size_t maxRecords,
               MakeFiles* files = nullptr);

    // Walks the site root (or any directory below it) depth first, entries in byte-wise name order.
    void processSiteDirectory(const std::string& path);

    // A name clash or a full table ended the walk.
    bool aborted() const { return aborted_; }
    // The directory or the file data would not fit: the make must not write an image.
    bool overflowed() const { return overflowed_; }
    uint32_t runningOffset() const { return runningOffset_; }

  private:
    enum class Step { Next, EndDirectory };

    void walk(const std::string& path, const std::string& relative);
    Step storeFile(const std::string& path, const std::string& relative, const std::string& name,
                   uint8_t directoryFlags);
    bool clashes(int32_t hash) const;
    void stopTooBig(const std::string& text);

    const BuildSettings& settings_;
    ImageEmitter& out_;
    BuildLog& log_;
    std::vector<DirectoryRecord>& records_;
    size_t maxRecords_;
    MakeFiles* files_;
    PageCompiler pages_;
    std::unordered_set<int32_t> objectHashes_;
    std::unordered_set<int32_t> recordHashes_;
    std::vector<std::filesystem::path> walkPath_;  // directories being walked, to step around link loops
    uint32_t runningOffset_ = 0;
    bool aborted_ = false;
    bool overflowed_ = false;
};

}  // namespace brindlecor::builder
