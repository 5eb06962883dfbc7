#include "builder/image/image_file.h"

#include <cstdio>
#include <filesystem>
#include <random>

namespace brindlecor::builder {

namespace {

std::string temporaryNameBeside(const std::string& path) {
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(random()));
    return path + suffix;
}

}  // namespace

bool replaceFileContents(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = temporaryNameBeside(path);
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    std::error_code ec;
    if (written && closed) {
        std::filesystem::rename(temporary, path, ec);
        if (!ec) return true;
    }
    std::filesystem::remove(temporary, ec);
    return false;
}

}  // namespace brindlecor::builder
