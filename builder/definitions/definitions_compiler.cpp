#include "builder/definitions/definitions_compiler.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "builder/definitions/credentials.h"
#include "builder/definitions/object_export.h"
#include "builder/definitions/scanner.h"
#include "builder/definitions/source_paths.h"
#include "common/name_hash.h"
#include "common/password.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace {

constexpr size_t kMaxNameLength = 256;  // the hash's length byte holds no more

// Lines and columns for error locations, counted forward only: the compiler asks for ever later positions.
class LineCounter {
  public:
    explicit LineCounter(const std::string& text) : text_(text) {}

    struct Place {
        int line;
        int column;  // 1-based, in bytes
    };

    // The line and column of the 1-based position; CR LF, lone LF and lone CR each end a line.
    Place placeOf(int32_t position) {
        const size_t index = position > 0 ? static_cast<size_t>(position - 1) : 0;
        for (; counted_ < index && counted_ < text_.size(); ++counted_) {
            const char c = text_[counted_];
            if (c == '\r' || (c == '\n' && (counted_ == 0 || text_[counted_ - 1] != '\r'))) {
                ++line_;
                lineStart_ = counted_ + 1;
            } else if (c == '\n') {
                lineStart_ = counted_ + 1;  // the LF of a CR LF: the line began at the CR already
            }
        }
        return {line_, static_cast<int>(index - std::min(lineStart_, index)) + 1};
    }

  private:
    const std::string& text_;
    size_t counted_ = 0;
    size_t lineStart_ = 0;
    int line_ = 1;
};

std::string fixedPassword(const std::string& text, size_t width) {
    std::string field = fixedField(text, width);
    return isAllSpaces(field) ? noPasswordField(width) : field;
}

}  // namespace

struct DefinitionsCompiler::SourceFile {
    SourceFile(std::string shownPath, std::string content, int32_t readIndex)
        : path(std::move(shownPath)), text(std::move(content)), index(readIndex), lines(text) {}

    std::string nextAtom() {
        bool quoted = false;
        return getatom(text, position, quoted);
    }

    const std::string path;  // as shown in the log and in messages
    const std::string text;
    const int32_t index;  // in the make's reads, -1 when they are not recorded
    int32_t position = 1;
    LineCounter::Place statement{0, 0};  // where the statement being compiled begins
    int32_t counter = 0;                 // every file, included or not, starts its own location counter at 0
    LineCounter lines;
};

DefinitionsCompiler::DefinitionsCompiler(BuildSettings& settings, std::vector<ObjectRecord>& objects,
                                         BuildLog& log, MakeFiles* files)
    : settings_(settings), objects_(objects), log_(log), files_(files) {}

void DefinitionsCompiler::compileDefinitions(const std::string& path) {
    // The caller may have emptied or refilled the table since the last make.
    if (includeDepth_ == 0) {
        rebuildIndex();
        log_.clearLocation();  // a missing top file belongs to no statement
        chain_.clear();
        compilations_ = 0;
        stopped_ = false;
    }
    compileFile(path);
}

std::string DefinitionsCompiler::chainKey(const std::string& path) {
    // The same file by another spelling ("./a.kvd", "sub/../a.kvd", a link) is still the same file.
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

void DefinitionsCompiler::rebuildIndex() {
    firstWithHash_.clear();
    for (size_t i = 0; i < objects_.size(); ++i) firstWithHash_.emplace(objects_[i].hash, i);
}

void DefinitionsCompiler::compileFile(const std::string& path) {
    if (stopped_) return;
    if (++compilations_ > kMaxCompilations) {
        log_.reportError("$Include", "Too many $include files (at most " + std::to_string(kMaxCompilations) + ")");
        stopped_ = true;
        return;
    }
    log_.logLine("Making Objects from File: " + path);
    FileRead read = readSourceFile(path);
    const int32_t index =
        files_ ? static_cast<int32_t>(files_->readFile(path, read.content.has_value())) : -1;
    if (read.tooBig) {
        log_.reportError("", "File " + tooBigText(path, read.size));
        return;
    }
    if (!read.content) {
        log_.reportError("", "File not Found " + path);
        return;
    }
    SourceFile file(path, std::move(*read.content), index);
    chain_.push_back(chainKey(path));
    while (!stopped_) {
        bool quoted = false;
        int32_t start = 0;
        const std::string atom = getatom(file.text, file.position, quoted, start);
        if (atom.empty()) break;
        file.statement = file.lines.placeOf(start);
        log_.setLocation(file.path, file.statement.line, file.statement.column);
        if (compileStatement(file, atom) == Flow::Stop) break;
    }
    chain_.pop_back();
    log_.clearLocation();
}

DefinitionsCompiler::Flow DefinitionsCompiler::compileStatement(SourceFile& file, const std::string& atom) {
    bool handled = false;
    const Flow flow = compileDirective(file, lowerCase(atom), handled);
    if (handled) return flow;
    return compileDeclaration(file, atom);
}

int32_t DefinitionsCompiler::number(const std::string& literal) {
    const NumberResult result = crackNumberChecked(literal);
    if (!result.ok) log_.reportError("Number", result.problem);
    return result.value;
}

DefinitionsCompiler::Flow DefinitionsCompiler::setFlag(SourceFile& file, const std::string& title,
                                                       int16_t& setting) {
    const std::string argument = file.nextAtom();
    if (argument == "on") {
        setting = -1;
    } else if (argument == "off") {
        setting = 0;
    } else {
        log_.reportError(title, "Variable must be on or off");
    }
    return Flow::Continue;
}

// A 16-bit setting; 32768 to 65535 are taken as their bit pattern. False for an empty argument.
bool DefinitionsCompiler::setShortNumber(SourceFile& file, int16_t& setting) {
    const std::string argument = file.nextAtom();
    if (argument.empty()) return false;
    const NumberResult result = crackNumberChecked(argument);
    if (!result.ok) {
        log_.reportError("Number", result.problem);
        setting = 0;
    } else if (result.value < -32768 || result.value > 65535) {
        log_.reportError("Number", "Number out of Range: " + argument);
    } else {
        setting = static_cast<int16_t>(static_cast<uint16_t>(result.value));
    }
    return true;
}

bool DefinitionsCompiler::advanceCounter(SourceFile& file, int64_t by) {
    const int64_t next = static_cast<int64_t>(file.counter) + by;
    if (next < INT32_MIN || next > INT32_MAX) {
        log_.reportError("Number", "Number out of Range: " + decimal(next));
        return false;
    }
    file.counter = static_cast<int32_t>(next);
    return true;
}

DefinitionsCompiler::Flow DefinitionsCompiler::compileDirective(SourceFile& file, const std::string& word,
                                                                bool& handled) {
    // Every directive but org starts with "$"; declarations, by far the most statements, skip the list.
    handled = !word.empty() && (word[0] == '$' || word == "org");
    if (!handled) return Flow::Continue;
    if (word == "$include") {
        const std::string path = resolveNamedPath(file.path, file.nextAtom());
        // A file that includes itself, directly or through others, would be compiled again and again.
        if (std::find(chain_.begin(), chain_.end(), chainKey(path)) != chain_.end()) {
            log_.reportError("$Include", "Recursive $include of " + path);
            return Flow::Continue;
        }
        if (includeDepth_ + 1 > kMaxIncludeDepth) {
            log_.reportError("$Include", "Too many nested $include commands");
            return Flow::Continue;
        }
        ++includeDepth_;
        compileFile(path);
        --includeDepth_;
        return Flow::Continue;
    }
    if (word == "org") {
        const std::string argument = file.nextAtom();
        if (argument.empty()) return Flow::Stop;
        file.counter = number(argument);
        return Flow::Continue;
    }
    if (word == "$sitepath") {
        settings_.siteRoot = resolveNamedPath(file.path, trimSpaces(file.nextAtom()));
        const bool holdsFile = folderHoldsFile(settings_.siteRoot);
        if (files_) files_->listedFolder(settings_.siteRoot, holdsFile);
        if (!holdsFile) {
            log_.reportError("$SitePath", "Path " + settings_.siteRoot + " Not Found");
            return Flow::Stop;
        }
        log_.append("Site Path is " + settings_.siteRoot + "\r\n");
        return Flow::Continue;
    }
    if (word == "$sitefile") {
        settings_.siteFile = resolveNamedPath(file.path, trimSpaces(file.nextAtom()));
        log_.view().siteFileChanged(settings_.siteFile);
        return Flow::Continue;
    }
    if (word == "$exportformatfile") {
        settings_.formatFile = resolveNamedPath(file.path, trimSpaces(file.nextAtom()));
        const FileRead format = readSourceFile(settings_.formatFile);
        if (files_) files_->readFile(settings_.formatFile, format.content.has_value());
        if (format.tooBig) {
            log_.reportError("$ExportFormatFile", "File " + tooBigText(settings_.formatFile, format.size));
            return Flow::Stop;
        }
        if (!format.content) {
            log_.reportError("$ExportFormatFile", "File " + settings_.formatFile + " Not Found");
            return Flow::Stop;
        }
        return Flow::Continue;
    }
    if (word == "$exportfile") {
        settings_.exportFile = resolveNamedPath(file.path, file.nextAtom());
        return Flow::Continue;
    }
    if (word == "$exportheaderfile") {
        settings_.exportHeaderFile = resolveNamedPath(file.path, file.nextAtom());
        return Flow::Continue;
    }
    if (word == "$exportfooterfile") {
        settings_.exportFooterFile = resolveNamedPath(file.path, file.nextAtom());
        return Flow::Continue;
    }
    if (word == "$devicename") {
        settings_.deviceName = file.nextAtom();
        return Flow::Continue;
    }
    if (word == "$initialip") {
        settings_.initialIp = file.nextAtom();
        return Flow::Continue;
    }
    if (word == "$initializeport")
        return setShortNumber(file, settings_.initializePort) ? Flow::Continue : Flow::Stop;
    if (word == "$postirqmask")
        return setShortNumber(file, settings_.postIrqMask) ? Flow::Continue : Flow::Stop;
    if (word == "$dhcp") return setFlag(file, "$DHCP", settings_.dhcpOn);
    if (word == "$serialhandshake") return setFlag(file, "$SerialHandshake", settings_.serialHandshakeOn);
    if (word == "$postirq") return setFlag(file, "$PostIRQ", settings_.postIrqOn);
    if (word == "$secure") return setFlag(file, "$Secure", settings_.secureMode);
    if (word == "$downloadpassword") {
        settings_.downloadPassword = fixedPassword(file.nextAtom(), 16);
        return Flow::Continue;
    }
    if (word == "$sitepassword") {
        settings_.sitePassword = fixedPassword(file.nextAtom(), 16);
        return Flow::Continue;
    }
    if (word == "$accesspassword") {
        settings_.accessPassword = credentialField(file.nextAtom());
        return Flow::Continue;
    }
    if (word == "$masterpassword") {
        settings_.masterPassword = credentialField(file.nextAtom());
        return Flow::Continue;
    }
    if (word == "$parse") {
        const std::string extension = lowerCase(file.nextAtom());
        if (settings_.pageTypes.size() >= kMaxPageTypes) {
            log_.reportError("$Parse", "Too many page types (at most 100)");
        } else {
            settings_.pageTypes.push_back(extension);
        }
        return Flow::Continue;
    }
    if (word == "$outputonly" || word == "$inputonly" || word == "$bidirectional") {
        settings_.directionMode = word == "$outputonly" ? 2 : word == "$inputonly" ? 1 : 3;
        return Flow::Continue;
    }
    if (word == "$export") {
        exportObjects(settings_, objects_, log_, files_);
        settings_.formatFile.clear();
        settings_.exportHeaderFile.clear();
        settings_.exportFooterFile.clear();
        settings_.exportFile.clear();
        return Flow::Continue;
    }
    handled = false;
    return Flow::Continue;
}

DefinitionsCompiler::Flow DefinitionsCompiler::compileDeclaration(SourceFile& file,
                                                                  const std::string& nameAsWritten) {
    if (objects_.size() >= kMaxObjects) {
        log_.reportError("Object", "Too many objects (at most 10000)");
        return Flow::Stop;
    }
    const std::string name = lowerCase(nameAsWritten);
    const std::string typeWord = lowerCase(file.nextAtom());
    bool quoted = false;
    const std::string value = getatom(file.text, file.position, quoted);
    if (name.size() > kMaxNameLength) {
        log_.reportError("Object", "Object name longer than 256 characters: " + name.substr(0, 32) + "...");
        return Flow::Continue;
    }
    const int32_t hash = calcHASH(name);
    const size_t index = objects_.size();
    {
        ObjectRecord& record = objects_.emplace_back();
        record.name = name;
        record.hash = hash;
        record.declaredIn = file.index;
        record.declaredLine = file.statement.line;
        record.declaredColumn = file.statement.column;
    }
    if (const auto earlier = firstWithHash_.find(hash); earlier != firstWithHash_.end()) {
        const std::string& earlierName = objects_[earlier->second].name;
        if (earlierName == name) {
            log_.reportError("", "Two Objects With the Same Name: " + name);
        } else {
            log_.reportError(
                "", "Hash values are equal.  Rename one of these objects " + name + " or " + earlierName);
        }
        return Flow::Stop;  // the reported record stays counted
    }
    if (value.empty()) {
        // The text ended inside the declaration, which ends the file quietly. An empty quoted value also ends
        // it, but a make must not then pass with the rest of the file unread.
        objects_.pop_back();
        if (quoted) log_.reportError("Object", "Empty value for " + name);
        return Flow::Stop;
    }
    firstWithHash_.emplace(hash, index);
    ObjectRecord& record = objects_[index];
    const int32_t location = file.counter;

    if (typeWord == "dbit") {
        if (location > 255 && log_.reportError("Object", "Bit variable " + name +
                                                             "'s location must be 0-255") == Answer::Cancel) {
            return Flow::Stop;
        }
        // The make reads bit 0 of the text as a number; the text itself is what the export shows.
        number(value);
        record.typeCode = 0;
        record.address = location & 255;
        record.size = 1;
        record.initial = value;
        advanceCounter(file, 1);
    } else if ((typeWord == "db" && !quoted) || typeWord == "dhex") {
        record.typeCode = typeWord == "db" ? 1 : 3;
        record.address = location;
        record.size = 1;
        record.initial = static_cast<uint8_t>(number(value) & 255);
        advanceCounter(file, 1);
    } else if (typeWord == "db") {
        std::string text = HTTPprocess(value);
        if (text.size() > 32767) {
            log_.reportError("Number",
                             "Number out of Range: " + decimal(static_cast<long long>(text.size())));
            return Flow::Continue;
        }
        record.typeCode = 7;
        record.address = location;
        record.size = static_cast<int16_t>(text.size());
        record.initial = std::move(text);
        advanceCounter(file, record.size);
    } else if (typeWord == "dw") {
        record.typeCode = 2;
        record.address = location;
        record.size = 2;
        record.initial = static_cast<int16_t>(static_cast<uint16_t>(number(value) & 0xFFFF));
        advanceCounter(file, 2);
    } else if (typeWord == "dd") {
        record.typeCode = 4;
        record.address = location;
        record.size = 4;
        record.initial = number(value);
        advanceCounter(file, 4);
    } else if (typeWord == "ds") {
        const NumberResult count = crackNumberChecked(value);
        // A count that is no number is reported once, as such, and then taken as 0.
        if (!count.ok) log_.reportError("Number", count.problem);
        const int32_t n = count.value;
        if (n > 32767 || n < -32768) {
            log_.reportError("Number", "Number out of Range: " + value);
            return Flow::Continue;
        }
        record.address = location;
        record.size = static_cast<int16_t>(n);
        if (n < 1) {
            if (count.ok) log_.reportError("DS", "Bad Number");
            record.typeCode = 0;
        } else if (n == 1 || n == 2 || n == 4) {
            record.typeCode = n == 1 ? 1 : n == 2 ? 2 : 4;
            record.initial = int16_t{0};
        } else {
            record.typeCode = 7;
            record.initial = std::string();
        }
        advanceCounter(file, n);
    } else if (typeWord == "equ") {
        record.typeCode = 4;
        record.address = static_cast<int16_t>(static_cast<uint16_t>(number(value) & 0xFFFF));
        record.size = 0;
        return Flow::Continue;  // no direction, not secured
    } else {
        log_.reportError("", "Do not understand " + nameAsWritten + " " + typeWord);
        return Flow::Stop;  // the record stays counted
    }
    record.direction = static_cast<uint8_t>(settings_.directionMode);
    record.secured = static_cast<uint8_t>(settings_.secureMode);
    return Flow::Continue;
}

}  // namespace brindlecor::builder
