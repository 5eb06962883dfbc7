#include "builder/shell/builder_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "builder/image/make_fixture.h"
#include "common/download_protocol.h"
#include "common/password.h"

namespace brindlecor::builder {
namespace {

struct FakeView : SessionView {
    std::map<std::string, std::string> captions;
    std::map<std::string, bool> checked, enabled, visible;
    std::map<int, std::string> panelText, panelTip;
    std::string log;
    bool errorColours = false;
    int progressMaximum = -1, progressValue = -1;

    std::deque<std::string> inputs;    // answers of the input boxes, in order; "" once they run out
    std::vector<std::string> prompts;  // "title|prompt|initial"
    std::deque<YesNoCancel> yesNo;     // answers of the Yes/No/Cancel boxes
    std::deque<Answer> okCancel;       // answers of the OK/Cancel boxes
    std::vector<std::string> boxes;    // "title|text" of every box shown
    std::deque<std::optional<std::string>> files;
    std::vector<FileDialogRequest> dialogs;
    std::vector<std::string> started;  // "program|argument"
    std::set<std::string> programs;    // what findProgram finds
    bool startWorks = true, urlWorks = true, closed = false;

    void appendLog(std::string_view text) override { log += text; }
    void clearLog() override { log.clear(); }
    void setLogErrorColours(bool on) override { errorColours = on; }
    void setCaption(MenuRef item, std::string_view caption) override { captions[objectName(item)] = caption; }
    void setChecked(MenuRef item, bool on) override { checked[objectName(item)] = on; }
    void setEnabled(MenuRef item, bool on) override { enabled[objectName(item)] = on; }
    void setVisible(MenuRef item, bool on) override { visible[objectName(item)] = on; }
    void setPanelText(int panel, std::string_view text) override { panelText[panel] = text; }
    void setPanelToolTip(int panel, std::string_view tip) override { panelTip[panel] = tip; }
    void setProgressRange(int, int maximum) override { progressMaximum = maximum; }
    void setProgressValue(int value) override { progressValue = value; }
    std::string inputBox(std::string_view title, std::string_view prompt, std::string_view initial) override {
        prompts.push_back(std::string(title) + "|" + std::string(prompt) + "|" + std::string(initial));
        if (inputs.empty()) return "";
        std::string answer = inputs.front();
        inputs.pop_front();
        return answer;
    }
    void messageBox(std::string_view title, std::string_view text, BoxIcon) override {
        boxes.push_back(std::string(title) + "|" + std::string(text));
    }
    Answer askOkCancel(std::string_view title, std::string_view text) override {
        boxes.push_back(std::string(title) + "|" + std::string(text));
        Answer a = okCancel.empty() ? Answer::Ok : okCancel.front();
        if (!okCancel.empty()) okCancel.pop_front();
        return a;
    }
    YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) override {
        boxes.push_back(std::string(title) + "|" + std::string(text));
        YesNoCancel a = yesNo.empty() ? YesNoCancel::Cancel : yesNo.front();
        if (!yesNo.empty()) yesNo.pop_front();
        return a;
    }
    std::optional<std::string> chooseFile(const FileDialogRequest& request) override {
        dialogs.push_back(request);
        if (files.empty()) return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
    bool startProgram(const std::string& program, const std::string& argument) override {
        started.push_back(program + "|" + argument);
        return startWorks;
    }
    bool openUrl(const std::string& url) override {
        started.push_back("url|" + url);
        return urlWorks;
    }
    std::string findProgram(const std::string& name) override {
        return programs.count(name) ? "/usr/bin/" + name : "";
    }
    void closeWindow() override { closed = true; }
};

struct FakeSocket : DownloadSocket {
    std::vector<std::vector<uint8_t>> sent;
    std::string to;
    bool bindWorks = true, isBound = false;
    int boundPort = 0;
    std::optional<std::string> bind(int port) override {
        if (!bindWorks) return "busy";
        isBound = true;
        boundPort = port;
        return std::nullopt;
    }
    bool bound() const override { return isBound; }
    bool send(const std::string& address, int port, std::span<const uint8_t> bytes) override {
        to = address + ":" + std::to_string(port);
        sent.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
};

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.write("defs.kvd", "$sitepath \"site\"\r\n$sitefile \"out.kvb\"\r\norg 20h\r\ntemp db 21\r\n");
        dir_.write("broken.kvd", "$sitefile \"broken.kvb\"\r\nMotor WD 1\r\n");
        dir_.write("site/index.htm", "Temp: ^temp^ C");
    }
    SettingsStore& settings() {
        if (!settings_) settings_.emplace(dir_.file("Tamarquill.conf"));
        return *settings_;
    }
    BuilderSession& start() {
        BuilderSession::Platform platform;
        platform.clock = &clock_;
        platform.seconds = [this] { return now_; };
        platform.flushArpCache = [] {};
        platform.localPort = 26000;
        platform.programFolder = dir_.path();
        platform.homeFolder = "/home/user";
        session_.emplace(view_, settings(), socket_, platform);
        session_->startup();
        return *session_;
    }
    // Answers every datagram sent so far, in turn, as the device does.
    void answerAll() {
        for (size_t answered = 0; answered < socket_.sent.size(); ++answered) {
            const auto request = socket_.sent[answered];
            session_->onDatagram(request, {"127.0.0.1", 26481});
        }
    }
    std::string cap(const std::string& name) { return view_.captions[name]; }

    testing::ScratchDir dir_;
    testing::FixedClock clock_;
    int64_t now_ = 1000;
    FakeView view_;
    FakeSocket socket_;
    std::optional<SettingsStore> settings_;
    std::optional<BuilderSession> session_;
};

TEST_F(SessionTest, StartsOnEmptySettingsAsDesigned) {
    start();
    EXPECT_EQ(cap("mnuEthernetIPAddress"), "IP &Address for Download: 127.0.0.1");
    EXPECT_EQ(cap("mnuPortDownload"), "Port Address for Download: 26481");
    EXPECT_EQ(view_.panelText[4], "127.0.0.1:26481");
    EXPECT_EQ(cap("mnuEditorFileDef"), "&Editor ");
    EXPECT_EQ(cap("mnuVersion"), "Tamarquill(tm) Version 1.1 Build #9");
    for (int i = 1; i <= 4; ++i) EXPECT_FALSE(view_.visible["mnuPrevFiles" + std::to_string(i)]) << i;
    for (int i = 1; i <= 16; ++i) EXPECT_FALSE(view_.visible["mnuIPaddress" + std::to_string(i)]) << i;
    for (const char* item :
         {"mnuEditor", "mnuMakeDefinitions", "mnuMakeandDownload", "mnuDownloadBrindlecor", "mnuCalculator"})
        EXPECT_FALSE(view_.enabled[item]) << item;
    EXPECT_FALSE(view_.checked["mnuDownloadPassword"]);
    EXPECT_EQ(view_.panelTip[1], "Object Definitions File");
    EXPECT_EQ(view_.panelTip[2], "Site File");
    EXPECT_EQ(socket_.boundPort, 26000);
}

TEST_F(SessionTest, StartsFromSavedSettings) {
    settings().saveSetting("IPList1", "10.1.2.3 Boiler room");
    settings().saveSetting("IPlist2", "10.1.2.4");
    settings().saveSetting("DownloadPort", "27000");
    settings().saveSetting("EditFile1", "/srv/sites/demo/demo.kvd");
    settings().saveSetting("EditFile2", "x.kvd");  // too short a path to show
    settings().saveSetting("Editor", "/usr/bin/gedit");
    settings().saveSetting("Password",
                           std::string(reinterpret_cast<const char*>(scramblePassword("abc").data()), 16));
    view_.programs = {"kcalc", "xcalc"};
    start();
    EXPECT_EQ(cap("mnuEthernetIPAddress"), "IP &Address for Download: 10.1.2.3");
    EXPECT_EQ(view_.panelText[4], "10.1.2.3:27000");
    EXPECT_EQ(cap("mnuIPaddress1"), "&1 10.1.2.3 Boiler room");
    EXPECT_EQ(cap("mnuIPaddress2"), "&2 10.1.2.4");
    EXPECT_TRUE(view_.visible["mnuIPaddress2"]);
    EXPECT_FALSE(view_.visible["mnuIPaddress3"]);
    EXPECT_EQ(cap("mnuPrevFiles1"), "&1 ../demo/demo.kvd");
    EXPECT_TRUE(view_.visible["mnuPrevFiles1"]);
    EXPECT_FALSE(view_.visible["mnuPrevFiles2"]);
    EXPECT_EQ(cap("mnuEditorFileDef"), "&Editor ../bin/gedit");
    EXPECT_TRUE(view_.checked["mnuDownloadPassword"]);
    EXPECT_TRUE(view_.enabled["mnuCalculator"]);
    session_->mnuCalculator();
    EXPECT_EQ(view_.started.back(), "/usr/bin/kcalc|");
}

TEST_F(SessionTest, OpeningChoosesTheDefinitionsOrTheSiteFile) {
    auto& s = start();
    s.openFile("/srv/a/site.kvb");
    EXPECT_EQ(s.siteFile(), "/srv/a/site.kvb");
    EXPECT_EQ(view_.panelText[2], "../a/site.kvb");
    EXPECT_EQ(view_.panelTip[2], "Site File: /srv/a/site.kvb");
    EXPECT_EQ(view_.panelTip[1], "Object Definitions File");
    EXPECT_TRUE(view_.enabled["mnuDownloadBrindlecor"]);
    EXPECT_FALSE(view_.enabled["mnuMakeDefinitions"]);

    for (const char* name : {"/srv/b/room.KVD", "/srv/b/notes.txt", "/srv/b/noextension"}) {
        s.openFile(name);
        EXPECT_EQ(s.definitionsFile(), name);
        EXPECT_EQ(s.siteFile(), "/srv/a/site.kvb") << "the site file stays";
        EXPECT_EQ(view_.panelTip[1], std::string("Definitions File: ") + name);
        EXPECT_EQ(view_.panelText[2], "");
        EXPECT_EQ(view_.panelTip[2], "Site File");
        EXPECT_TRUE(view_.enabled["mnuMakeDefinitions"] && view_.enabled["mnuMakeandDownload"] &&
                    view_.enabled["mnuEditor"]);
        EXPECT_FALSE(view_.enabled["mnuDownloadBrindlecor"]);
    }
    EXPECT_EQ(s.recentFiles()[0], "/srv/b/noextension");
    EXPECT_EQ(s.recentFiles()[3], "/srv/a/site.kvb");
    EXPECT_EQ(settings().getSetting("EditFile4", ""), "/srv/a/site.kvb");
    EXPECT_EQ(cap("mnuPrevFiles2"), "&2 ../b/notes.txt");

    s.mnuPrevFiles(4);
    EXPECT_EQ(s.siteFile(), "/srv/a/site.kvb");
    EXPECT_EQ(s.recentFiles()[0], "/srv/a/site.kvb");
    EXPECT_EQ(s.recentFiles()[1], "/srv/b/noextension");
}

TEST_F(SessionTest, OpenDialogStartsBesideTheLastFileAndCancelChangesNothing) {
    auto& s = start();
    s.mnuOpenFile();
    ASSERT_EQ(view_.dialogs.size(), 1u);
    EXPECT_EQ(view_.dialogs[0].startFolder, "/home/user");
    EXPECT_EQ(view_.dialogs[0].filter, "Brindlecor Files (*.KVD;*.KVB)|*.KVD;*.KVB|All Files (*.*)|*.*");
    EXPECT_TRUE(s.definitionsFile().empty());

    view_.files.push_back(dir_.file("defs.kvd"));
    s.mnuOpenFile();
    EXPECT_EQ(s.definitionsFile(), dir_.file("defs.kvd"));
    s.mnuOpenFile();
    EXPECT_EQ(view_.dialogs.back().startFolder, dir_.path());
    EXPECT_EQ(s.definitionsFile(), dir_.file("defs.kvd"));
}

TEST_F(SessionTest, DownloadTargetCommands) {
    auto& s = start();
    view_.inputs = {"192.168.1.40 Lab", "192.168.1.41", "192.168.1.40 Office", "1.2.3.300 Bad"};
    for (int i = 0; i < 4; ++i) s.mnuEthernetIPAddress();
    EXPECT_EQ(view_.prompts[0],
              "Tamarquill|New IP Address for Downloading\r\nFollowed by Optional name of system|127.0.0.1");
    EXPECT_EQ(view_.boxes.back(),
              "Tamarquill|\"1.2.3.300\" is not an IP address: each of its numbers must be from 0 to 255");
    EXPECT_EQ(s.downloadAddress(), "192.168.1.40");
    EXPECT_EQ(s.ipList()[0], "192.168.1.40 Office");
    EXPECT_EQ(s.ipList()[1], "192.168.1.41");
    EXPECT_EQ(s.ipList()[2], "");
    EXPECT_EQ(cap("mnuEthernetIPAddress"), "IP &Address for Download: 192.168.1.40");
    EXPECT_EQ(view_.panelText[4], "192.168.1.40:26481");

    s.mnuIPaddress(2);
    EXPECT_EQ(s.downloadAddress(), "192.168.1.41");
    EXPECT_EQ(view_.panelText[4], "192.168.1.41") << "an entry chosen from the list shows no port";
    EXPECT_EQ(cap("mnuIPaddress1"), "&1 192.168.1.41");
    EXPECT_EQ(settings().getSetting("IPList2", ""), "192.168.1.40 Office");

    view_.inputs = {"1234", "70000", "", "12ab"};
    s.mnuPortDownload();
    EXPECT_EQ(view_.prompts.back(), "Tamarquill|New Port Address for Downloading|26481");
    EXPECT_EQ(cap("mnuPortDownload"), "Port Address for Downloading: 1234");
    EXPECT_EQ(view_.panelText[4], "192.168.1.41:1234");
    for (int i = 0; i < 3; ++i) s.mnuPortDownload();
    EXPECT_EQ(s.downloadPort(), 1234);
    EXPECT_EQ(settings().getSetting("DownloadPort", ""), "1234");
    EXPECT_EQ(view_.boxes.back(),
              "Tamarquill|\"12ab\" is not a port number: it must be a whole number from 1 to 65535");

    s.mnuResetDefaults();
    EXPECT_EQ(cap("mnuEthernetIPAddress"), "IP &Address for Download: 192.168.1.250");
    EXPECT_EQ(cap("mnuPortDownload"), "Port Address for Downloading: 26481");
    EXPECT_EQ(view_.panelText[4], "192.168.1.250:26481");
    EXPECT_EQ(settings().getSetting("DownloadPort", ""), "26481");
    EXPECT_EQ(s.ipList()[0], "192.168.1.41") << "the list is kept";

    s.mnuClearIPlist();
    EXPECT_FALSE(view_.visible["mnuIPaddress1"]);
    EXPECT_EQ(settings().getSetting("IPList1", "gone"), "gone");
    EXPECT_EQ(s.downloadAddress(), "192.168.1.250");
}

TEST_F(SessionTest, DownloadPasswordIsStoredScrambledOrDeleted) {
    auto& s = start();
    view_.inputs = {"abc", ""};
    s.mnuDownloadPassword();
    EXPECT_EQ(view_.prompts[0], "Tamarquill|Enter Download Password|");
    EXPECT_TRUE(view_.checked["mnuDownloadPassword"]);
    const auto expected = scramblePassword("abc");
    EXPECT_EQ(settings().getSetting("Password", ""),
              std::string(reinterpret_cast<const char*>(expected.data()), 16));
    s.mnuDownloadPassword();
    EXPECT_FALSE(view_.checked["mnuDownloadPassword"]);
    EXPECT_EQ(settings().getSetting("Password", "none"), "none");
    EXPECT_TRUE(isNoDownloadPassword(s.downloadPassword()));
}

TEST_F(SessionTest, OverridePromptsCaptionsAndRefusals) {
    auto& s = start();
    struct Case {
        OverrideKind kind;
        const char* item;
        const char* answer;
        const char* caption;
        bool checked;
    } cases[] = {
        {OverrideKind::DeviceName, "mnuDeviceName", "Lab", "Device Name - Lab", true},
        {OverrideKind::DeviceName, "mnuDeviceName", "", "Device Name", false},
        {OverrideKind::InitializeP1, "mnuInitializeP1", "&H1F", "Initialize P1 - 31", true},
        {OverrideKind::InitializeP1, "mnuInitializeP1", "12abc", "Initialize P1 - 12", true},
        {OverrideKind::InitializeP1, "mnuInitializeP1", "xyz", "Initialize P1 - 0", true},
        {OverrideKind::InitializeP1, "mnuInitializeP1", "70000", "Initialize P1 - 0", true},  // refused
        {OverrideKind::DefaultIpAddress, "mnuDefaultIPAddress", "10.0.0.9", "Default IP Address - 10.0.0.9",
         true},
        {OverrideKind::DefaultIpAddress, "mnuDefaultIPAddress", "10.0.0.256", "Default IP Address - 10.0.0.9",
         true},
        {OverrideKind::AccessPassword, "mnuAccessPassword", "admin:pw", "Access Password - admin:pw", true},
        {OverrideKind::MasterPassword, "mnuMasterPassword", "root:pw", "Master Password - root:pw", true},
    };
    for (const auto& c : cases) {
        view_.inputs = {c.answer};
        s.promptOverride(c.kind);
        EXPECT_EQ(cap(c.item), c.caption) << c.answer;
        EXPECT_EQ(view_.checked[c.item], c.checked) << c.answer;
    }
    EXPECT_EQ(s.override(OverrideKind::InitializeP1).value, "xyz") << "a refused value leaves the old one";
    EXPECT_EQ(view_.boxes[0], "Override File Data|\"70000\" is not a number from -32768 to 32767");
    EXPECT_EQ(view_.prompts[2],
              "Override File Data|Initialize P1 to what number?\r\n\r\n(Hex entered as &Hxx)\r\n\r\n|");
    EXPECT_EQ(view_.prompts[3],
              "Override File Data|Initialize P1 to what number?\r\n\r\n(Hex entered as "
              "&Hxx)\r\n\r\n|&H1F")
        << "the prompt offers the value as typed";
    EXPECT_EQ(
        view_.prompts[8],
        "Override File Data|Access Password\r\n\r\nType Username:Password for a total of 24 characters|");
}

TEST_F(SessionTest, DhcpSaveAndLoad) {
    auto& s = start();
    view_.yesNo = {YesNoCancel::Yes};
    s.mnuDHCP();
    EXPECT_EQ(view_.boxes.back(), "Override File Data|Turn DHCP on?");
    EXPECT_EQ(cap("mnuDHCP"), "DHCP - ON");
    view_.inputs = {"&H80", "Lab"};
    s.promptOverride(OverrideKind::InitializeP1);
    s.promptOverride(OverrideKind::DeviceName);
    EXPECT_EQ(cap("mnuInitializeP1"), "Initialize P1 - 128");
    s.mnuSaveOverrides();
    EXPECT_EQ(settings().getSetting("DHCP", ""), "On");
    EXPECT_EQ(settings().getSetting("Initialize P1", ""), "&H80");
    EXPECT_EQ(settings().getSetting("Device Name", ""), "Lab");
    EXPECT_EQ(settings().getSetting("Access Password", "absent"), "absent");

    view_.yesNo = {YesNoCancel::No, YesNoCancel::Cancel};
    s.mnuDHCP();
    EXPECT_EQ(cap("mnuDHCP"), "DHCP - OFF");
    s.mnuDHCP();
    EXPECT_EQ(cap("mnuDHCP"), "DHCP");
    EXPECT_FALSE(view_.checked["mnuDHCP"]);
    EXPECT_EQ(s.override(OverrideKind::Dhcp).value, "Off");
    s.mnuSaveOverrides();
    EXPECT_EQ(settings().getSetting("DHCP", "deleted"), "deleted");

    s.mnuLoadSavedOverrides();
    EXPECT_EQ(cap("mnuInitializeP1"), "Initialize P1 - &H80") << "loading shows the stored text";
    EXPECT_EQ(cap("mnuDeviceName"), "Device Name - Lab");
    EXPECT_EQ(cap("mnuDHCP"), "DHCP");
    EXPECT_EQ(cap("mnuMasterPassword"), "Master Password");
    EXPECT_FALSE(view_.checked["mnuMasterPassword"]);
    EXPECT_TRUE(view_.checked["mnuDeviceName"]);
}

TEST_F(SessionTest, MakeWithAnErrorShowsItAndMakeAndDownloadSendsNothing) {
    auto& s = start();
    s.openFile(dir_.file("broken.kvd"));
    view_.okCancel = {Answer::Cancel};
    s.mnuMakeandDownload();
    EXPECT_EQ(view_.panelText[3], "Errors");
    EXPECT_TRUE(view_.errorColours);
    ASSERT_FALSE(view_.boxes.empty());
    EXPECT_EQ(view_.boxes[0], "Tamarquill Error| Error: \r\n\r\nDo not understand Motor wd");
    EXPECT_NE(view_.log.find("Tamarquill Stopped Processing due to Errors"), std::string::npos);
    EXPECT_TRUE(socket_.sent.empty());

    s.mnuSilentErrors();
    EXPECT_TRUE(view_.checked["mnuSilentErrors"]);
    view_.boxes.clear();
    s.mnuMakeDefinitions();
    EXPECT_TRUE(view_.boxes.empty()) << "silent errors ask nothing";
    EXPECT_EQ(view_.panelText[3], "Errors");

    s.openFile(dir_.file("defs.kvd"));
    EXPECT_EQ(view_.panelText[3], "Errors") << "opening alone does not clear the error state";
    s.mnuMakeDefinitions();
    EXPECT_EQ(view_.panelText[3], "");
    EXPECT_FALSE(view_.errorColours);
    EXPECT_EQ(s.siteFile(), dir_.file("out.kvb"));
    EXPECT_TRUE(view_.enabled["mnuDownloadBrindlecor"]);
    EXPECT_EQ(view_.panelTip[2], "Site File: " + dir_.file("out.kvb"));
}

TEST_F(SessionTest, MakeAndDownloadRunsTheDownloadToItsEnd) {
    auto& s = start();
    s.openFile(dir_.file("defs.kvd"));
    s.mnuMakeandDownload();
    ASSERT_EQ(socket_.sent.size(), 1u);
    EXPECT_EQ(socket_.to, "127.0.0.1:26481");
    EXPECT_EQ(socket_.sent[0][0], download::CMD_ERASE);
    EXPECT_EQ(view_.panelText[5], "Erase:40h");
    s.mnuDownloadBrindlecor();
    EXPECT_EQ(socket_.sent.size(), 1u) << "a second download is refused while one runs";
    answerAll();
    EXPECT_FALSE(s.downloading());
    EXPECT_EQ(view_.panelText[5], "Download OK");
    EXPECT_EQ(socket_.sent.back()[0], download::CMD_RESTART);
    EXPECT_EQ(view_.boxes.back(), "Tamarquill Warning|Downloaded File has No Password");
    EXPECT_TRUE(view_.errorColours);
    EXPECT_EQ(view_.panelText[3], "") << "the warning colours the log but is no error";
}

TEST_F(SessionTest, ApplyOverridesToDownloadSendsTheCheckedOnesOnly) {
    const auto& tree = menuTree();
    const auto at = std::find_if(tree.begin(), tree.end(), [](const MenuLine& line) {
        return line.ref.item == Item::mnuApplyOverrides;
    });
    ASSERT_NE(at, tree.end());
    EXPECT_EQ(at->caption, "Apply Overrides to Download");
    EXPECT_TRUE(at->checkable);
    EXPECT_EQ((at - 2)->ref.item, Item::mnuMasterPassword) << "after the six overrides and a separator";

    auto& s = start();
    EXPECT_FALSE(s.applyingOverrides());
    s.openFile(dir_.file("defs.kvd"));
    s.mnuMakeDefinitions();
    view_.inputs = {"Lab", "Kitchen"};
    s.promptOverride(OverrideKind::DeviceName);
    view_.yesNo = {YesNoCancel::No, YesNoCancel::Cancel};
    s.mnuDHCP();  // DHCP - OFF, checked
    // The page 0x40 that the last download programmed.
    auto firstPage = [this] {
        for (auto d = socket_.sent.rbegin(); d != socket_.sent.rend(); ++d)
            if ((*d)[0] == download::CMD_PROGRAM && (*d)[2] == 0x40)
                return std::vector<uint8_t>(d->begin() + 20, d->end());
        return std::vector<uint8_t>();
    };
    struct Case {
        bool apply;
        std::string name;
        uint8_t dhcp;
        std::string log;
    } cases[] = {
        {false, std::string(64, ' '), 0xFF, ""},
        {true, "Lab" + std::string(61, ' '), 0x00, "Override: Device Name - Lab\r\nOverride: DHCP - OFF\r\n"},
    };
    for (const auto& c : cases) {
        if (s.applyingOverrides() != c.apply) s.trigger({Item::mnuApplyOverrides});
        EXPECT_EQ(view_.checked["mnuApplyOverrides"], c.apply);
        view_.log.clear();
        s.mnuDownloadBrindlecor();
        answerAll();
        const auto page = firstPage();
        ASSERT_EQ(page.size(), 256u);
        EXPECT_EQ(std::string(page.begin(), page.begin() + 64), c.name);
        EXPECT_EQ(page[0x64], c.dhcp);
        EXPECT_EQ(view_.log.substr(0, c.log.size()), c.log);
        if (!c.apply) EXPECT_EQ(view_.log.find("Override"), std::string::npos);
    }

    // Unchecked overrides do not count; a checked one that cannot be applied stops the download unsent.
    s.mnuDHCP();  // Cancel: unchecked
    settings().saveSetting("Initialize P1", "70000");
    s.mnuLoadSavedOverrides();
    const size_t sent = socket_.sent.size();
    s.mnuDownloadBrindlecor();
    EXPECT_EQ(socket_.sent.size(), sent);
    EXPECT_EQ(view_.boxes.back(),
              "Tamarquill Error|Downloading Error: \r\n\r\nInitialize P1 \"70000\" cannot be "
              "applied: not a number from -32768 to 32767");
    settings().deleteSetting("Initialize P1");
    s.mnuLoadSavedOverrides();  // nothing saved: every override unchecked
    view_.log.clear();
    s.mnuDownloadBrindlecor();
    answerAll();
    EXPECT_EQ(view_.log.rfind("Apply Overrides to Download: no override is checked\r\n", 0), 0u) << view_.log;
    const auto page = firstPage();
    ASSERT_EQ(page.size(), 256u);
    EXPECT_EQ(std::string(page.begin(), page.begin() + 64), std::string(64, ' '));
}

TEST_F(SessionTest, DownloadTimesOutAndABusyLocalPortIsReported) {
    socket_.bindWorks = false;
    auto& s = start();
    s.openFile(dir_.file("defs.kvd"));
    s.mnuMakeDefinitions();
    s.mnuDownloadBrindlecor();
    EXPECT_TRUE(socket_.sent.empty());
    EXPECT_EQ(view_.boxes.back(),
              "Tamarquill Error|Downloading Error: \r\n\r\nCannot bind local UDP port 26000");

    socket_.bindWorks = true;
    s.mnuDownloadBrindlecor();
    ASSERT_EQ(socket_.sent.size(), 1u) << "the port is bound as soon as it is free";
    now_ += 30;
    s.onTick();
    EXPECT_TRUE(s.downloading());
    now_ += 1;
    s.onTick();
    EXPECT_FALSE(s.downloading());
    EXPECT_EQ(view_.boxes.back(),
              "Tamarquill Error|Downloading Error: \r\n\r\nNo Response From Brindlecor, Check Password or "
              "Connection");
}

TEST_F(SessionTest, ProgramsAndTheirFailures) {
    auto& s = start();
    s.mnuEditor();
    EXPECT_TRUE(view_.started.empty()) << "no definitions file, nothing to edit";
    s.openFile("/srv/my sites/room.kvd");
    s.mnuEditor();
    EXPECT_EQ(view_.started.back(), "xdg-open|/srv/my sites/room.kvd");
    s.mnuBrowser();
    EXPECT_EQ(view_.started.back(), "url|http://127.0.0.1");
    view_.startWorks = view_.urlWorks = false;
    s.mnuEditor();
    s.mnuBrowser();
    s.mnuCalculator();
    ASSERT_EQ(view_.boxes.size(), 3u);
    EXPECT_EQ(view_.boxes[0], "Tamarquill|Editor Not Found");
    EXPECT_EQ(view_.boxes[1], "Tamarquill|Browser Not Found");
    EXPECT_EQ(view_.boxes[2], "Tamarquill|Calculator Not Found");

    dir_.write("bin/myeditor", "");
    view_.files.push_back(dir_.file("bin/myeditor"));
    s.mnuEditorFileDef();
    EXPECT_EQ(view_.dialogs.back().startFolder, dir_.path());
    EXPECT_EQ(view_.dialogs.back().filter, "EXE Files (*.EXE)|*.EXE|All Files (*.*)|*.*");
    EXPECT_EQ(cap("mnuEditorFileDef"), "&Editor ../bin/myeditor");
    EXPECT_EQ(settings().getSetting("Editor", ""), dir_.file("bin/myeditor"));
    s.mnuEditorFileDef();  // cancelled
    EXPECT_EQ(s.editorPath(), dir_.file("bin/myeditor"));

    s.mnuExit();
    EXPECT_TRUE(view_.closed);
}

}  // namespace
}  // namespace brindlecor::builder
