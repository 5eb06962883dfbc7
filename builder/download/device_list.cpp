#include "builder/download/device_list.h"

#include <algorithm>
#include <array>

#include "builder/download/download_target.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace {

struct Record {
    int line = 0;
    std::vector<std::string> fields;
};

struct Failure {
    int line = 0;
    std::string text;
};

// Splits RFC 4180 records: "," between fields, CR LF (or a lone LF or CR) between records, a field in
// double quotes may hold any of them and writes a quote as two. Empty lines are skipped.
bool splitRecords(std::string_view text, std::vector<Record>& records, Failure& error) {
    size_t at = 0;
    int line = 1;
    auto lineEnd = [&](size_t i) {
        return text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'));
    };
    while (at < text.size()) {
        if (text[at] == '\r' || text[at] == '\n') {
            if (lineEnd(at)) ++line;
            ++at;
            continue;
        }
        Record record{line, {}};
        std::string field;
        bool done = false;
        while (!done) {
            if (at < text.size() && text[at] == '"') {
                const int opened = line;
                ++at;
                for (;;) {
                    if (at >= text.size()) {
                        error = {opened, "a quoted field has no closing quote"};
                        return false;
                    }
                    if (text[at] == '"') {
                        if (at + 1 < text.size() && text[at + 1] == '"') {
                            field += '"';
                            at += 2;
                            continue;
                        }
                        ++at;
                        break;
                    }
                    if (lineEnd(at)) ++line;
                    field += text[at++];
                }
                if (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n') {
                    error = {line, "text after a quoted field"};
                    return false;
                }
            } else {
                while (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n') {
                    if (text[at] == '"') {
                        error = {line, "a quote inside a field that does not start with one"};
                        return false;
                    }
                    field += text[at++];
                }
            }
            record.fields.push_back(std::move(field));
            field.clear();
            if (at < text.size() && text[at] == ',') {
                ++at;
            } else {
                done = true;
            }
        }
        records.push_back(std::move(record));
    }
    return true;
}

constexpr std::array<std::string_view, kOverrideCount> kOverrideColumns = {
    "ip", "device_name", "p1", "dhcp", "access_password", "master_password",
};

}  // namespace

std::string_view overrideColumn(OverrideKind kind) {
    return kOverrideColumns[static_cast<int>(kind)];
}

DeviceList readDeviceList(std::string_view csv) {
    DeviceList list;
    if (csv.substr(0, 3) == "\xEF\xBB\xBF") csv.remove_prefix(3);  // the byte order mark of some editors
    std::vector<Record> records;
    Failure split;
    if (!splitRecords(csv, records, split)) {
        list.errorLine = split.line;
        list.error = split.text;
        return list;
    }
    if (records.empty()) {
        list.error = "no header line naming the columns";
        return list;
    }

    // What each column of the header is.
    enum : int { kAddress = -1, kPort = -2, kPassword = -3, kUnused = -4 };
    std::vector<int> columns;
    const Record& header = records[0];
    for (const std::string& raw : header.fields) {
        const std::string name = lowerCase(trimSpaces(raw));
        int column = name == kAddressColumn    ? kAddress
                     : name == kPortColumn     ? kPort
                     : name == kPasswordColumn ? kPassword
                                               : kUnused;
        for (int k = 0; k < kOverrideCount; ++k)
            if (name == kOverrideColumns[k]) column = k;
        if (column == kUnused) {
            list.errorLine = header.line;
            list.error = "unknown column \"" + raw + "\"";
            return list;
        }
        if (std::find(columns.begin(), columns.end(), column) != columns.end()) {
            list.errorLine = header.line;
            list.error = "the column \"" + name + "\" is named twice";
            return list;
        }
        columns.push_back(column);
    }
    if (std::find(columns.begin(), columns.end(), kAddress) == columns.end()) {
        list.errorLine = header.line;
        list.error = "no \"address\" column";
        return list;
    }
    if (records.size() == 1) {
        list.error = "no device after the header line";
        return list;
    }

    std::vector<ListedDevice> devices;
    for (size_t r = 1; r < records.size(); ++r) {
        const Record& record = records[r];
        auto fail = [&](const std::string& text) {
            list.errorLine = record.line;
            list.error = text;
            return list;
        };
        if (record.fields.size() != columns.size())
            return fail(std::to_string(record.fields.size()) + " fields where the header names " +
                        std::to_string(columns.size()));
        ListedDevice device;
        device.line = record.line;
        for (size_t c = 0; c < columns.size(); ++c) {
            const auto cell = utf8ToWindows1252(record.fields[c]);
            const std::string_view name = columns[c] >= 0          ? kOverrideColumns[columns[c]]
                                          : columns[c] == kAddress ? kAddressColumn
                                          : columns[c] == kPort    ? kPortColumn
                                                                   : kPasswordColumn;
            if (!cell) return fail(std::string(name) + ": not UTF-8, or a character the device cannot hold");
            if (columns[c] == kAddress) {
                device.address = trimSpaces(*cell);
            } else if (columns[c] == kPort) {
                const std::string port = trimSpaces(*cell);
                if (!port.empty() && !(device.port = parsePort(port)))
                    return fail("port \"" + port + "\": not a port number 1-65535");
            } else if (columns[c] == kPassword) {
                if (!cell->empty()) device.password = *cell;
            } else if (!cell->empty()) {
                std::string reason;
                if (!encodeOverride(static_cast<OverrideKind>(columns[c]), *cell, reason))
                    return fail(std::string(name) + " \"" + *cell + "\": " + reason);
                device.overrides[columns[c]] = *cell;
            }
        }
        if (device.address.empty()) return fail("no address");
        devices.push_back(std::move(device));
    }
    list.devices = std::move(devices);
    return list;
}

}  // namespace brindlecor::builder
