// Fuzz target: the input as a settings file read by the store, one change written back and read again;
// and the input as a value, which must come back from the file byte for byte.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/settings_store.h"
#include "fuzz/fuzz_target.h"

namespace {

std::string scratchFile() {
    const auto folder =
        std::filesystem::temp_directory_path() / ("settings-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return (folder / "Fuzz.conf").string();
}

}  // namespace

BRINDLECOR_FUZZ_TARGET(fuzzSettings) {
    static const std::string path = scratchFile();
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
