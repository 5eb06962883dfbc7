// Fuzz target: the input as a settings file read by the store, one change written back and read again;
// and the input as a value, which must come back from the file byte for byte.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "common/settings_store.h"
#include "fuzz/fuzz_target.h"

namespace {

// A private folder for the settings file, removed when the fuzzer exits.
struct ScratchFolder {
    ScratchFolder()
        : path(std::filesystem::temp_directory_path() / ("settings-fuzz-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

}  // namespace

BRINDLECOR_FUZZ_TARGET(fuzzSettings) {
    static const ScratchFolder folder;
    static const std::string path = (folder.path / "Fuzz.conf").string();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(input.data(), static_cast<std::streamsize>(input.size()));
        if (!out) std::abort();
    }
    brindlecor::SettingsStore store(path);
    (void)store.getSetting("Password", "");
    // A damaged file is set aside on the first write; remove what that leaves so the folder stays small.
    if (!store.saveSetting("Fuzz", input)) std::abort();
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        if (entry.path().filename().string().find(".damaged-") != std::string::npos)
            std::filesystem::remove(entry.path());
    if (brindlecor::SettingsStore(path).getSetting("fuzz", "") != input) __builtin_trap();

    std::string back;
    if (!brindlecor::unescapeSetting(brindlecor::escapeSetting(input), back) || back != input)
        __builtin_trap();
    return 0;
}
