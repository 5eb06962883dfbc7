// The builder's window as a user meets it: started on an empty settings folder, driven through its actions
// with every box answered as a user would, read back through its widgets, the accessibility interface and
// the settings file; a download from it into the real emulator on loopback.
#include "builder/shell/window/builder_window.h"

#include <gtest/gtest.h>
#include <sys/file.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <deque>
#include <functional>

#include "common/settings_store.h"
#include "tests/support/loopback.h"
#include "tests/support/modal_answers.h"
#include "tests/support/program.h"
#include "tests/support/qt_application.h"

QT_BEGIN_NAMESPACE
// Failures print texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace brindlecor::builder {
namespace {

using brindlecor::testing::BackgroundProgram;
using brindlecor::testing::TempDir;

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new brindlecor::testing::QtApplication("tamarquill_window_tests"));

using Answers = brindlecor::testing::ModalAnswers;
using brindlecor::testing::press;
using brindlecor::testing::type;

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", dir_.file("config").c_str());
        qputenv("XDG_RUNTIME_DIR", dir_.path().c_str());
        dir_.write("defs.kvd", "$sitepath \"site\"\r\n$sitefile \"out.kvb\"\r\norg 20h\r\ntemp db 21\r\n");
        dir_.write("site/index.htm", "Temp: ^temp^ C");
    }
    BuilderWindow& open() {
        window_ = std::make_unique<BuilderWindow>(BuilderWindow::Options{0});
        window_->startup();
        window_->show();
        return *window_;
    }
    QAction* action(const char* name) {
        QAction* a = window_->action(name);
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    QString caption(const char* name) { return action(name)->text(); }
    QLabel* panel(int n) { return window_->findChild<QLabel*>(QStringLiteral("SBPanel%1").arg(n)); }
    QPlainTextEdit* log() { return window_->findChild<QPlainTextEdit*>("Text1"); }
    std::string setting(const char* key) {
        return SettingsStore(dir_.file("config/Tamarquill.conf")).getSetting(key, "<absent>");
    }

    TempDir dir_;
    std::unique_ptr<BuilderWindow> window_;
};

TEST_F(WindowTest, StartsAsDesignedOnAnEmptySettingsFolder) {
    auto& w = open();
    EXPECT_EQ(w.objectName(), "Form1");
    EXPECT_TRUE(w.windowTitle().startsWith("Falvenrode(TM) Web Site Downloader for Brindlecor(TM)" +
                                           QString(13, ' ') + "Copyright"));
    const std::vector<std::pair<const char*, const char*>> captions = {
        {"mnuFile", "&File"},
        {"mnuOpenFile", "&Open"},
        {"mnuExit", "&Exit"},
        {"mnuDownload", "&Download"},
        {"mnuMakeDefinitions", "&Make Download File"},
        {"mnuDownloadBrindlecor", "Down&load Brindlecor"},
        {"mnuMakeandDownload", "Make and Download"},
        {"mnuConfigure", "&Configure"},
        {"mnuEthernetIPAddress", "IP &Address for Download: 127.0.0.1"},
        {"mnuPortDownload", "Port Address for Download: 26481"},
        {"mnuDownloadPassword", "Download &Password"},
        {"mnuEditorFileDef", "&Editor "},
        {"mnuSilentErrors", "&Silent Errors"},
        {"mnuResetDefaults", "&Reset Default IP and Port"},
        {"mnuClearIPlist", "&Clear IP List"},
        {"mnuoverride", "&Override"},
        {"mnuSaveOverrides", "Save Overrides"},
        {"mnuLoadSavedOverrides", "Load Saved Overrides"},
        {"mnuDeviceName", "Device Name"},
        {"mnuDefaultIPAddress", "Default IP Address"},
        {"mnuInitializeP1", "Initialize P1"},
        {"mnuDHCP", "DHCP"},
        {"mnuAccessPassword", "Access Password"},
        {"mnuMasterPassword", "Master Password"},
        {"mnuEditor", "&Editor"},
        {"mnuBrowser", "&Browser"},
        {"mnuCalculator", "Calcu&lator"},
        {"mnuAbout", "&About"},
        {"mnuVersion", "Tamarquill(tm) Version 1.1 Build #9"},
    };
    for (const auto& [name, text] : captions) EXPECT_EQ(caption(name), text) << name;
    for (const char* name :
         {"mnuMakeDefinitions", "mnuDownloadBrindlecor", "mnuMakeandDownload", "mnuEditor"})
        EXPECT_FALSE(action(name)->isEnabled()) << name;
    for (const char* name : {"mnuDownloadPassword", "mnuSilentErrors", "mnuDeviceName", "mnuDHCP"}) {
        EXPECT_TRUE(action(name)->isCheckable()) << name;
        EXPECT_FALSE(action(name)->isChecked()) << name;
    }
    for (int i = 1; i <= 16; ++i) EXPECT_FALSE(w.action(QString("mnuIPaddress%1").arg(i))->isVisible()) << i;
    for (int i = 1; i <= 4; ++i) EXPECT_FALSE(w.action(QString("mnuPrevFiles%1").arg(i))->isVisible()) << i;

    // The menu bar in its designed order, and the version item at the end.
    QStringList bar;
    for (QAction* a : w.menuBar()->actions()) bar << a->objectName();
    EXPECT_EQ(bar.join(","),
              "mnuFile,mnuDownload,mnuConfigure,mnuoverride,mnuEditor,mnuBrowser,mnuCalculator,"
              "mnuAbout");
    QStringList file;
    for (QAction* a : w.findChild<QMenu*>("mnuFile")->actions())
        file << (a->isSeparator() ? QString("-") : a->objectName());
    EXPECT_EQ(file.join(","),
              "mnuOpenFile,-,mnuPrevFiles1,mnuPrevFiles2,mnuPrevFiles3,mnuPrevFiles4,-,mnuExit");

    EXPECT_EQ(panel(4)->text(), "127.0.0.1:26481");
    EXPECT_EQ(panel(1)->toolTip(), "Object Definitions File");
    EXPECT_EQ(panel(2)->toolTip(), "Site File");
    EXPECT_EQ(w.size(), w.designedSize());
    EXPECT_EQ(log()->palette().color(QPalette::Base), QColor(Qt::white));
}

TEST_F(WindowTest, AccessibilityNamesEveryControl) {
    auto& w = open();
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(w.findChild<QMenu*>("mnuConfigure"));
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (int i = 0; i < menu->childCount(); ++i) names << menu->child(i)->text(QAccessible::Name);
    EXPECT_TRUE(names.contains("IP Address for Download: 127.0.0.1")) << names.join("|").toStdString();
    EXPECT_TRUE(names.contains("Silent Errors")) << names.join("|").toStdString();

    QAccessibleInterface* text = QAccessible::queryAccessibleInterface(log());
    EXPECT_EQ(text->text(QAccessible::Name), "Log");
    EXPECT_TRUE(text->state().readOnly);

    // The status bar: its panels are labels in order, each with its tool tip as the description.
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(w.statusBar());
    QStringList panels;
    for (int i = 0; i < bar->childCount(); ++i)
        if (bar->child(i)->role() == QAccessible::StaticText)
            panels << bar->child(i)->text(QAccessible::Name) + "/" +
                          bar->child(i)->text(QAccessible::Description);
    EXPECT_EQ(panels.join("|"),
              "/Object Definitions File|/Site File|/Error Status|127.0.0.1:26481/Download "
              "Address and Port|/Download Status");
}

TEST_F(WindowTest, CommandsThroughTheirActions) {
    auto& w = open();
    Answers answers;
    struct Step {
        const char* action;
        std::vector<Answers::Answer> answers;
        const char* item;
        const char* caption;
        bool checked;
    };
    const std::vector<Step> steps = {
        {"mnuEthernetIPAddress", {type("192.168.1.40 Lab")}, "mnuIPaddress1", "&1 192.168.1.40 Lab", false},
        {"mnuEthernetIPAddress",
         {type("10.0.0.7")},
         "mnuEthernetIPAddress",
         "IP &Address for Download: 10.0.0.7",
         false},
        {"mnuIPaddress2", {}, "mnuIPaddress1", "&1 192.168.1.40 Lab", false},
        {"mnuPortDownload", {type("27000")}, "mnuPortDownload", "Port Address for Downloading: 27000", false},
        {"mnuPortDownload",
         {type("port"), press(QMessageBox::Ok)},
         "mnuPortDownload",
         "Port Address for Downloading: 27000",
         false},
        {"mnuDownloadPassword", {type("abc")}, "mnuDownloadPassword", "Download &Password", true},
        {"mnuSilentErrors", {}, "mnuSilentErrors", "&Silent Errors", true},
        {"mnuDeviceName", {type("Lab")}, "mnuDeviceName", "Device Name - Lab", true},
        {"mnuInitializeP1", {type("&H1F")}, "mnuInitializeP1", "Initialize P1 - 31", true},
        {"mnuInitializeP1",
         {type("99999"), press(QMessageBox::Ok)},
         "mnuInitializeP1",
         "Initialize P1 - 31",
         true},
        {"mnuDHCP", {press(QMessageBox::Yes)}, "mnuDHCP", "DHCP - ON", true},
        {"mnuSaveOverrides", {}, "mnuDHCP", "DHCP - ON", true},
        {"mnuDHCP", {press(QMessageBox::Cancel)}, "mnuDHCP", "DHCP", false},
        {"mnuLoadSavedOverrides", {}, "mnuDHCP", "DHCP - On", true},
        {"mnuResetDefaults", {}, "mnuEthernetIPAddress", "IP &Address for Download: 192.168.1.250", false},
        {"mnuClearIPlist", {}, "mnuIPaddress1", "&1 ", false},
    };
    for (const Step& step : steps) {
        for (const auto& a : step.answers) answers.add(a);
        action(step.action)->trigger();
        EXPECT_EQ(caption(step.item), step.caption) << step.action;
        EXPECT_EQ(action(step.item)->isChecked(), step.checked) << step.action;
    }
    EXPECT_FALSE(action("mnuIPaddress1")->isVisible());
    EXPECT_EQ(panel(4)->text(), "192.168.1.250:26481");
    EXPECT_TRUE(answers.seen[0].startsWith("Tamarquill|New IP Address for Downloading\nFollowed by"));
    EXPECT_EQ(answers.seen[4],
              "Tamarquill|\"port\" is not a port number: it must be a whole number from 1 to 65535");
    EXPECT_EQ(answers.seen[9], "Override File Data|\"99999\" is not a number from -32768 to 32767");
    EXPECT_EQ(answers.seen[10], "Override File Data|Turn DHCP on?");

    EXPECT_EQ(setting("DownloadPort"), "26481");
    EXPECT_EQ(setting("DHCP"), "On");
    EXPECT_EQ(setting("Initialize P1"), "&H1F");
    EXPECT_EQ(setting("Device Name"), "Lab");
    EXPECT_EQ(setting("Access Password"), "<absent>");
    EXPECT_EQ(setting("IPList1"), "<absent>");
    EXPECT_EQ(setting("Password").size(), 16u);
    EXPECT_EQ(w.size(), w.designedSize());
}

TEST_F(WindowTest, MakeWithErrorsColoursTheLogAndAsksOkOrCancel) {
    dir_.write("broken.kvd",
               "$sitefile \"broken.kvb\"\r\norg 300\r\nMotor dbit 1\r\nPump dbit 1\r\nFan dbit 1\r\n");
    auto& w = open();
    w.openFromOutside(QString::fromStdString(dir_.file("broken.kvd")));
    EXPECT_TRUE(action("mnuMakeDefinitions")->isEnabled());
    Answers answers;
    answers.add(press(QMessageBox::Ok));
    answers.add(press(QMessageBox::Cancel));
    action("mnuMakeDefinitions")->trigger();
    ASSERT_EQ(answers.seen.size(), 2u) << log()->toPlainText().toStdString();
    EXPECT_EQ(answers.seen[0], "Tamarquill Error|Object Error: \n\nBit variable motor's location must be 0-255");
    EXPECT_EQ(answers.seen[1], "Tamarquill Error|Object Error: \n\nBit variable pump's location must be 0-255");
    const QString text = log()->toPlainText();
    EXPECT_TRUE(text.contains("Bit variable pump")) << text.toStdString();
    EXPECT_FALSE(text.contains("Bit variable fan")) << "Cancel stops the compile";
    EXPECT_EQ(panel(3)->text(), "Errors");
    EXPECT_EQ(log()->palette().color(QPalette::Base), QColor(0, 0, 255));
    EXPECT_EQ(log()->palette().color(QPalette::Text), QColor(255, 255, 0));
    int start = 0, end = 0;
    const QString attributes =
        QAccessible::queryAccessibleInterface(log())->textInterface()->attributes(3, &start, &end);
    EXPECT_TRUE(attributes.contains("background-color:rgb(0,0,255)")) << attributes.toStdString();
    EXPECT_TRUE(attributes.contains("color:rgb(255,255,0)")) << attributes.toStdString();
    EXPECT_EQ(log()->textCursor().position(), log()->document()->characterCount() - 1)
        << "the caret at the end";

    w.openFromOutside(QString::fromStdString(dir_.file("defs.kvd")));
    action("mnuMakeDefinitions")->trigger();
    EXPECT_EQ(panel(3)->text(), "");
    EXPECT_EQ(log()->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_TRUE(log()->toPlainText().contains("Done making")) << log()->toPlainText().toStdString();
    EXPECT_EQ(
        panel(2)->text(),
        QString::fromStdString("../" + std::filesystem::path(dir_.path()).filename().string() + "/out.kvb"));
    EXPECT_TRUE(action("mnuDownloadBrindlecor")->isEnabled());
}

TEST_F(WindowTest, DownloadsToTheEmulatorWhileTheWindowAnswers) {
    brindlecor::testing::ServePorts ports;
    auto& w = open();
    w.openFromOutside(QString::fromStdString(dir_.file("defs.kvd")));
    action("mnuMakeDefinitions")->trigger();
    ASSERT_TRUE(std::filesystem::exists(dir_.file("out.kvb")));
    BackgroundProgram server(brindlecor::testing::programPath("brindlecorpc"),
                             ports.serveArgs(dir_.file("out.kvb")));
    ASSERT_TRUE(server.waitForOutput("http://"));

    Answers answers;
    answers.add(type("127.0.0.1"));
    action("mnuEthernetIPAddress")->trigger();
    answers.add(type(QString::number(ports.download)));
    action("mnuPortDownload")->trigger();

    // A page with a changed value, so that the device shows the new image once it restarted.
    dir_.write("site/index.htm", "Fresh: ^temp^ C");
    auto* bar = w.findChild<QProgressBar*>("ProgressBar1");
    int highest = 0;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { highest = std::max(highest, v); });
    dir_.write("site/big.txt", std::string(2000, 'x'));
    answers.add(press(QMessageBox::Ok));  // "Downloaded File has No Password"
    action("mnuMakeandDownload")->trigger();
    EXPECT_TRUE(w.session().downloading());

    // The window goes on answering while it waits for the device.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    action("mnuSilentErrors")->trigger();
    EXPECT_TRUE(action("mnuSilentErrors")->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.session().downloading(); }, 20000));
    EXPECT_GT(ticks, 10);
    EXPECT_EQ(panel(5)->text(), "Download OK");
    EXPECT_GE(highest, 8) << "the progress bar moved over the pages";
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(log()->toPlainText().contains("Warning: Downloaded File has No Password"));
    EXPECT_EQ(log()->palette().color(QPalette::Base), QColor(0, 0, 255));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return brindlecor::testing::httpGet(ports.http, "/").find("Fresh: 21 C") != std::string::npos;
        },
        5000));
}

TEST_F(WindowTest, OpenDialogMatchesBothCasesAndKeepsItsCaptions) {
    dir_.write("files/a.KVD", "");
    dir_.write("files/b.kvd", "");
    dir_.write("files/c.txt", "");
    SettingsStore(dir_.file("config/Tamarquill.conf")).saveSetting("EditFile1", dir_.file("files/b.kvd"));
    auto& w = open();
    Answers answers;
    QStringList filters, patterns;
    QString folder;
    answers.add([&](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        folder = dialog->directory().absolutePath();
        patterns = dialog->findChild<QFileSystemModel*>()->nameFilters();
        dialog->selectFile(QString::fromStdString(dir_.file("files/a.KVD")));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    action("mnuOpenFile")->trigger();
    EXPECT_EQ(filters.join("|"), "Brindlecor Files (*.KVD;*.KVB)|All Files (*.*)");
    EXPECT_EQ(folder, QString::fromStdString(dir_.file("files")));
    EXPECT_TRUE(patterns.contains("*.kvd") && patterns.contains("*.KVB")) << patterns.join(" ").toStdString();
    EXPECT_EQ(w.session().definitionsFile(), dir_.file("files/a.KVD"));

    action("mnuOpenFile")->trigger();  // cancelled by the unplanned-box rule
    EXPECT_EQ(w.session().definitionsFile(), dir_.file("files/a.KVD"));

    // A file dropped on the window opens as Open does.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.file("files/b.kvd")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    EXPECT_EQ(w.session().definitionsFile(), dir_.file("files/b.kvd"));
}

TEST_F(WindowTest, PositionRules) {
    struct Case {
        const char* top;
        const char* left;
        QPoint expected;
    } cases[] = {{"20", "30", {30, 20}}, {"5000", "30", {30, 0}}, {"20", "-50", {0, 20}}, {"x", "", {0, 0}}};
    for (const auto& c : cases) {
        SettingsStore store(dir_.file("config/Tamarquill.conf"));
        store.saveSetting("Top", c.top);
        store.saveSetting("Left", c.left);
        auto& w = open();
        EXPECT_EQ(w.frameGeometry().topLeft(), c.expected) << c.top << "," << c.left;
        window_.reset();
    }
    auto& w = open();
    w.move(40, 0);
    w.close();
    EXPECT_EQ(setting("Top"), "x") << "a window at the top edge keeps the saved position";
    window_.reset();
    open().move(41, 17);
    QApplication::processEvents();
    window_->close();
    EXPECT_EQ(setting("Top"), "17");
    EXPECT_EQ(setting("Left"), "41");
}

TEST(WindowProgram, RefusesASecondCopyAndRunsWithoutADisplayNowhere) {
    TempDir dir;
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir.file("config"),
                                          "XDG_RUNTIME_DIR=" + dir.path(), "QT_QPA_PLATFORM=offscreen"};
    const std::string window = brindlecor::testing::programPath("tamarquill-window");
    BackgroundProgram first("/usr/bin/env", [&] {
        std::vector<std::string> a(env);
        a.push_back(window);
        a.push_back("--local-port=" + std::to_string(brindlecor::testing::freePort(true)));
        return a;
    }());
    // The first copy holds its lock once it runs.
    const std::string lock = dir.file("tamarquill.lock");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const int fd = ::open(lock.c_str(), O_RDWR);
            if (fd < 0) return false;
            const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
            return held;
        },
        10000));
    BackgroundProgram second("/usr/bin/env", [&] {
        std::vector<std::string> a(env);
        a.push_back(window);
        a.push_back("--local-port=" + std::to_string(brindlecor::testing::freePort(true)));
        return a;
    }());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return second.err().find("Another copy of Tamarquill is running") != std::string::npos; },
        10000))
        << second.err();
    second.stop();
    EXPECT_TRUE(first.running());
    first.stop();

    const auto bare = brindlecor::testing::runProgram(
        "/usr/bin/env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                         brindlecor::testing::programPath("tamarquill")});
    EXPECT_EQ(bare.status, 1);
    EXPECT_EQ(
        bare.err,
        "tamarquill: cannot open a window: no display (set DISPLAY or run a command such as 'tamarquill "
        "make')\n");
}

}  // namespace
}  // namespace brindlecor::builder
