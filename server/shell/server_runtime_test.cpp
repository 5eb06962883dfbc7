#include "server/shell/server_runtime.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace brindlecor::server {
namespace {

std::unique_ptr<QCoreApplication> ownApplication() {
    static int argc = 1;
    static char name[] = "server_runtime_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance()) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

struct Log : DeviceEffects {
    Log(std::vector<std::string>& events, std::string name) : events(events), name(std::move(name)) {}
    void serialOutput(uint8_t byte) override { events.push_back(name + " serial " + std::to_string(byte)); }
    void sendOutgoingDatagram() override { events.push_back(name + " datagram"); }
    void resetSerialPort() override { events.push_back(name + " reset"); }
    std::vector<std::string>& events;
    std::string name;
};

TEST(ServerRuntime, ForwardsDeviceEffectsToEveryRegisteredObjectInOrder) {
    auto app = ownApplication();
    ServerRuntime runtime(ServeOptions{});
    std::vector<std::string> events;
    Log first(events, "first"), second(events, "second");
    runtime.addEffects(&first);
    runtime.addEffects(&second);
    runtime.addEffects(&first);  // once is enough
    runtime.device().ramWrite(0xFF19, 'A');
    runtime.device().ramWrite(0xFF1E, 1);
    runtime.device().reset();
    runtime.removeEffects(&first);
    runtime.device().ramWrite(0xFF19, 'B');
    EXPECT_EQ(events, (std::vector<std::string>{"first serial 65", "second serial 65", "first datagram",
                                                "second datagram", "first reset", "second reset",
                                                "second serial 66"}));
}

TEST(ServerRuntime, VisitsKeepTheLastVisitorAndTheAccessCount) {
    auto app = ownApplication();
    ServerRuntime runtime(ServeOptions{});
    runtime.setPrintVisits(false);
    int signalled = 0;
    QObject::connect(&runtime, &ServerRuntime::visited, [&] { ++signalled; });
    EXPECT_EQ(runtime.accessCount(), 0);
    runtime.recordVisit("192.168.0.40");
    runtime.recordVisit("10.0.0.7");
    EXPECT_EQ(runtime.lastVisitor(), "10.0.0.7");
    EXPECT_EQ(runtime.accessCount(), 2);
    EXPECT_EQ(signalled, 2);
    EXPECT_TRUE(
        std::regex_match(runtime.accessCountText().toStdString(), std::regex(R"(\d\d:\d\d:\d\d      2)")))
        << runtime.accessCountText().toStdString();
}

TEST(ServerRuntime, OpenImageRefusesAndKeepsTheDevice) {
    auto app = ownApplication();
    ServerRuntime runtime(ServeOptions{});
    const auto error = runtime.openImage("/nonexistent/site.kvb");
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("/nonexistent/site.kvb"), std::string::npos);
    EXPECT_EQ(runtime.imagePath(), "");
    EXPECT_FALSE(runtime.reload()) << "nothing to reload";
}

TEST(ServerRuntime, ListenSequence) {
    // Each case: the options, and the tries in order when every one fails for lack of privilege (denied)
    // or for another reason.
    struct Case {
        uint16_t port;
        bool given;
        const char* bind;
        bool denied;
        std::vector<ListenAttempt> tries;
    } cases[] = {
        {80, false, "", true, {{false, 80}, {false, 8080}, {true, 8080}}},
        {80, false, "", false, {{false, 80}, {true, 80}}},
        {80, true, "", true, {{false, 80}, {true, 80}}},
        {9000, true, "", true, {{false, 9000}, {true, 9000}}},
        {80, false, "192.168.1.20", true, {{false, 80}, {false, 8080}}},
        {80, true, "127.0.0.1", true, {{false, 80}}},
    };
    for (const Case& c : cases) {
        ServeOptions options;
        options.httpPort = c.port;
        options.httpPortGiven = c.given;
        options.bindAddress = c.bind;
        std::vector<ListenAttempt> tries;
        for (std::optional<ListenAttempt> a = ListenAttempt{false, c.port}; a && tries.size() < 10;
             a = nextListenAttempt(*a, c.denied, options))
            tries.push_back(*a);
        EXPECT_EQ(tries, c.tries) << c.port << " given " << c.given << " bind " << c.bind;
    }
}

TEST(ServerRuntime, ListensAndClosesOnAFreePort) {
    auto app = ownApplication();
    ServeOptions options;
    options.httpPort = 0;
    options.httpPortGiven = true;
    ServerRuntime runtime(options);
    const ListenResult result = runtime.listen();
    ASSERT_TRUE(result);
    EXPECT_EQ(result.host, ListenResult::Host::Every);
    EXPECT_NE(result.port, 0);
    EXPECT_FALSE(result.movedFromPrivileged);
    EXPECT_EQ(runtime.address(), "http://127.0.0.1:" + QString::number(result.port) + "/");
    runtime.closeAll();
    EXPECT_FALSE(runtime.listening());
    EXPECT_EQ(runtime.address(), "");
}

}  // namespace
}  // namespace brindlecor::server
