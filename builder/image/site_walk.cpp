#include "builder/image/site_walk.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "builder/image/site_paths.h"
#include "common/image_layout.h"
#include "common/name_hash.h"
#include "builder/definitions/source_paths.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDataTooBig = "Site files hold more than 65536 bytes of data";

bool isMarker(const std::string& name) {
    return lowerCase(name) == kPasswordMarkerFile;
}

}  // namespace

SiteWalker::SiteWalker(const BuildSettings& settings, const std::vector<ObjectRecord>& objects,
                       ImageEmitter& out, BuildLog& log, std::vector<DirectoryRecord>& records,
                       size_t maxRecords, MakeFiles* files)
    : settings_(settings),
      out_(out),
      log_(log),
      records_(records),
      maxRecords_(maxRecords),
      files_(files),
      pages_(objects, out, log) {
    objectHashes_.reserve(objects.size());
    for (const ObjectRecord& object : objects) objectHashes_.insert(object.hash);
    for (const DirectoryRecord& record : records_) recordHashes_.insert(record.hash);
}

void SiteWalker::processSiteDirectory(const std::string& path) {
    std::error_code ec;
    walkPath_.assign(1, fs::canonical(path, ec));
    walk(path, "");
}

void SiteWalker::walk(const std::string& path, const std::string& relative) {
    std::error_code ec;
    fs::directory_iterator listing(path, ec);
    if (files_) files_->listedFolder(path, !ec);
    if (ec) {
        log_.reportError("Invalid Path", "Path " + path + " Not Found");
        return;
    }
    struct Entry {
        std::string name;
        bool directory;
    };
    std::vector<Entry> entries;
    uint8_t directoryFlags = 0;
    for (; listing != fs::directory_iterator(); listing.increment(ec)) {
        std::string name = listing->path().filename().string();
        std::error_code typeError;
        const bool directory = listing->is_directory(typeError);
        if (isMarker(name)) {
            if (listing->is_regular_file(typeError)) directoryFlags = image::kFilePasswordRequired;
            continue;
        }
        entries.push_back({std::move(name), directory});
    }
    if (ec) {
        log_.reportError("Invalid Path", "Path " + path + " Not Found");
        return;
    }
    // The same site gives the same image on every machine.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

    const std::string base = stripTrailingBackslash(path);
    for (const Entry& entry : entries) {
        const std::string extension = lowerCase(fileExtension(entry.name));
        if (extension == "kvd" || extension == "kvb") continue;
        const std::string child = base + "/" + entry.name;
        const std::string childRelative = relative.empty() ? entry.name : relative + "/" + entry.name;
        if (entry.directory) {
            const fs::path real = fs::canonical(child, ec);
            if (!ec && std::find(walkPath_.begin(), walkPath_.end(), real) != walkPath_.end()) continue;
            walkPath_.push_back(real);
            walk(child, childRelative);
            walkPath_.pop_back();
            if (aborted_) return;
            continue;
        }
        if (storeFile(base, relative, entry.name, directoryFlags) == Step::EndDirectory) return;
        if (aborted_) return;
    }
}

bool SiteWalker::clashes(int32_t hash) const {
    if (!records_.empty() && hash == 0) return true;
    return recordHashes_.count(hash) != 0 || objectHashes_.count(hash) != 0;
}

void SiteWalker::stopTooBig(const std::string& text) {
    log_.reportError("Make Function", text);
    overflowed_ = true;
    aborted_ = true;
}

SiteWalker::Step SiteWalker::storeFile(const std::string& directory, const std::string& relative,
                                       const std::string& name, uint8_t directoryFlags) {
    const std::string sitePath = lowerCase(relative.empty() ? name : relative + "/" + name);
    const int32_t hash = calcHASH(sitePath);
    if (clashes(hash)) {
        log_.view().showErrorBox("Error: Hashed directory entry already exists for \\" + name +
                                 "\r\n\r\nPlease rename file");
        log_.markError();
        aborted_ = true;
        return Step::Next;
    }
    uint8_t flags = directoryFlags;
    const std::string extension = lowerCase(fileExtension(name));
    const auto& types = settings_.pageTypes;
    if (std::find(types.begin(), types.end(), extension) != types.end()) flags |= image::kFilePage;
    if (extension == "kvi") flags |= image::kFileFormHandler;

    if (records_.size() >= maxRecords_) {
        stopTooBig("Too many site files: the directory would run past the end of flash memory");
        return Step::Next;
    }
    const std::string path = directory + "/" + name;
    const bool compiled = (flags & (image::kFilePage | image::kFileFormHandler)) != 0;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (!compiled && !ec && size > kFileDataCapacity - out_.dataPosition()) {
        // Stored as it stands, it cannot fit: no need to read all of a stray large file first.
        if (files_) files_->readFile(path, true);
        stopTooBig(kDataTooBig);
        return Step::Next;
    }
    // A page's references are compiled to shorter codes, so only a page too big to be meant is refused by
    // its size; a file stored as it stands was checked against the room left above.
    const uintmax_t limit = compiled ? kMaxSourceFileBytes : kFileDataCapacity;
    FileRead read = readSourceFile(path, limit);
    if (files_) files_->readFile(path, read.content.has_value());
    if (read.tooBig) {
        if (!compiled) {
            stopTooBig(kDataTooBig);
        } else {
            log_.reportError("Site File", tooBigText(path, read.size, limit));
        }
        return Step::Next;
    }
    if (!read.content) {
        log_.reportError("Site File", "Cannot read " + path);
        return Step::Next;
    }
    const std::string bytes = std::move(*read.content);

    records_.push_back({hash, flags, runningOffset_, 0, sitePath});
    recordHashes_.insert(hash);
    const size_t start = out_.dataPosition();
    PageOutcome outcome = PageOutcome::Finished;
    if (compiled && bytes.find('^') != std::string::npos) {
        outcome = pages_.compilePage(bytes, path);
    } else {
        for (char c : bytes) out_.emitByte(static_cast<uint8_t>(c));
    }
    // Even a page cut short by Cancel keeps what it emitted, so later entries point at their own bytes.
    const auto length = static_cast<uint32_t>(out_.dataPosition() - start);
    records_.back().length = length;
    runningOffset_ += length;
    if (out_.overflowed()) {
        stopTooBig(kDataTooBig);
        return Step::Next;
    }
    return outcome == PageOutcome::Cancelled ? Step::EndDirectory : Step::Next;
}

}  // namespace brindlecor::builder
