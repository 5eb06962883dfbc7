// The server's window as a user meets it: started on a settings folder of the test's own with free ports,
// driven through its actions and shortcuts with every box answered as a user would, read back through its
// widgets, the accessibility interface and the settings file; visitors, datagrams and a host controller on a
// pseudo-terminal come from the test.
#include "server/shell/window/server_window.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <future>
#include <regex>

#include "common/image_layout.h"
#include "common/settings_store.h"
#include "server/emulation/image_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/modal_answers.h"
#include "tests/support/program.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/qt_application.h"

namespace brindlecor::server {
namespace {

using brindlecor::testing::ModalAnswers;
using brindlecor::testing::PseudoTerminal;
using brindlecor::testing::TempDir;
namespace img = brindlecor::image;

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new brindlecor::testing::QtApplication("brindlecorpc_window_tests"));

// An image whose byte object "temp" at RAM 0x40 starts at the given value, with a page that shows it.
std::string image(uint8_t temp) {
    return brindlecor::testing::ImageFixture()
        .ram(0x40, std::string(1, static_cast<char>(temp)))
        .object("temp", 0x40, 1, img::kObjectEntry | img::kTypeByte)
        .file("index.htm", img::kFilePage, "Temp: ^\x83\x40\x00\x98 C")
        .text();
}

// The server answers on this thread: what blocks (a request, a host waiting for a reply) runs beside it
// while the events are served here.
template <typename Work>
auto whileServing(Work work) {
    auto result = std::async(std::launch::async, work);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20000));
    return result.get();
}

std::string get(int port, const std::string& target) {
    return whileServing([=] { return brindlecor::testing::httpGet(port, target); });
}

// A TCP port held by the test on every interface, so that the window cannot listen on it.
class HeldPort {
  public:
    explicit HeldPort(uint32_t address = INADDR_ANY) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(address);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 1);
        socklen_t length = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~HeldPort() { ::close(fd_); }
    int port() const { return port_; }

  private:
    int fd_;
    int port_ = 0;
};

// True when the test can bind the UDP port itself, i.e. the window holds no socket on it.
bool udpPortFree(int port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Stands in for the desktop's URL handler.
class UrlCatcher : public QObject {
    Q_OBJECT

  public:
    QStringList urls;

  public slots:
    void open(const QUrl& url) { urls << url.toString(); }
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", dir_.file("config").c_str());
        qputenv("HOME", dir_.path().c_str());
        options_.httpPort = static_cast<uint16_t>(brindlecor::testing::freePort());
        options_.httpPortGiven = true;
        options_.pageHeaders = PageHeaderMode::Off;
        options_.downloadPort = static_cast<uint16_t>(brindlecor::testing::freePort(true));
        options_.namePort = static_cast<uint16_t>(brindlecor::testing::freePort(true));
        options_.ramPort = static_cast<uint16_t>(brindlecor::testing::freePort(true));
        options_.datagramPort = static_cast<uint16_t>(brindlecor::testing::freePort(true));
        dir_.write("site/a.kvb", image(25));
    }
    void TearDown() override { window_.reset(); }

    ServerWindow& open() {
        window_ = std::make_unique<ServerWindow>(options_);
        window_->startup();
        window_->show();
        return *window_;
    }
    // Shortcuts reach the active window only.
    void activate() {
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }
    QAction* action(const QString& name) {
        QAction* a = window_->action(name);
        EXPECT_NE(a, nullptr) << name.toStdString();
        return a;
    }
    QString text(int box) {
        return window_->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(box))->text();
    }
    QString panel() { return window_->findChild<QLabel*>("SBPanel1")->text(); }
    SettingsStore store() { return SettingsStore(dir_.file("config/BrindlecorPC.conf")); }
    std::string setting(const char* key) { return store().getSetting(key, "<absent>"); }
    void save(const char* key, const std::string& value) { ASSERT_TRUE(store().saveSetting(key, value)); }
    QString address() {
        return "http://" + QString::fromStdString(ServerSession::localAddress()) + ":" +
               QString::number(options_.httpPort);
    }
    // The Comm menu opens, as a click or Alt+C opens it, and closes again.
    void openCommMenu() {
        auto* menu = window_->findChild<QMenu*>("mnuCOMMs");
        menu->popup(window_->mapToGlobal(QPoint(0, 0)));
        QApplication::processEvents();
        menu->hide();
    }
    std::vector<bool> commChecks() {
        std::vector<bool> out;
        for (int i = 1; i <= 4; ++i) out.push_back(action(QString("mnuCOMM%1").arg(i))->isChecked());
        return out;
    }

    TempDir dir_;
    ServeOptions options_;
    std::unique_ptr<ServerWindow> window_;
};

TEST_F(WindowTest, StartsAsDesigned) {
    auto& w = open();
    EXPECT_EQ(w.objectName(), "Form1");
    const std::vector<std::pair<const char*, const char*>> captions = {
        {"mnuFile", "&File"},   {"mnuOpen", "&Open"},
        {"mnuExit", "E&xit"},   {"mnuBrowser", "&Browser"},
        {"mnuCOMMs", "&Comm"},  {"mnuCOMM1", "COM&1"},
        {"mnuCOMM2", "COM&2"},  {"mnuCOMM3", "COM&3"},
        {"mnuCOMM4", "COM&4"},  {"mnuReload", "&Reload"},
        {"mnuAbout", "&About"}, {"mnuVersion", "BrindlecorPC(tm) Version 1.1 Build #3"},
    };
    for (const auto& [name, caption] : captions) EXPECT_EQ(action(name)->text(), caption) << name;
    EXPECT_FALSE(action("mnuBrowser")->isEnabled());
    EXPECT_FALSE(action("mnuReload")->isEnabled());
    for (int i = 1; i <= 4; ++i) {
        EXPECT_FALSE(action(QString("mnuPrevFiles%1").arg(i))->isVisible()) << i;
        QAction* com = action(QString("mnuCOMM%1").arg(i));
        EXPECT_TRUE(com->isCheckable() && !com->isChecked()) << i;
        EXPECT_EQ(com->statusTip(), QString("/dev/ttyS%1").arg(i - 1));
    }

    QStringList bar, file;
    for (QAction* a : w.menuBar()->actions()) bar << a->objectName();
    EXPECT_EQ(bar.join(","), "mnuFile,mnuBrowser,mnuCOMMs,mnuReload,mnuAbout");
    for (QAction* a : w.findChild<QMenu*>("mnuFile")->actions())
        file << (a->isSeparator() ? QString("-") : a->objectName());
    EXPECT_EQ(file.join(","), "mnuOpen,-,mnuPrevFiles1,mnuPrevFiles2,mnuPrevFiles3,mnuPrevFiles4,-,mnuExit");

    // Each box is named by its label; the status bar's panel is a label.
    const char* labels[] = {"My Address:", "Last Visitor:", "Access Count:"};
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(w.findChild<QLabel*>(QString("Label%1").arg(i))->text(), labels[i - 1]);
        auto* box = w.findChild<QLineEdit*>(QString("Text%1").arg(i));
        EXPECT_EQ(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name), labels[i - 1]);
        EXPECT_EQ(text(i), "");
    }
    EXPECT_EQ(panel(), "");
    EXPECT_NE(w.statusBar()->objectName(), "");
    EXPECT_EQ(w.statusBar()->objectName(), "SB");
    EXPECT_EQ(w.size(), w.designedSize());
    w.resize(600, 400);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.size() == w.designedSize(); }, 2000)) << "a fixed size";
    EXPECT_TRUE(udpPortFree(options_.downloadPort)) << "nothing is bound before an image is opened";
    EXPECT_EQ(brindlecor::testing::connectTo(options_.httpPort), -1);
}

TEST_F(WindowTest, OpenDialogAndRecentImages) {
    for (const char* name : {"b", "c", "d", "e"}) dir_.write(std::string("site/") + name + ".kvb", image(25));
    dir_.write("site/x.KVB", image(25));
    dir_.write("site/notes.txt", "");
    auto& w = open();
    ModalAnswers answers;
    QStringList filters, patterns;
    QString folder;
    answers.add(brindlecor::testing::chooseFile(
        QString::fromStdString(dir_.file("site/a.kvb")), [&](QFileDialog* dialog) {
            filters = dialog->nameFilters();
            folder = dialog->directory().absolutePath();
            patterns = dialog->findChild<QFileSystemModel*>()->nameFilters();
        }));
    action("mnuOpen")->trigger();
    EXPECT_EQ(filters.join("|"), "Brindlecor Binary Files (*.KVB)|All Files (*.*)");
    EXPECT_EQ(folder, QString::fromStdString(dir_.path())) << "the home folder without an image";
    EXPECT_TRUE(patterns.contains("*.kvb") && patterns.contains("*.KVB")) << patterns.join(" ").toStdString();
    EXPECT_EQ(w.session().imagePath(), dir_.file("site/a.kvb"));
    EXPECT_EQ(panel().toStdString(), dir_.file("site/a.kvb"));
    EXPECT_EQ(text(1), address());
    EXPECT_TRUE(action("mnuBrowser")->isEnabled());
    EXPECT_TRUE(action("mnuReload")->isEnabled());
    EXPECT_EQ(get(options_.httpPort, "/"), "Temp: 25 C");
    EXPECT_FALSE(udpPortFree(options_.downloadPort));
    EXPECT_FALSE(udpPortFree(options_.namePort));
    EXPECT_FALSE(udpPortFree(options_.ramPort));
    EXPECT_FALSE(udpPortFree(options_.datagramPort));

    // The next Open starts in the folder of the image; Ctrl+O is Open, and a cancel changes nothing.
    activate();
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(answers.seen.size(), 2u);
    answers.add(
        brindlecor::testing::chooseFile(QString::fromStdString(dir_.file("site/b.kvb")),
                                        [&](QFileDialog* d) { folder = d->directory().absolutePath(); }));
    action("mnuOpen")->trigger();
    EXPECT_EQ(folder.toStdString(), dir_.file("site"));

    // The list rules, step by step: (what is opened, the list afterwards by letter).
    const auto path = [&](char c) { return dir_.file(std::string("site/") + c + ".kvb"); };
    struct Step {
        char open;  // a letter, or the number of a recent entry
        const char* list;
    } steps[] = {{'c', "cba-"}, {'d', "dcba"}, {'2', "cdba"}, {'1', "cdba"},
                 {'4', "acdb"}, {'e', "eacd"}, {'e', "eacd"}, {'3', "cead"}};
    for (const Step& s : steps) {
        if (s.open >= '1' && s.open <= '4')
            action(QString("mnuPrevFiles%1").arg(s.open))->trigger();
        else
            w.openFromOutside(QString::fromStdString(path(s.open)));
        std::string list;
        for (const std::string& p : w.session().recentImages()) list += p.empty() ? '-' : p[p.size() - 5];
        EXPECT_EQ(list, s.list) << "after " << s.open;
        EXPECT_EQ(setting("EditFile1"), path(s.list[0])) << "after " << s.open;
        EXPECT_EQ(setting("EditFile4"), s.list[3] == '-' ? "" : path(s.list[3])) << "after " << s.open;
    }
    EXPECT_EQ(action("mnuPrevFiles1")->text().toStdString(), "&1 ../site/c.kvb");
    EXPECT_EQ(action("mnuPrevFiles4")->text().toStdString(), "&4 ../site/d.kvb");
    EXPECT_TRUE(action("mnuPrevFiles4")->isVisible());

    // A dropped image opens as Open does; a dropped text file is refused.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.file("site/x.KVB")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    EXPECT_EQ(w.session().imagePath(), dir_.file("site/x.KVB"));
    QMimeData notes;
    notes.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.file("site/notes.txt")))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &notes, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &refused);
    EXPECT_FALSE(refused.isAccepted());

    // A recent image that is gone is reported and changes nothing: the old image goes on serving.
    std::filesystem::remove(path('c'));
    action("mnuPrevFiles2")->trigger();
    ASSERT_EQ(answers.seen.size(), 4u);
    EXPECT_EQ(answers.seen.back().toStdString(), "BrindlecorPC Error|Cannot open image file " + path('c'));
    EXPECT_EQ(answers.icons.back(), QMessageBox::Critical);
    EXPECT_EQ(w.session().imagePath(), dir_.file("site/x.KVB"));
    EXPECT_EQ(setting("EditFile2"), path('c'));
    EXPECT_EQ(get(options_.httpPort, "/temp"), "25\r\n");
}

TEST_F(WindowTest, ListenFailureAndTheLoopbackFallback) {
    HeldPort held;
    options_.httpPort = static_cast<uint16_t>(held.port());
    auto& w = open();
    ModalAnswers answers;
    w.openFromOutside(QString::fromStdString(dir_.file("site/a.kvb")));
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0], "BrindlecorPC Error|Winsock Error - Cannot Listen");
    EXPECT_EQ(answers.icons[0], QMessageBox::Critical);
    EXPECT_EQ(text(1), "");
    EXPECT_EQ(panel().toStdString(), dir_.file("site/a.kvb"));
    EXPECT_EQ(setting("EditFile1"), dir_.file("site/a.kvb"));
    EXPECT_FALSE(action("mnuBrowser")->isEnabled());
    EXPECT_FALSE(action("mnuReload")->isEnabled());
    EXPECT_TRUE(udpPortFree(options_.downloadPort)) << "no UDP socket is bound";
    window_.reset();

    // Every interface refused, because another program holds the port on this computer's own address:
    // the loopback address still takes it.
    const std::string local = ServerSession::localAddress();
    if (local == "127.0.0.1") GTEST_SKIP() << "no address but the loopback one";
    in_addr a{};
    inet_pton(AF_INET, local.c_str(), &a);
    HeldPort outside(ntohl(a.s_addr));
    options_.httpPort = static_cast<uint16_t>(outside.port());
    open().openFromOutside(QString::fromStdString(dir_.file("site/a.kvb")));
    EXPECT_EQ(text(1), "http://localhost:" + QString::number(outside.port()));
    EXPECT_EQ(get(outside.port(), "/"), "Temp: 25 C");
    EXPECT_TRUE(action("mnuBrowser")->isEnabled());
}

TEST_F(WindowTest, VisitorsAndDatagramsShowAtOnce) {
    auto& w = open();
    w.openFromOutside(QString::fromStdString(dir_.file("site/a.kvb")));
    const std::regex stamp(R"(\d\d:\d\d:\d\d {6}(\d+))");
    const auto count = [&]() -> std::string {
        std::smatch m;
        const std::string t = text(3).toStdString();
        return std::regex_match(t, m, stamp) ? m[1].str() : "'" + t + "'";
    };
    EXPECT_EQ(get(options_.httpPort, "/"), "Temp: 25 C");
    EXPECT_EQ(text(2), "127.0.0.1");
    EXPECT_EQ(count(), "1");

    // (port, datagram, the access count afterwards, whether it is answered)
    brindlecor::testing::UdpPeer peer;
    struct Case {
        int port;
        std::string datagram;
        const char* count;
        bool answered;
    } cases[] = {
        {options_.namePort, "?", "2", true},
        {options_.downloadPort, "<<brindlecor startup>>", "3", false},
        {options_.ramPort, std::string("\x01\xFE\x40\x00\x1E", 5), "3", false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(peer.sendTo(c.port, c.datagram));
        if (c.answered) {
            EXPECT_TRUE(whileServing([&] { return peer.receive(); })) << c.port;
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return count() == c.count; }, 5000)) << count();
    }
    EXPECT_EQ(get(options_.httpPort, "/temp"), "30\r\n") << "the RAM write service wrote 30";
    EXPECT_EQ(count(), "4");
}

TEST_F(WindowTest, ReloadReadsTheFileAgain) {
    auto& w = open();
    ModalAnswers answers;
    w.openFromOutside(QString::fromStdString(dir_.file("site/a.kvb")));
    dir_.write("site/a.kvb", image(30));
    EXPECT_EQ(get(options_.httpPort, "/temp"), "25\r\n");
    action("mnuReload")->trigger();
    EXPECT_EQ(get(options_.httpPort, "/temp"), "30\r\n");
    dir_.write("site/a.kvb", image(31));
    activate();
    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_EQ(get(options_.httpPort, "/temp"), "31\r\n") << "F5 is Reload";

    // A file grown too big is reported and the device keeps what it had; a file that is gone is no reload.
    dir_.write("site/a.kvb", std::string(49153, '\xFF'));
    action("mnuReload")->trigger();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_TRUE(answers.seen[0].startsWith("BrindlecorPC Error|Image file "))
        << answers.seen[0].toStdString();
    std::filesystem::remove(dir_.file("site/a.kvb"));
    action("mnuReload")->trigger();
    EXPECT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(get(options_.httpPort, "/temp"), "31\r\n");
}

TEST_F(WindowTest, CommMenuProbesSelectsAndForgetsPorts) {
    PseudoTerminal first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    dir_.write("not-a-tty", "");
    const std::string paths[] = {first.slavePath(), second.slavePath(), dir_.file("missing"),
                                 dir_.file("not-a-tty")};
    for (int i = 0; i < 4; ++i) save(("CommDevice" + std::to_string(i + 1)).c_str(), paths[i]);
    auto& w = open();
    ModalAnswers answers;
    openCommMenu();
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(action(QString("mnuCOMM%1").arg(i))->isEnabled(), i <= 2) << i;
        EXPECT_EQ(action(QString("mnuCOMM%1").arg(i))->statusTip().toStdString(), paths[i - 1]);
    }

    // (the entry chosen, the check marks afterwards, "CommPort" afterwards)
    struct Step {
        int entry;
        std::vector<bool> checks;
        const char* saved;
    } steps[] = {
        {1, {true, false, false, false}, "1"},
        {2, {false, true, false, false}, "2"},
        {2, {false, false, false, false}, "<absent>"},
        {1, {true, false, false, false}, "1"},
    };
    for (const Step& s : steps) {
        action(QString("mnuCOMM%1").arg(s.entry))->trigger();
        EXPECT_EQ(commChecks(), s.checks) << "after COM" << s.entry;
        EXPECT_EQ(setting("CommPort"), s.saved) << "after COM" << s.entry;
    }
    ASSERT_TRUE(first.waitUntilOpened());
    // The host reads RAM through the port once an image is loaded; the reset at the open keeps the port.
    w.openFromOutside(QString::fromStdString(dir_.file("site/a.kvb")));
    EXPECT_EQ(commChecks(), (std::vector<bool>{true, false, false, false}));
    first.write(std::string("\xC0\x40", 2));
    EXPECT_EQ(whileServing([&] { return first.read(1); }), std::string(1, 25));
    // Opening the menu leaves the open port open and checked.
    openCommMenu();
    EXPECT_TRUE(action("mnuCOMM1")->isEnabled());
    EXPECT_EQ(commChecks(), (std::vector<bool>{true, false, false, false}));
    first.write(std::string("\xC0\x40", 2));
    EXPECT_EQ(whileServing([&] { return first.read(1); }), std::string(1, 25));
    EXPECT_TRUE(answers.seen.empty());

    // A port that will not open: the warning, and the port that was open stays closed.
    save("CommDevice2", dir_.file("missing"));
    action("mnuCOMM2")->trigger();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0], "BrindlecorPC|COM2 Not Available");
    EXPECT_EQ(answers.icons[0], QMessageBox::Warning);
    EXPECT_EQ(commChecks(), (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(setting("CommPort"), "1") << "the setting is only changed by a port that opens";

    // The next start opens the saved port, or warns when it cannot.
    window_.reset();
    open();
    EXPECT_EQ(commChecks(), (std::vector<bool>{true, false, false, false}));
    window_.reset();
    save("CommPort", "3");
    open();
    ASSERT_EQ(answers.seen.size(), 2u);
    EXPECT_EQ(answers.seen[1], "BrindlecorPC|COM3 Not Available");
}

TEST_F(WindowTest, BrowserOpensTheServersOwnAddress) {
    auto& w = open();
    w.openFromOutside(QString::fromStdString(dir_.file("site/a.kvb")));
    ModalAnswers answers;
    // Without a URL handler (the offscreen platform has none) a box says so and the window goes on.
    action("mnuBrowser")->trigger();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0], "BrindlecorPC|Browser Not Found");
    EXPECT_TRUE(w.isVisible());

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    action("mnuBrowser")->trigger();
    QDesktopServices::unsetUrlHandler("http");
    EXPECT_EQ(catcher.urls, QStringList{"http://localhost:" + QString::number(options_.httpPort) + "/"});
    EXPECT_EQ(answers.seen.size(), 1u);
}

TEST_F(WindowTest, PositionIsRememberedWithinTheScreen) {
    struct Case {
        const char* top;
        const char* left;
        QPoint expected;
    } cases[] = {{"20", "30", {30, 20}}, {"5000", "30", {30, 0}}, {"20", "-50", {0, 20}}, {"x", "", {0, 0}}};
    for (const auto& c : cases) {
        save("Top", c.top);
        save("Left", c.left);
        auto& w = open();
        EXPECT_EQ(w.frameGeometry().topLeft(), c.expected) << c.top << "," << c.left;
        window_.reset();
    }
    auto& w = open();
    w.move(40, 0);
    w.close();
    EXPECT_EQ(setting("Top"), "x") << "a window at the top edge keeps the saved position";
    window_.reset();
    // Exit saves the position and closes every socket.
    auto& second = open();
    second.openFromOutside(QString::fromStdString(dir_.file("site/a.kvb")));
    second.move(41, 17);
    QApplication::processEvents();
    EXPECT_FALSE(udpPortFree(options_.namePort));
    activate();
    QTest::keyClick(&second, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(second.isVisible());
    EXPECT_EQ(setting("Top"), "17");
    EXPECT_EQ(setting("Left"), "41");
    EXPECT_EQ(brindlecor::testing::connectTo(options_.httpPort), -1);
    EXPECT_TRUE(udpPortFree(options_.downloadPort));
    EXPECT_TRUE(udpPortFree(options_.namePort));
}

TEST(WindowProgram, OpensAnImageFromTheCommandLineAndNeedsADisplay) {
    TempDir dir;
    dir.write("site.kvb", image(25));
    const int port = brindlecor::testing::freePort();
    SettingsStore settings(dir.file("config/BrindlecorPC.conf"));
    settings.saveSetting("HttpPort", std::to_string(port));
    settings.saveSetting("PageHeaders", "off");
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir.file("config"),
                                          "QT_QPA_PLATFORM=offscreen"};
    brindlecor::testing::BackgroundProgram window("/usr/bin/env", [&] {
        std::vector<std::string> a(env);
        a.push_back(brindlecor::testing::programPath("brindlecorpc"));
        a.push_back(dir.file("site.kvb"));
        return a;
    }());
    std::string page;
    for (int i = 0; i < 500 && page.empty() && window.running(); ++i) {
        page = brindlecor::testing::httpGet(port, "/");
        if (page.empty()) usleep(20000);
    }
    EXPECT_EQ(page, "Temp: 25 C") << window.err();
    window.stop();

    const auto bare = brindlecor::testing::runProgram(
        "/usr/bin/env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                         brindlecor::testing::programPath("brindlecorpc")});
    EXPECT_EQ(bare.status, 1);
    EXPECT_EQ(bare.err,
              "brindlecorpc: cannot open a window: no display (set DISPLAY or run a command such as "
              "'brindlecorpc serve IMAGE.kvb')\n");
}

}  // namespace
}  // namespace brindlecor::server

#include "server_window_test.moc"
