#include "server/shell/serve_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace brindlecor::server {
namespace {

class ServeOptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ =
            (std::filesystem::temp_directory_path() / ("serve-options-" + std::to_string(getpid()) + ".conf"))
                .string();
        std::filesystem::remove(path_);
    }
    void TearDown() override { std::filesystem::remove(path_); }
    std::string path_;
};

TEST_F(ServeOptionsTest, DefaultsAndSettings) {
    SettingsStore settings(path_);
    ServeOptions o;
    ASSERT_FALSE(parseServeOptions({"site.kvb"}, settings, o));
    EXPECT_EQ(o.imagePath, "site.kvb");
    EXPECT_EQ(o.httpPort, 80);
    EXPECT_EQ(o.downloadPort, 26481);
    EXPECT_EQ(o.namePort, 26480);
    EXPECT_EQ(o.ramPort, 26482);
    EXPECT_EQ(o.datagramPort, 4096);
    EXPECT_EQ(o.serialPath, "");
    EXPECT_EQ(o.bindAddress, "");
    EXPECT_EQ(o.idleTimeoutMs, 10000);
    EXPECT_EQ(o.eraseDelayMs, 1000);
    EXPECT_FALSE(o.reloadOnChange);
    EXPECT_FALSE(o.pageHeadersOn()) << "auto is off on port 80";
    EXPECT_FALSE(o.requirePasswords);
    EXPECT_FALSE(o.httpPortGiven);

    ASSERT_TRUE(settings.saveSetting("httpport", "8080"));
    ASSERT_TRUE(settings.saveSetting("PageHeaders", "off"));
    ASSERT_TRUE(settings.saveSetting("RequirePasswords", "On"));
    ServeOptions fromSettings;
    ASSERT_FALSE(parseServeOptions({"site.kvb"}, SettingsStore(path_), fromSettings));
    EXPECT_EQ(fromSettings.httpPort, 8080);
    EXPECT_TRUE(fromSettings.httpPortGiven);
    EXPECT_FALSE(fromSettings.pageHeadersOn());
    EXPECT_TRUE(fromSettings.requirePasswords);
    ASSERT_TRUE(settings.saveSetting("RequirePasswords", "off"));

    ServeOptions all;
    ASSERT_FALSE(parseServeOptions({"--http-port", "9000", "--bind=127.0.0.1", "--download-port", "1",
                                    "--name-port", "2", "--ram-port", "3", "--datagram-port", "4", "--serial",
                                    "/dev/pts/9", "--page-headers", "auto", "--idle-timeout", "2",
                                    "--require-passwords", "--erase-delay", "0", "--reload-on-change",
                                    "x.kvb"},
                                   SettingsStore(path_), all));
    EXPECT_EQ(all.httpPort, 9000);
    EXPECT_TRUE(all.httpPortGiven);
    EXPECT_EQ(all.bindAddress, "127.0.0.1");
    EXPECT_EQ(all.downloadPort, 1);
    EXPECT_EQ(all.namePort, 2);
    EXPECT_EQ(all.ramPort, 3);
    EXPECT_EQ(all.datagramPort, 4);
    EXPECT_EQ(all.serialPath, "/dev/pts/9");
    EXPECT_EQ(all.idleTimeoutMs, 2000);
    EXPECT_EQ(all.eraseDelayMs, 0);
    EXPECT_TRUE(all.reloadOnChange);
    EXPECT_TRUE(all.pageHeadersOn()) << "auto is on away from port 80";
    EXPECT_EQ(all.imagePath, "x.kvb");
    EXPECT_TRUE(all.requirePasswords);

    // The window takes the same options without an image.
    ServeOptions window;
    ASSERT_FALSE(parseServeOptions({"--http-port=80"}, SettingsStore(path_), window, false));
    EXPECT_TRUE(window.httpPortGiven) << "80 asked for is not the default 80";
    EXPECT_EQ(window.imagePath, "");
}

TEST_F(ServeOptionsTest, UsageErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "no image given"},
        {{"a.kvb", "b.kvb"}, "more than one image"},
        {{"a.kvb", "--http-port"}, "needs a value"},
        {{"a.kvb", "--http-port", "65536"}, "port number"},
        {{"a.kvb", "--ram-port", "-1"}, "port number"},
        {{"a.kvb", "--name-port", "12x"}, "port number"},
        {{"a.kvb", "--page-headers", "yes"}, "auto, on or off"},
        {{"a.kvb", "--idle-timeout", "0"}, "seconds"},
        {{"a.kvb", "--erase-delay", "-5"}, "milliseconds 0-60000"},
        {{"a.kvb", "--erase-delay", "60001"}, "milliseconds 0-60000"},
        {{"a.kvb", "--serial="}, "device path"},
        {{"a.kvb", "--colour", "red"}, "unknown option --colour"},
    };
    for (const auto& c : cases) {
        ServeOptions o;
        const auto error = parseServeOptions(c.args, SettingsStore(path_), o);
        ASSERT_TRUE(error) << c.message;
        EXPECT_NE(error->find(c.message), std::string::npos) << *error;
    }
    for (const auto& [key, value] : {std::pair{"HttpPort", "eighty"}, {"RequirePasswords", "maybe"}}) {
        SettingsStore fresh(path_);
        ASSERT_TRUE(fresh.deleteSetting("HttpPort"));
        ASSERT_TRUE(fresh.saveSetting(key, value));
        ServeOptions o;
        const auto error = parseServeOptions({"a.kvb"}, SettingsStore(path_), o);
        ASSERT_TRUE(error) << key;
        EXPECT_NE(error->find(key), std::string::npos) << *error;
    }
}

}  // namespace
}  // namespace brindlecor::server
