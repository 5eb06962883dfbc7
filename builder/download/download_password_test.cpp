#include "builder/download/download_password.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "builder/download/download_target.h"

namespace brindlecor::builder {
namespace {

struct TempSettings {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("dlpw-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".conf"))
                           .string();
    ~TempSettings() { std::filesystem::remove(path); }
    static inline int counter = 0;
};

TEST(DownloadPassword, ClearTextToRequestBytes) {
    const char* key = "9081726354453627";
    auto scrambled = [&](std::string clear) {
        clear.resize(16, ' ');
        PasswordBytes b;
        for (int i = 0; i < 16; ++i) b[i] = static_cast<uint8_t>(clear[i] ^ key[i]);
        return b;
    };
    PasswordBytes none;
    none.fill(0xFF);
    struct Case {
        std::string clear;
        PasswordBytes bytes;
    } cases[] = {
        {"abc", scrambled("abc")},
        {"", none},
        {"      ", none},
        {std::string(16, '\xFF'), none},
        {"0123456789abcdefXYZ", scrambled("0123456789abcdef")},  // cut after 16
        {"9", scrambled("9")},                                   // first byte 0x00
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clear);
        EXPECT_EQ(downloadPasswordBytes(c.clear), c.bytes);
    }
    EXPECT_EQ(downloadPasswordBytes("abc")[0], 'a' ^ '9');
}

TEST(DownloadPassword, EnteredPasswordIsStoredScrambledAndNoneDeletesTheKey) {
    TempSettings file;
    std::string error;
    {
        SettingsStore store(file.path);
        EXPECT_EQ(loadDownloadPassword(store), downloadPasswordBytes(""));
        // "9" scrambles to a 0x00 byte, which the store must keep.
        const PasswordBytes entered = enterDownloadPassword("9 x", store, error);
        EXPECT_TRUE(error.empty());
        EXPECT_EQ(entered, downloadPasswordBytes("9 x"));
    }
    {
        SettingsStore store(file.path);
        const PasswordBytes expected = downloadPasswordBytes("9 x");
        EXPECT_EQ(store.getSetting("Password", "absent"), std::string(expected.begin(), expected.end()));
        EXPECT_EQ(loadDownloadPassword(store), downloadPasswordBytes("9 x"));
        EXPECT_TRUE(isNoDownloadPassword(enterDownloadPassword("", store, error)));
    }
    SettingsStore store(file.path);
    EXPECT_EQ(store.getSetting("Password", "absent"), "absent");
}

TEST(DownloadTarget, DefaultsAndStoredValues) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> settings;
        std::string address;
        int port;
    } cases[] = {
        {{}, "127.0.0.1", 26481},
        {{{"IPlist1", "192.168.1.40 Boiler room"}, {"DownloadPort", "9000"}}, "192.168.1.40", 9000},
        {{{"IPList1", ""}, {"DownloadPort", "70000"}}, "127.0.0.1", 26481},
    };
    for (const auto& c : cases) {
        TempSettings file;
        SettingsStore store(file.path);
        for (const auto& [k, v] : c.settings) store.saveSetting(k, v);
        const DownloadTarget target = loadDownloadTarget(store);
        EXPECT_EQ(target.address, c.address);
        EXPECT_EQ(target.port, c.port);
    }
}

}  // namespace
}  // namespace brindlecor::builder
