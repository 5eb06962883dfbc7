// `tamarquill inspect`: what an image holds (configuration, object table, site directory, file data) as text
// or as one JSON document, with names from the definitions when they are given, or one stored page with its
// compiled references written back as reference text.
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "builder/image/make_driver.h"
#include "builder/shell/command_line.h"
#include "builder/shell/console_view.h"
#include "common/image_layout.h"
#include "common/image_reader.h"
#include "common/ip_text.h"
#include "common/name_hash.h"
#include "common/page_codes.h"
#include "common/page_listing.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace {

namespace img = brindlecor::image;
using Json = nlohmann::ordered_json;

// A file larger than this is no image, and is not read whole to find that out.
constexpr uintmax_t kLargestFileRead = 1 << 20;

constexpr const char* kInspectUsage =
    "Usage: tamarquill inspect IMAGE.kvb [--json] [--definitions DEFS.kvd] [--page PATH]\n";

struct InspectOptions {
    std::string image;
    std::string definitions;
    std::string page;
    bool hasPage = false;
    bool json = false;
};

std::optional<std::string> parseArgs(const std::vector<std::string>& args, InspectOptions& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (name == "--json") {
            if (hasValue) return "--json takes no value";
            out.json = true;
        } else if (name == "--definitions" || name == "--page") {
            if (!hasValue) {
                if (i + 1 >= args.size()) return name + " needs a value";
                value = args[++i];
            }
            if (name == "--page") {
                out.page = value;
                out.hasPage = true;
            } else {
                if (value.empty()) return "--definitions needs a file name";
                out.definitions = value;
            }
        } else if (name.size() > 1 && name[0] == '-') {
            return "unknown option '" + name + "'";
        } else if (out.image.empty()) {
            out.image = name;
        } else {
            return "only one image file may be given";
        }
    }
    if (out.image.empty()) return "no image file given";
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> readImageFile(const std::string& path, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + " is a folder";
        return std::nullopt;
    }
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot open " + path + ": " + ec.message();
        return std::nullopt;
    }
    if (size > kLargestFileRead) {
        error = path + " is " + std::to_string(size) + " bytes long: no image (at most " +
                std::to_string(img::kMaxImageLength) + " bytes)";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return bytes;
}

std::string hex(uint32_t value, int digits = 4) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// Text for a terminal: Windows-1252 shown as UTF-8, control characters as \xNN.
std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '\\' || c == '"') {
            char escape[8];
            std::snprintf(escape, sizeof escape, b < 0x20 || b == 0x7F ? "\\x%02X" : "\\%c", b);
            out += escape;
        } else {
            out += c;
        }
    }
    return utf8FromWindows1252(out);
}

std::string quoted(const std::string& text) {
    return "\"" + escaped(text) + "\"";
}

// One line of a table, without the blanks its last column leaves.
void printRow(const char* format, ...) __attribute__((format(printf, 1, 2)));
void printRow(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::string text(line);
    text.erase(text.find_last_not_of(' ') + 1);
    std::printf("%s\n", text.c_str());
}

// Names from the definitions: the make compiles them and walks the site without writing anything.
struct Names {
    bool given = false;
    bool complete = true;  // false when the definitions had errors
    std::map<uint32_t, std::string> objects;
    std::map<uint32_t, std::string> files;

    const std::string* object(uint32_t hash) const {
        const auto it = objects.find(hash);
        return it == objects.end() ? nullptr : &it->second;
    }
    const std::string* file(uint32_t hash) const {
        const auto it = files.find(hash);
        return it == files.end() ? nullptr : &it->second;
    }
};

Names namesFrom(const std::string& definitions) {
    Names names;
    names.given = true;
    ConsoleView view(nullptr, stderr);
    SystemWallClock clock;
    Builder builder(view, clock);
    builder.log().setSilentErrors(true);
    builder.files().writeOutputs = false;
    builder.make(definitions);
    names.complete = !builder.log().hasErrors();
    for (const ObjectRecord& object : builder.objects())
        names.objects.emplace(static_cast<uint32_t>(object.hash), object.name);
    for (const DirectoryRecord& record : builder.directory())
        names.files.emplace(static_cast<uint32_t>(record.hash), record.sitePath);
    return names;
}

std::string flagWords(uint8_t flags) {
    std::string words;
    auto add = [&](const char* word) { words += words.empty() ? word : std::string(",") + word; };
    if (flags & img::kFilePage) add("page");
    if (flags & img::kFileFormHandler) add("form");
    if (flags & img::kFilePasswordRequired) add("protected");
    return words.empty() ? "-" : words;
}

std::string ipText(const img::Configuration& c) {
    return Long_to_IP(static_cast<uint32_t>(c.ip[0]) | (static_cast<uint32_t>(c.ip[1]) << 8) |
                      (static_cast<uint32_t>(c.ip[2]) << 16) | (static_cast<uint32_t>(c.ip[3]) << 24));
}

const char* onOff(bool on) {
    return on ? "on" : "off";
}
const char* setOrNot(bool set) {
    return set ? "set" : "not set";
}

void printText(const std::string& path, const img::ImageContents& c, const Names& names) {
    std::printf("%s: %zu bytes, %lld bytes left of %zu\n", path.c_str(), c.length,
                std::max(0LL, c.bytesLeft()), img::kMaxImageLength);
    if (c.hasConfiguration) {
        const img::Configuration& k = c.configuration;
        std::printf("\nConfiguration\n");
        std::printf("  device name        %s\n", quoted(k.deviceName).c_str());
        std::printf("  IP address         %s\n", ipText(k).c_str());
        std::printf("  DHCP               %s\n", onOff(k.dhcp == img::kFlagOn));
        std::printf("  serial handshake   %s\n", onOff(k.serialHandshake == img::kFlagOn));
        std::printf("  post IRQ           %s, mask %s\n", onOff(k.postIrq == img::kFlagOff),
                    hex(k.postIrqMask, 2).c_str());
        std::printf("  port P1            %s\n", hex(k.portInit, 2).c_str());
        std::printf("  download password  %s\n", setOrNot(k.downloadPasswordSet));
        std::printf("  site password      %s\n", setOrNot(k.sitePasswordSet));
        std::printf("  access password    %s\n", setOrNot(k.accessCredentialSet));
        std::printf("  master password    %s\n", setOrNot(k.masterCredentialSet));
    }
    if (!c.objects.empty() || c.terminatorAt) {
        std::printf("\nObjects: %zu at 0x4500\n", c.objects.size());
        if (!c.objects.empty())
            printRow("  entry   hash        address  size  type     direction  secured  %s",
                     names.given ? "name" : "");
        for (const img::ObjectEntry& o : c.objects) {
            const std::string* name = names.object(o.entry.hash);
            printRow("  %s  %s  %s   %-4u  %-7s  %-9s  %-7s  %s", hex(o.at).c_str(),
                     hex(o.entry.hash, 8).c_str(), hex(o.entry.address).c_str(), o.entry.size,
                     img::typeName(o.entry.flags & img::kObjectTypeMask),
                     (o.entry.flags & img::kObjectOutputOnly) ? "out only" : "in/out",
                     (o.entry.flags & img::kObjectSecure) ? "yes" : "no",
                     names.given ? (name ? escaped(*name).c_str() : "?") : "");
        }
    }
    if (!c.files.empty() || c.terminatorAt) {
        std::printf("\nSite directory: %zu files", c.files.size());
        if (c.terminatorAt) std::printf(", data from %s", hex(c.dataStart).c_str());
        std::printf("\n");
        if (!c.files.empty())
            printRow("  entry   hash        address  offset  length  flags              %s",
                     names.given ? "path" : "");
        for (const img::FileEntry& f : c.files) {
            const std::string* path = names.file(f.entry.hash);
            const long long offset = static_cast<long long>(f.entry.address) - c.dataStart;
            printRow("  %s  %s  %s   %-6lld  %-6u  %-17s  %s", hex(f.at).c_str(),
                     hex(f.entry.hash, 8).c_str(), hex(f.entry.address).c_str(), offset, f.length,
                     flagWords(f.entry.flags).c_str(),
                     names.given ? (path ? escaped(*path).c_str() : "?") : "");
        }
    }
    if (c.terminatorAt)
        std::printf(
            "\nFile data: %zu bytes, %s-%s\n", c.fileDataSize(), hex(c.dataStart).c_str(),
            hex(img::kImageBase + static_cast<uint32_t>(std::min<size_t>(c.length, 0xC000)) - 1).c_str());
}

Json jsonOf(const std::string& path, const img::ImageContents& c, const Names& names) {
    Json doc;
    doc["file"] = utf8FromWindows1252(path);
    doc["length"] = c.length;
    doc["bytes_left"] = c.bytesLeft();
    if (c.hasConfiguration) {
        const img::Configuration& k = c.configuration;
        doc["configuration"] = {
            {"device_name", utf8FromWindows1252(k.deviceName)},
            {"ip_address", ipText(k)},
            {"dhcp", k.dhcp == img::kFlagOn},
            {"serial_handshake", k.serialHandshake == img::kFlagOn},
            {"post_irq", k.postIrq == img::kFlagOff},
            {"post_irq_mask", k.postIrqMask},
            {"port_p1", k.portInit},
            {"download_password_set", k.downloadPasswordSet},
            {"site_password_set", k.sitePasswordSet},
            {"access_password_set", k.accessCredentialSet},
            {"master_password_set", k.masterCredentialSet},
        };
    } else {
        doc["configuration"] = nullptr;
    }
    Json objects = Json::array();
    for (const img::ObjectEntry& o : c.objects) {
        Json j = {{"entry", o.at},
                  {"hash", o.entry.hash},
                  {"address", o.entry.address},
                  {"size", o.entry.size},
                  {"flags", o.entry.flags},
                  {"type", img::typeName(o.entry.flags & img::kObjectTypeMask)},
                  {"type_code", o.entry.flags & img::kObjectTypeMask},
                  {"output_only", (o.entry.flags & img::kObjectOutputOnly) != 0},
                  {"secured", (o.entry.flags & img::kObjectSecure) != 0}};
        if (names.given) {
            const std::string* name = names.object(o.entry.hash);
            j["name"] = name ? Json(utf8FromWindows1252(*name)) : Json(nullptr);
        }
        objects.push_back(std::move(j));
    }
    doc["objects"] = std::move(objects);
    Json files = Json::array();
    for (const img::FileEntry& f : c.files) {
        Json j = {{"entry", f.at},
                  {"hash", f.entry.hash},
                  {"address", f.entry.address},
                  {"offset", static_cast<long long>(f.entry.address) - c.dataStart},
                  {"length", f.length},
                  {"flags", f.entry.flags},
                  {"page", (f.entry.flags & img::kFilePage) != 0},
                  {"form", (f.entry.flags & img::kFileFormHandler) != 0},
                  {"protected", (f.entry.flags & img::kFilePasswordRequired) != 0}};
        if (names.given) {
            const std::string* sitePath = names.file(f.entry.hash);
            j["path"] = sitePath ? Json(utf8FromWindows1252(*sitePath)) : Json(nullptr);
        }
        files.push_back(std::move(j));
    }
    doc["files"] = std::move(files);
    if (c.terminatorAt) {
        doc["terminator"] = {{"entry", *c.terminatorAt}, {"end_address", c.endAddress}};
        doc["file_data"] = {{"start", c.dataStart}, {"size", c.fileDataSize()}};
    } else {
        doc["terminator"] = nullptr;
        doc["file_data"] = nullptr;
    }
    Json problems = Json::array();
    for (const img::Problem& p : c.problems) problems.push_back({{"address", p.address}, {"text", p.text}});
    doc["problems"] = std::move(problems);
    return doc;
}

// The name of the object whose load code, address (and size) a reference holds: an object of the image's
// table with a name from the definitions.
ObjectNamer objectNamer(const img::ImageContents& c, const Names& names) {
    if (!names.given) return nullptr;
    return [&c, &names](uint8_t load, uint16_t address, uint8_t size) -> std::string {
        for (const img::ObjectEntry& o : c.objects) {
            const uint8_t type = o.entry.flags & img::kObjectTypeMask;
            const bool fits =
                o.entry.address == address &&
                ((load == code::kLoadBit && type == img::kTypeBit) ||
                 (load == code::kLoadByte && (type == img::kTypeByte || type == img::kTypeHex)) ||
                 (load == code::kLoadInteger && type == img::kTypeInteger) ||
                 (load == code::kLoadLong && type == img::kTypeLong) ||
                 (load == code::kOutString && type == img::kTypeString && o.entry.size == size));
            if (!fits) continue;
            if (const std::string* name = names.object(o.entry.hash)) return *name;
        }
        return {};
    };
}

int inspectPage(const InspectOptions& options, std::span<const uint8_t> bytes, const img::ImageContents& c,
                const Names& names) {
    std::string sitePath = options.page;
    while (!sitePath.empty() && sitePath.front() == '/') sitePath.erase(0, 1);
    if (sitePath.empty()) sitePath = "index.htm";  // as the device's default document
    sitePath = lowerCase(sitePath);
    const auto hash = static_cast<uint32_t>(calcHASH(sitePath));
    for (const img::ObjectEntry& o : c.objects) {
        if (o.entry.hash == hash) {
            std::fprintf(stderr, "tamarquill inspect: %s: %s names an object, not a file\n",
                         options.image.c_str(), sitePath.c_str());
            return 1;
        }
    }
    const img::FileEntry* file = nullptr;
    for (const img::FileEntry& f : c.files)
        if (f.entry.hash == hash && !file) file = &f;
    if (!file) {
        std::fprintf(stderr, "tamarquill inspect: %s holds no file %s\n", options.image.c_str(),
                     sitePath.c_str());
        return 1;
    }
    const auto stored = img::fileBytes(bytes, *file);
    PageListing listing;
    if (file->entry.flags & (img::kFilePage | img::kFileFormHandler)) {
        listing = listPage(stored, objectNamer(c, names));
    } else {
        listing.text.assign(stored.begin(), stored.end());  // sent as it is stored
    }
    if (options.json) {
        Json problems = Json::array();
        for (const auto& p : listing.problems) problems.push_back({{"offset", p.offset}, {"text", p.text}});
        const Json doc = {{"file", utf8FromWindows1252(options.image)},
                          {"page", utf8FromWindows1252(sitePath)},
                          {"entry", file->at},
                          {"hash", file->entry.hash},
                          {"address", file->entry.address},
                          {"length", file->length},
                          {"flags", file->entry.flags},
                          {"references", listing.references},
                          {"listing", utf8FromWindows1252(listing.text)},
                          {"problems", problems}};
        std::printf("%s\n", doc.dump(2).c_str());
    } else {
        std::fwrite(listing.text.data(), 1, listing.text.size(), stdout);
    }
    for (const auto& p : listing.problems)
        std::fprintf(stderr, "tamarquill inspect: %s: %s: %s\n", options.image.c_str(), sitePath.c_str(),
                     p.text.c_str());
    return listing.problems.empty() && stored.size() == file->length ? 0 : 1;
}

}  // namespace

int runInspectCommand(const std::vector<std::string>& args) {
    InspectOptions options;
    if (auto error = parseArgs(args, options)) {
        std::fprintf(stderr, "tamarquill inspect: %s\n%sTry 'tamarquill --help'.\n", error->c_str(),
                     kInspectUsage);
        return 2;
    }
    std::string error;
    const auto bytes = readImageFile(options.image, error);
    if (!bytes) {
        std::fprintf(stderr, "tamarquill inspect: %s\n", error.c_str());
        return 1;
    }
    Names names;
    if (!options.definitions.empty()) {
        names = namesFrom(options.definitions);
        if (!names.complete)
            std::fprintf(stderr, "tamarquill inspect: %s has errors; names may be missing\n",
                         options.definitions.c_str());
    }
    const img::ImageContents contents = img::readImage(*bytes);
    int status = names.complete ? 0 : 1;
    if (options.hasPage) {
        for (const img::Problem& p : contents.problems)
            std::fprintf(stderr, "tamarquill inspect: %s: %s: %s\n", options.image.c_str(),
                         hex(p.address).c_str(), p.text.c_str());
        const int pageStatus = inspectPage(options, *bytes, contents, names);
        return std::max({status, pageStatus, contents.problems.empty() ? 0 : 1});
    }
    if (options.json) {
        std::printf("%s\n", jsonOf(options.image, contents, names).dump(2).c_str());
    } else {
        printText(options.image, contents, names);
    }
    std::fflush(stdout);
    for (const img::Problem& p : contents.problems)
        std::fprintf(stderr, "tamarquill inspect: %s: %s: %s\n", options.image.c_str(),
                     hex(p.address).c_str(), p.text.c_str());
    return contents.problems.empty() ? status : 1;
}

}  // namespace brindlecor::builder
