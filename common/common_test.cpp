#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/ip_text.h"
#include "common/password.h"
#include "common/path_text.h"
#include "common/settings_store.h"
#include "common/text.h"

namespace brindlecor {
namespace {

TEST(IpText, IpToLongReadsOctetsAsDesigned) {
    struct Case {
        const char* text;
        uint32_t expected;
        bool fourOctets = true;
    } cases[] = {
        {"192.168.1.250", 0xFA01A8C0},  {"10 . 0 . 0 . 7", 0x0700000A}, {"1..2.3", 0x03020001},
        {"192.168.1", 0, false},        {"10.0.0.7 x", 0x0700000A},     {"10.0.0.7 rack 2", 0x4800000A},
        {"", 0, false},                 {"255.255.255.255", 0xFFFFFFFF}, {"1.2.3.4.5", 0x04030201},
        {"192.168.0.200", 0xC800A8C0},  {"1.2.3.", 0, false},           {"0.0.0.0", 0},
    };
    for (const auto& c : cases) {
        auto v = IP_to_Long(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_EQ(*v, c.expected) << c.text;
        EXPECT_EQ(hasFourOctets(c.text), c.fourOctets) << c.text;
    }
    EXPECT_FALSE(IP_to_Long("1.2.3.256").has_value());
    EXPECT_FALSE(IP_to_Long("1.2.99999999999999999999.4").has_value());
    EXPECT_EQ(Long_to_IP(0xFA01A8C0), "192.168.1.250");
    EXPECT_EQ(addressPart("192.168.1.250 Boiler room"), "192.168.1.250");
    EXPECT_EQ(addressPart("10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(addressPart(""), "");
}

TEST(Text, Utf8FromWindows1252) {
    EXPECT_EQ(utf8FromWindows1252("Room 12"), "Room 12");
    EXPECT_EQ(utf8FromWindows1252("\xE9\x80\x9F\x81\xFF"), "\u00E9\u20AC\u0178\u0081\u00FF");
}

TEST(Password, ScramblingAndFields) {
    auto s = scramblePassword("abc");
    const std::string expected = fixedField("abc", 16);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(s[i], static_cast<uint8_t>(expected[i] ^ kScrambleKey[i])) << i;
    // The key digit itself scrambles to 0x00, which the settings store must keep.
    EXPECT_EQ(scramblePassword("9")[0], 0x00);
    auto none = scramblePassword(noPasswordField(16));
    for (auto b : none) EXPECT_EQ(b, 0xFF);
    EXPECT_EQ(fixedField("abcdefghijklmnopqrs", 16), "abcdefghijklmnop");
    EXPECT_TRUE(isAllSpaces(fixedField("", 16)));
}

TEST(Text, LowerCaseFollowsWindows1252) {
    EXPECT_EQ(lowerCase("Index.HTM"), "index.htm");
    EXPECT_EQ(lowerCase("\xC4\xD7\xDE\x8A\x9F\xDF"), "\xE4\xD7\xFE\x9A\xFF\xDF");
    EXPECT_EQ(trimSpaces("  a b  "), "a b");
}

TEST(Text, Utf8ToWindows1252) {
    struct Case {
        std::string_view utf8;
        std::optional<std::string> bytes;
    } cases[] = {
        {"Lab 7", "Lab 7"},
        {"K\xC3\xBC" "che \xE2\x82\xAC", "K\xFC" "che \x80"},  // ü and the euro sign
        {"\xC5\xB8\xC3\xBF", "\x9F\xFF"},
        {"\xE4\xB8\xAD", std::nullopt},          // a character Windows-1252 lacks
        {"\xC2\x81", std::nullopt},               // U+0081, a byte Windows-1252 leaves unused
        {"K\xFC" "che", std::nullopt},             // Windows-1252 already: not UTF-8
        {"\xC0\xA0", std::nullopt},               // an overlong space
        {"\xC3", std::nullopt},                    // cut short
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToWindows1252(c.utf8), c.bytes) << c.utf8;
        if (c.bytes) EXPECT_EQ(windows1252ToUtf8(*c.bytes), c.utf8) << "and back";
    }
}

TEST(PathText, DisplayNameDirectoryAndRecentList) {
    EXPECT_EQ(pathDisplayName("C:\\sites\\demo\\demo.kvd"), "..\\demo\\demo.kvd");
    EXPECT_EQ(pathDisplayName("/home/u/demo/demo.kvd"), "../demo/demo.kvd");
    EXPECT_EQ(pathDisplayName("C:\\x.kvd"), "");
    EXPECT_EQ(pathDirectory("/a/b/c.kvb"), "/a/b");
    EXPECT_EQ(pathDirectory("c:x.kvb"), "c:");
    EXPECT_EQ(pathDirectory("plain"), executableFolder());

    std::vector<std::string> list{"a", "b", "c", "d"};
    EXPECT_FALSE(addRecentEntry(list, "a"));
    EXPECT_TRUE(addRecentEntry(list, "d"));
    EXPECT_EQ(list, (std::vector<std::string>{"d", "a", "b", "c"}));
    EXPECT_TRUE(addRecentEntry(list, "e"));
    EXPECT_EQ(list, (std::vector<std::string>{"e", "d", "a", "b"}));
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        file_ = (dir_ / "Tamarquill.conf").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
    std::string file_;
};

TEST_F(SettingsStoreTest, KeysIgnoreCaseAndValuesKeepEveryByte) {
    SettingsStore store(file_);
    EXPECT_EQ(store.getSetting("DownloadPort", "26481"), "26481");
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    ASSERT_TRUE(store.saveSetting("Password", all));
    ASSERT_TRUE(store.saveSetting("IPlist1", " 10.0.0.1 lab "));
    ASSERT_TRUE(store.saveSetting("IPList1", "10.0.0.2"));
    ASSERT_TRUE(store.saveSetting("#not a comment", "[x]"));
    ASSERT_TRUE(store.saveSetting("[Config]", "k=v"));

    SettingsStore reread(file_);
    EXPECT_EQ(reread.getSetting("password", ""), all);
    EXPECT_EQ(reread.getSetting("IPLIST1", ""), "10.0.0.2");
    EXPECT_EQ(reread.getSetting("#not a comment", ""), "[x]");
    EXPECT_EQ(reread.getSetting("[config]", ""), "k=v");
    EXPECT_TRUE(reread.deleteSetting("iplist1"));
    EXPECT_TRUE(reread.deleteSetting("never-there"));
    EXPECT_EQ(SettingsStore(file_).getSetting("IPList1", "127.0.0.1"), "127.0.0.1");
}

TEST_F(SettingsStoreTest, DamagedFileReadsAsDefaultsAndIsKept) {
    std::filesystem::create_directories(dir_);
    std::ofstream(file_) << "[Config]\nPassword=\\q\n";
    SettingsStore store(file_);
    EXPECT_TRUE(store.damaged());
    EXPECT_EQ(store.getSetting("Password", "none"), "none");
    ASSERT_TRUE(store.saveSetting("Top", "10"));
    int kept = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
        if (e.path().filename().string().find(".damaged-") != std::string::npos) ++kept;
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(SettingsStore(file_).getSetting("top", ""), "10");
}

TEST_F(SettingsStoreTest, UnwritableFolderIsReported) {
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "blocker") << "x";
    SettingsStore store((dir_ / "blocker" / "Tamarquill.conf").string());
    EXPECT_FALSE(store.saveSetting("Top", "1"));
    EXPECT_FALSE(store.lastError().empty());
}

TEST_F(SettingsStoreTest, TwoProcessesChangingDifferentKeysAtOnceKeepEveryChange) {
    constexpr int kKeys = 1000;
    std::vector<pid_t> writers;
    for (const char* prefix : {"Tool", "Window"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SettingsStore store(file_);
            bool ok = true;
            for (int i = 0; i < kKeys; ++i) ok = store.saveSetting(prefix + std::to_string(i), "v") && ok;
            ::_exit(ok ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const SettingsStore after(file_);
    EXPECT_FALSE(after.damaged());
    int missing = 0;
    for (const char* prefix : {"Tool", "Window"})
        for (int i = 0; i < kKeys; ++i) missing += after.getSetting(prefix + std::to_string(i), "") != "v";
    EXPECT_EQ(missing, 0);
}

}  // namespace
}  // namespace brindlecor
