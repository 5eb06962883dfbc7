// Every stored corpus file through its fuzz target, in the ordinary test suite: a finding, once its input is
// kept under fuzz/corpus/, stays fixed without clang or libFuzzer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_target.h"

namespace {

struct Target {
    const char* folder;
    int (*entry)(const uint8_t*, size_t);
};

const Target kTargets[] = {
    {"http_request_fuzz", fuzzHttpRequest},   {"image_fuzz", fuzzImage},
    {"image_inspect_fuzz", fuzzImageInspect}, {"datagram_fuzz", fuzzDatagram},
    {"definitions_fuzz", fuzzDefinitions},    {"settings_fuzz", fuzzSettings},
};

TEST(FuzzCorpus, EveryStoredInputRunsThroughEveryTarget) {
    const std::filesystem::path corpus = std::filesystem::path(BRINDLECOR_SOURCE_DIR) / "fuzz" / "corpus";
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    ASSERT_GE(inputs.size(), std::size(kTargets));
    for (const Target& target : kTargets) {
        EXPECT_TRUE(std::filesystem::is_directory(corpus / target.folder))
            << target.folder << " has no corpus";
        // Each target takes every input, its own and the others': bytes meant for one are hostile to the
        // rest.
        for (const auto& path : inputs) {
            SCOPED_TRACE(std::string(target.folder) + " <- " + path.string());
            std::ifstream in(path, std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                             std::istreambuf_iterator<char>()};
            EXPECT_EQ(target.entry(bytes.data(), bytes.size()), 0);
        }
    }
}

}  // namespace
