#include "builder/definitions/object_export.h"

#include <fstream>
#include <type_traits>
#include <variant>

#include "builder/definitions/scanner.h"
#include "builder/definitions/source_paths.h"
#include "common/image_reader.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace {

// Header and footer are optional: one that is not named or cannot be read is left out without a word. One
// too big to be meant is reported and left out.
void copyFileInto(const std::string& path, std::string& out, BuildLog& log, MakeFiles* files) {
    if (path.empty()) return;
    FileRead read = readSourceFile(path);
    if (files) files->readFile(path, read.content.has_value());
    if (read.tooBig) log.reportError("$Export", "File " + tooBigText(path, read.size));
    if (read.content) out += *read.content;
}

std::string defaultText(const InitialValue& initial) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v == "$none$" ? std::string() : v;
            } else {
                return decimal(v);
            }
        },
        initial);
}

std::string directionName(uint8_t direction) {
    if (direction == 1) return "input";
    if (direction == 2) return "output";
    return "bidirectional";
}

}  // namespace

std::string placeholderValue(const ObjectRecord& object, const std::string& word, char modifier,
                             const std::string& argument) {
    if (word == "name") return object.name;
    if (word == "address") return hex4(object.address);
    if (word == "type") return image::typeName(object.typeCode);
    if (word == "default") return defaultText(object.initial);
    if (word == "secure") return object.secured != 0 ? "secured" : "";
    if (word == "direction") return directionName(object.direction);
    if (word == "size") return decimal(object.size);
    if (word == "hash") return decimal(object.hash);
    return word + modifier + argument;
}

void expandFormat(const std::string& format, const ObjectRecord& object, std::string& out) {
    const auto length = static_cast<int32_t>(format.size());
    int32_t i = 1;
    while (i <= length) {
        const char ch = format[i - 1];
        if (ch != '^') {
            out += ch;
            ++i;
        } else if (i < length && format[i] == '^') {
            out += '^';
            i += 2;
        } else {
            const Reference ref = parseReference(format, i);
            ++i;
            out += placeholderValue(object, ref.name, ref.modifier, ref.argument);
        }
    }
}

void exportObjects(BuildSettings& settings, const std::vector<ObjectRecord>& objects, BuildLog& log,
                   MakeFiles* files) {
    log.logLine("Exporting Variables to File: " + settings.exportFile);
    if (settings.formatFile.empty()) {
        log.reportError("$Export", "No File Given for Export Definitions");
        return;
    }
    const FileRead formatRead = readSourceFile(settings.formatFile);
    if (files) files->readFile(settings.formatFile, formatRead.content.has_value());
    if (formatRead.tooBig) {
        log.reportError("$Export", "File " + tooBigText(settings.formatFile, formatRead.size));
        return;
    }
    const auto& format = formatRead.content;
    if (!format) {
        // It was there when $exportformatfile named it; it has gone or become unreadable since.
        log.reportError("$Export", "File " + settings.formatFile + " Not Found");
        return;
    }
    if (settings.exportFile.empty()) {
        log.reportError("$Export", "No $ExportFile filename, Can not Export");
        return;
    }
    std::string out;
    copyFileInto(settings.exportHeaderFile, out, log, files);
    for (const ObjectRecord& object : objects) expandFormat(*format, object, out);
    copyFileInto(settings.exportFooterFile, out, log, files);
    if (files && !files->writeOutputs) return;
    if (files) files->wroteFile(settings.exportFile);

    std::ofstream file(settings.exportFile, std::ios::binary | std::ios::trunc);
    if (file) file.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (file) file.close();
    if (!file) log.reportError("$Export", "Can not write File " + settings.exportFile);
}

}  // namespace brindlecor::builder
