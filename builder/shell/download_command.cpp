// `tamarquill download`: the download of the window on the console, over a plain UDP socket; with --batch,
// the same image to every device of a list.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "builder/download/config_overrides.h"
#include "builder/download/device_list.h"
#include "builder/download/download_password.h"
#include "builder/download/download_sender.h"
#include "builder/download/download_target.h"
#include "builder/shell/arp_flush.h"
#include "builder/shell/batch_download.h"
#include "builder/shell/command_line.h"
#include "builder/shell/console_download_view.h"
#include "builder/shell/udp_port.h"
#include "common/download_protocol.h"
#include "common/settings_keys.h"
#include "common/settings_store.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace {

constexpr std::string_view kCommand = "tamarquill download";

struct DownloadArgs {
    std::string image;
    std::string to;
    std::string password;
    bool hasPassword = false;
    int port = 0;
    int localPort = download::LOCAL_UDP_PORT;
    bool yes = false;
    bool verify = false;
    bool savedOverrides = false;
    std::string batch;
    int jobs = 0;  // 0: not given
    OverrideTexts overrides;
};

// The override options and what they set.
constexpr std::pair<std::string_view, OverrideKind> kOverrideOptions[] = {
    {"--device-name", OverrideKind::DeviceName},
    {"--ip", OverrideKind::DefaultIpAddress},
    {"--dhcp", OverrideKind::Dhcp},
    {"--p1", OverrideKind::InitializeP1},
    {"--access-password", OverrideKind::AccessPassword},
    {"--master-password", OverrideKind::MasterPassword},
};

std::optional<OverrideKind> overrideOption(std::string_view name) {
    for (const auto& [option, kind] : kOverrideOptions)
        if (option == name) return kind;
    return std::nullopt;
}

// A text quoted for a message on the terminal.
std::string quoted(std::string_view windows1252) {
    return "\"" + windows1252ToUtf8(windows1252) + "\"";
}

std::optional<std::string> parseArgs(const std::vector<std::string>& args, DownloadArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (hasValue) return value;
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (name == "--yes" || name == "--verify" || name == "--saved-overrides") {
            if (hasValue) return name + " takes no value";
            (name == "--yes" ? out.yes : name == "--verify" ? out.verify : out.savedOverrides) = true;
            continue;
        }
        if (name.rfind("--", 0) != 0) {
            if (!out.image.empty()) return "only one image file may be given";
            out.image = name;
            continue;
        }
        const auto overrideKind = overrideOption(name);
        if (!overrideKind && name != "--to" && name != "--port" && name != "--password" &&
            name != "--local-port" && name != "--batch" && name != "--jobs")
            return "unknown option '" + name + "'";
        const auto v = takeValue();
        if (!v) return name + " needs a value";
        if (overrideKind) {
            // Terminals hand over UTF-8; the device holds one byte a character.
            const auto text = utf8ToWindows1252(*v);
            if (!text) return name + ": not UTF-8, or a character the device cannot hold";
            std::string reason;
            if (!encodeOverride(*overrideKind, *text, reason))
                return name + " " + quoted(*text) + ": " + reason;
            out.overrides[static_cast<int>(*overrideKind)] = *text;
        } else if (name == "--to") {
            if (v->empty()) return "--to needs an address";
            out.to = *v;
        } else if (name == "--password") {
            out.password = *v;
            out.hasPassword = true;
        } else if (name == "--batch") {
            if (v->empty()) return "--batch needs a file";
            out.batch = *v;
        } else if (name == "--jobs") {
            const int jobs = parsePort(*v);
            if (jobs < 1 || jobs > kMaxBatchJobs)
                return "--jobs needs a number from 1 to " + std::to_string(kMaxBatchJobs) + ", not '" + *v +
                       "'";
            out.jobs = jobs;
        } else {
            const int port = *v == "0" && name == "--local-port" ? 0 : parsePort(*v);
            if (port == 0 && *v != "0") return name + " needs a port number 1-65535, not '" + *v + "'";
            (name == "--port" ? out.port : out.localPort) = port;
        }
    }
    if (out.image.empty()) return "no image file given";
    if (out.batch.empty() && out.jobs) return "--jobs needs --batch";
    if (!out.batch.empty() && !out.to.empty())
        return "--to and --batch exclude each other: the list names the devices";
    return std::nullopt;
}

int refuse(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", std::string(kCommand).c_str(), text.c_str());
    return 2;
}

// The overrides a download applies: the saved ones when asked for, each replaced by the command line's.
// A saved override that cannot be applied refuses the download, naming its key and value.
std::optional<std::string> gatherOverrides(const DownloadArgs& options, const SettingsStore& settings,
                                           OverrideTexts& texts) {
    texts = {};
    if (options.savedOverrides) {
        for (int i = 0; i < kOverrideCount; ++i) {
            const auto kind = static_cast<OverrideKind>(i);
            const std::string saved = brindlecor::settings::value(settings, overrideKey(kind));
            if (saved == brindlecor::settings::kOverrideAbsent) continue;
            std::string reason;
            if (!options.overrides[i] && !encodeOverride(kind, saved, reason))
                return "saved override " + std::string(overrideKey(kind).name) + " " + quoted(saved) +
                       " cannot be applied: " + reason;
            texts[i] = saved;
        }
    }
    for (int i = 0; i < kOverrideCount; ++i)
        if (options.overrides[i]) texts[i] = options.overrides[i];
    return std::nullopt;
}

int runBatchCommand(const DownloadArgs& options, const DownloadTarget& target, const PasswordBytes& password,
                    const OverrideTexts& common) {
    std::ifstream in(options.batch, std::ios::binary);
    std::stringstream csv;
    csv << in.rdbuf();
    if (!in.is_open() || in.bad()) return refuse("cannot read the device list " + options.batch);
    const DeviceList list = readDeviceList(csv.str());
    auto lineRefusal = [&](int line, const std::string& text) {
        return refuse(options.batch + (line ? ":" + std::to_string(line) : std::string()) + ": " + text);
    };
    if (!list.error.empty()) return lineRefusal(list.errorLine, windows1252ToUtf8(list.error));

    std::vector<BatchDevice> devices;
    std::map<std::string, int> lineOf;  // "address:port" -> the line that named it first
    for (const ListedDevice& listed : list.devices) {
        BatchDevice device;
        const auto ip = resolveIPv4(listed.address);
        if (!ip) return lineRefusal(listed.line, "no IPv4 address for '" + listed.address + "'");
        device.address = dottedAddress(*ip);
        device.port = listed.port ? listed.port : target.port;
        device.shown = listed.address + ":" + std::to_string(device.port);
        const std::string key = device.address + ":" + std::to_string(device.port);
        // Two downloads to one device would interleave their requests there.
        if (const auto seen = lineOf.find(key); seen != lineOf.end())
            return lineRefusal(listed.line,
                               "the same device as line " + std::to_string(seen->second) + " (" + key + ")");
        lineOf[key] = listed.line;
        device.password = listed.password ? downloadPasswordBytes(*listed.password) : password;
        OverrideTexts texts = common;
        for (int i = 0; i < kOverrideCount; ++i)
            if (listed.overrides[i]) texts[i] = listed.overrides[i];
        OverrideEncoding encoding = encodeOverrides(texts);
        if (!encoding.ok()) return lineRefusal(listed.line, encoding.reason);  // checked already; kept safe
        device.overrides = std::move(encoding.fields);
        if (const auto& name = texts[static_cast<int>(OverrideKind::DeviceName)]) device.name = *name;
        devices.push_back(std::move(device));
    }
    const int jobs = options.jobs ? options.jobs : 1;
    if (options.localPort != 0 && options.localPort + std::min<int>(jobs, devices.size()) - 1 > 65535)
        return refuse("--local-port " + std::to_string(options.localPort) + " leaves no room for " +
                      std::to_string(jobs) + " local ports");

    std::vector<uint8_t> image;
    if (const auto error = readImageFile(options.image, image)) {
        std::fprintf(stderr, "Downloading Error: %s\n", error->c_str());
        return 1;
    }
    BatchSettings settings;
    settings.jobs = jobs;
    settings.localPort = options.localPort;
    settings.verify = options.verify;
    settings.assumeYes = options.yes;
    settings.progress = isatty(STDERR_FILENO) != 0;
    const BatchResult result = runBatch(image, devices, settings);
    if (result.error) {
        std::fprintf(stderr, "%s: %s (--local-port chooses another)\n", std::string(kCommand).c_str(),
                     result.error->c_str());
        return 1;
    }
    return result.downloaded == static_cast<int>(devices.size()) ? 0 : 1;
}

}  // namespace

int runDownloadCommand(const std::vector<std::string>& args) {
    DownloadArgs options;
    if (auto error = parseArgs(args, options)) {
        std::fprintf(stderr, "%s: %s\nTry 'tamarquill --help'.\n", std::string(kCommand).c_str(),
                     error->c_str());
        return 2;
    }
    const SettingsStore settings = SettingsStore::forApplication(brindlecor::settings::kBuilderApplication);
    DownloadTarget target = loadDownloadTarget(settings);
    if (!options.to.empty()) target.address = options.to;
    if (options.port) target.port = options.port;
    const PasswordBytes password =
        options.hasPassword ? downloadPasswordBytes(options.password) : loadDownloadPassword(settings);
    OverrideTexts overrides;
    if (auto error = gatherOverrides(options, settings, overrides)) return refuse(*error);
    if (!options.batch.empty()) return runBatchCommand(options, target, password, overrides);

    const auto ip = resolveIPv4(target.address);
    if (!ip) {
        std::fprintf(stderr, "%s: no IPv4 address for '%s'\n", std::string(kCommand).c_str(),
                     target.address.c_str());
        return 1;
    }
    UdpPort port;
    if (auto error = port.open(options.localPort)) {
        std::fprintf(stderr, "%s: %s (--local-port chooses another)\n", std::string(kCommand).c_str(),
                     error->c_str());
        return 1;
    }

    ConsoleDownloadView view(isatty(STDERR_FILENO) != 0, options.yes);
    BuildLog log(view);
    log.setSilentErrors(true);
    DownloadSender sender(port, view, log, wallClockSeconds, flushArpCache);
    sender.setTarget(target.address, target.port);
    sender.setPassword(password);
    sender.setVerify(options.verify);
    sender.setOverrides(encodeOverrides(overrides).fields);  // every one was checked above
    sender.start(options.image);
    runDownload(port, sender);
    view.endBar();
    std::fflush(stdout);
    return sender.outcome() == DownloadOutcome::Done ? 0 : 1;
}

}  // namespace brindlecor::builder
