#include "builder/shell/target_lists.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace brindlecor::builder {
namespace {

class TargetListsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("target-lists-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    SettingsStore store() const { return SettingsStore((dir_ / "Tamarquill.conf").string()); }
    std::filesystem::path dir_;
};

TEST_F(TargetListsTest, IpListKeepsOneEntryPerAddressAndDropsTheOldest) {
    auto s = store();
    auto list = loadIPList(s);
    EXPECT_EQ(list, std::vector<std::string>(16));
    ASSERT_TRUE(addIPEntry(list, "192.168.1.40 Lab", s));
    ASSERT_TRUE(addIPEntry(list, "10.0.0.1", s));
    ASSERT_TRUE(addIPEntry(list, "192.168.1.40 Office", s));
    EXPECT_EQ(list[0], "192.168.1.40 Office");
    EXPECT_EQ(list[1], "10.0.0.1");
    EXPECT_EQ(list[2], "");

    // Choosing entry 3 makes it entry 1; entries 1 and 2 become 2 and 3.
    ASSERT_TRUE(addIPEntry(list, "172.16.0.9", s));
    const std::string third = list[2];
    ASSERT_TRUE(addIPEntry(list, third, s));
    EXPECT_EQ(list[0], "10.0.0.1");
    EXPECT_EQ(list[1], "172.16.0.9");
    EXPECT_EQ(list[2], "192.168.1.40 Office");

    for (int i = 1; i <= 17; ++i) ASSERT_TRUE(addIPEntry(list, "10.1.1." + std::to_string(i), s));
    EXPECT_EQ(list[0], "10.1.1.17");
    EXPECT_EQ(list[15], "10.1.1.2");
    // Written as "IPlist" n, read back as "IPList" n.
    EXPECT_EQ(loadIPList(store()), list);
    ASSERT_TRUE(clearIPList(list, s));
    EXPECT_EQ(loadIPList(store()), std::vector<std::string>(16));
}

TEST_F(TargetListsTest, RecentFilesMoveToTheTopAndPersist) {
    auto s = store();
    auto files = loadRecentFiles(s);
    for (const char* p : {"/a/1.kvd", "/a/2.kvd", "/a/3.kvd", "/a/4.kvd", "/a/2.kvd"})
        ASSERT_TRUE(addRecentFile(files, p, s));
    EXPECT_EQ(files, (std::vector<std::string>{"/a/2.kvd", "/a/4.kvd", "/a/3.kvd", "/a/1.kvd"}));
    EXPECT_EQ(loadRecentFiles(store()), files);
}

}  // namespace
}  // namespace brindlecor::builder
