#include "builder/download/download_sender.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "builder/download/download_password.h"

namespace brindlecor::builder {
namespace {

using Bytes = std::vector<uint8_t>;

struct RecordingPort : DatagramPort {
    std::vector<Bytes> sent;
    std::string address;
    int port = 0;
    bool send(const std::string& a, int p, std::span<const uint8_t> bytes) override {
        address = a;
        port = p;
        sent.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
};

struct RecordingView : DownloadView, BuildView {
    std::vector<std::string> events;  // status texts, progress, boxes and colours in the order shown
    std::string log;
    YesNoCancel answer = YesNoCancel::Yes;
    std::string question;

    void showDownloadStatus(std::string_view text) override { events.push_back(std::string(text)); }
    void setProgressRange(int lo, int hi) override {
        events.push_back("range " + std::to_string(lo) + ".." + std::to_string(hi));
    }
    void setProgressValue(int v) override { events.push_back("value " + std::to_string(v)); }
    YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) override {
        question = std::string(title) + "|" + std::string(text);
        return answer;
    }
    void showInformation(std::string_view title, std::string_view text) override {
        events.push_back("box " + std::string(title) + "|" + std::string(text));
    }
    void showLogErrorColours() override { events.push_back("colours"); }

    void appendLog(std::string_view text) override { log += text; }
    void clearLog() override { log.clear(); }
    void showErrorState(bool errors) override { events.push_back(errors ? "errors" : "clear"); }
    void errorReported(std::string_view, std::string_view, const SourceLocation*) override {}
    Answer askOkCancel(std::string_view, std::string_view) override { return Answer::Ok; }
    void showErrorBox(std::string_view) override {}
    void siteFileChanged(const std::string&) override {}

    bool saw(const std::string& e) const {
        return std::find(events.begin(), events.end(), e) != events.end();
    }
};

class TempFile {
  public:
    explicit TempFile(const Bytes& bytes) {
        static int counter = 0;
        path_ = (std::filesystem::temp_directory_path() /
                 ("dl-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".kvb"))
                    .string();
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    ~TempFile() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

PasswordBytes noPassword() {
    PasswordBytes none;
    none.fill(0xFF);
    return none;
}

// An image of n bytes whose byte k is k * 7 + 3 (so pages differ), with the download password field set.
Bytes makeImage(size_t n, const PasswordBytes& password = noPassword()) {
    Bytes image(n);
    for (size_t k = 0; k < n; ++k) image[k] = static_cast<uint8_t>(k * 7 + 3);
    for (size_t i = 0; i < 16 && 0x40 + i < n; ++i) image[0x40 + i] = password[i];
    return image;
}

struct Fixture {
    RecordingPort port;
    RecordingView view;
    BuildLog log{view};
    int64_t now = 1000;
    int arpFlushes = 0;
    DownloadSender sender{port, view, log, [this] { return now; }, [this] { ++arpFlushes; }};

    const DatagramSource device{"10.1.2.3", 26481};  // where the target's answers come from

    Fixture() { sender.setTarget("10.1.2.3", 26481); }

    // Answers every outstanding request as an echoing device would, until the download ends.
    void answerAll() {
        size_t answered = 0;
        while (sender.running() && answered < port.sent.size()) {
            Bytes reply = port.sent[answered++];
            sender.onReply(reply, device);
        }
    }
    std::vector<std::pair<uint8_t, uint8_t>> commandsAndPages() const {
        std::vector<std::pair<uint8_t, uint8_t>> out;
        for (const auto& d : port.sent) out.emplace_back(d[0], d[2]);
        return out;
    }
};

Bytes header(uint8_t cmd, uint8_t low, uint8_t high, uint8_t count, const PasswordBytes& pw) {
    Bytes h{cmd, low, high, count};
    h.insert(h.end(), pw.begin(), pw.end());
    return h;
}

TEST(DownloadSender, ErasesTheBlocksTheImageNeedsAndProgramsTheFirstPageLast) {
    struct Case {
        size_t size;
        std::vector<uint8_t> erased;
        int lastPage;  // P
    } cases[] = {
        {1, {0x40}, 0},
        {256, {0x40}, 0},
        {257, {0x40}, 1},
        {16384, {0x40}, 63},
        {16385, {0x80, 0x40}, 64},
        {32768, {0x80, 0x40}, 127},
        {32769, {0xC0, 0x80, 0x40}, 128},
        {49152, {0xC0, 0x80, 0x40}, 191},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        Fixture f;
        TempFile file(makeImage(c.size));
        ASSERT_TRUE(f.sender.start(file.path()));
        f.answerAll();
        EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Done);

        std::vector<std::pair<uint8_t, uint8_t>> expected;
        for (uint8_t block : c.erased) expected.emplace_back(0x01, block);
        for (int i = 1; i <= c.lastPage; ++i) expected.emplace_back(0x02, 0x40 + i);
        expected.emplace_back(0x02, 0x40);
        expected.emplace_back(0x86, 0x00);
        EXPECT_EQ(f.commandsAndPages(), expected);
        EXPECT_EQ(f.port.address, "10.1.2.3");
        EXPECT_EQ(f.port.port, 26481);
        EXPECT_TRUE(f.view.saw("range 0.." + std::to_string(c.lastPage)));
        EXPECT_TRUE(f.view.saw("Download OK"));
    }
}

TEST(DownloadSender, StatusAndProgressComeBeforeEachRequest) {
    Fixture f;
    TempFile file(makeImage(600));  // L = 599: erase 40h, pages 41h, 42h, then 40h
    f.sender.start(file.path());
    f.answerAll();
    const std::vector<std::string> expected = {"clear",     "Erase:40h", "range 0..2", "value 0",
                                               "value 1",   "Prog: 41h", "value 2",    "Prog: 42h",
                                               "Prog: 40h", "value 0",   "Download OK"};
    // The image has no password, so the warning follows.
    ASSERT_GE(f.view.events.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(f.view.events.begin(), f.view.events.begin() + expected.size()),
              expected);
}

TEST(DownloadSender, RequestBytes) {
    Fixture f;
    const PasswordBytes builder = downloadPasswordBytes("abc");
    f.sender.setPassword(builder);
    const PasswordBytes imagePw = downloadPasswordBytes("xyz");
    const Bytes image = makeImage(300, imagePw);
    TempFile file(image);
    f.sender.start(file.path());
    f.answerAll();
    ASSERT_EQ(f.port.sent.size(), 4u);

    Bytes erase = header(0x01, 0x00, 0x40, 1, builder);
    erase.push_back(0x00);
    EXPECT_EQ(f.port.sent[0], erase);

    // Page 41h: file bytes 256..299, then 212 erased bytes.
    Bytes page41 = header(0x02, 0x00, 0x41, 0, builder);
    page41.insert(page41.end(), image.begin() + 256, image.end());
    page41.resize(20 + 256, 0xFF);
    EXPECT_EQ(f.port.sent[1], page41);

    Bytes page40 = header(0x02, 0x00, 0x40, 0, builder);
    page40.insert(page40.end(), image.begin(), image.begin() + 256);
    EXPECT_EQ(f.port.sent[2], page40);

    // The restart carries the image's password and first byte, and is not waited for.
    Bytes restart = header(0x86, 0x68, 0x00, 1, imagePw);
    restart.push_back(image[0]);
    EXPECT_EQ(f.port.sent[3], restart);
    EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Done);
    f.sender.onTick(f.now + 100);
    EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Done);
    EXPECT_FALSE(f.log.hasErrors());
}

TEST(DownloadSender, UnansweredRequestEndsAfterThirtySecondsAndNothingMoreIsSent) {
    Fixture f;
    TempFile file(makeImage(40000));
    f.sender.start(file.path());
    ASSERT_EQ(f.port.sent.size(), 1u);  // Erase:C0h

    // The time-out counts from the latest request: answer the first one late, the second still has 30 s.
    f.now += 29;
    f.sender.onTick(f.now);
    f.sender.onReply(f.port.sent[0], f.device);
    ASSERT_EQ(f.port.sent.size(), 2u);
    f.sender.onTick(f.now + 30);
    EXPECT_TRUE(f.sender.running());
    f.sender.onTick(f.now + 31);
    EXPECT_EQ(f.sender.outcome(), DownloadOutcome::NoResponse);
    EXPECT_EQ(f.view.log, "Downloading Error: No Response From Brindlecor, Check Password or Connection\r\n");

    // A late answer changes nothing: no further erase, program or restart request, no warning.
    f.sender.onReply(f.port.sent[1], f.device);
    f.sender.onTick(f.now + 100);
    EXPECT_EQ(f.port.sent.size(), 2u);
    EXPECT_EQ(f.sender.lastReply(), f.port.sent[1]);
    EXPECT_EQ(f.view.events.back(), "errors");
    EXPECT_EQ(f.view.events[f.view.events.size() - 2], "Erase:80h");  // the status keeps its last text
}

TEST(DownloadSender, ASecondDownloadWhileOneRunsIsRefused) {
    Fixture f;
    TempFile file(makeImage(300));
    ASSERT_TRUE(f.sender.start(file.path()));
    EXPECT_FALSE(f.sender.start(file.path()));
    EXPECT_EQ(f.port.sent.size(), 1u);
    EXPECT_EQ(f.arpFlushes, 1);
    f.answerAll();
    EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Done);
    EXPECT_TRUE(f.sender.start(file.path()));  // once done, the next one may start
    EXPECT_EQ(f.arpFlushes, 2);
}

TEST(DownloadSender, UnusableImageFilesAreRefusedBeforeAnythingIsSent) {
    TempFile empty(Bytes{});
    TempFile tooLong(makeImage(49153));
    const std::string missing = empty.path() + ".missing";
    const std::string folder = std::filesystem::temp_directory_path().string();
    struct Case {
        std::string path;
        std::string log;
    } cases[] = {
        {missing, "Downloading Error: Image File Not Found: " + missing + "\r\n"},
        {empty.path(), "Downloading Error: Image File Is Empty: " + empty.path() + "\r\n"},
        {tooLong.path(),
         "Downloading Error: Image File Is Longer Than 49152 Bytes: " + tooLong.path() + "\r\n"},
        {folder, "Downloading Error: Cannot Read Image File: " + folder + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Fixture f;
        EXPECT_TRUE(f.sender.start(c.path));
        EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Refused);
        EXPECT_TRUE(f.port.sent.empty());
        EXPECT_EQ(f.view.log, c.log);
        EXPECT_TRUE(f.log.hasErrors());
    }
}

// A firmware image: "Brindlecor" at offset 531 and a description from offset 512.
Bytes firmwareImage(const std::string& description, bool stopByte) {
    Bytes image = makeImage(1024);
    std::fill(image.begin() + 512, image.begin() + 700, 'd');
    std::copy(description.begin(), description.end(), image.begin() + 512);
    if (stopByte) image[512 + description.size()] = 0x1A;
    const std::string mark = "Brindlecor";
    std::copy(mark.begin(), mark.end(), image.begin() + 531);
    return image;
}

TEST(DownloadSender, FirmwareImageAsksFirstAndRestartsWithTheFirmwareCommand) {
    const std::string shortText = "Firmware 2.0 for a Brindlecor";  // the mark at offset 531 is part of it
    const std::string full = shortText + std::string(188 - shortText.size(), 'd');
    struct Case {
        YesNoCancel answer;
        bool stopByte;
        std::string description;
        size_t sent;
    } cases[] = {
        {YesNoCancel::Yes, true, shortText, 6},
        {YesNoCancel::Yes, false, full, 6},
        {YesNoCancel::No, true, shortText, 0},
        {YesNoCancel::Cancel, true, shortText, 0},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.view.answer = c.answer;
        TempFile file(firmwareImage(shortText, c.stopByte));
        EXPECT_TRUE(f.sender.start(file.path()));
        f.answerAll();
        EXPECT_EQ(f.view.question, "Tamarquill Warning|KVB File is a Firmware Upgrade:\r\n" + c.description +
                                       "\r\nDo You Want To Continue?");
        ASSERT_EQ(f.port.sent.size(), c.sent);
        if (c.sent) {
            EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Done);
            EXPECT_EQ(f.port.sent.back()[0], 0x47);
            EXPECT_EQ(f.port.sent.back()[1], 0x74);
        } else {
            EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Declined);
            EXPECT_FALSE(f.log.hasErrors());
        }
    }
}

TEST(DownloadSender, PasswordWarningsAfterTheRestart) {
    const std::string noneLog = "Warning: Downloaded File has No Password\r\n";
    const std::string noneBox = "box Tamarquill Warning|Downloaded File has No Password";
    const std::string newLog =
        "Warning: Downloaded File has new Password, You must Change your Password to Download Again\r\n";
    const std::string newBox =
        "box Tamarquill Warning|Downloaded File has new Password\r\n\r\nYou must Change your Password to "
        "Download Again.";
    struct Case {
        const char* builder;
        const char* image;  // nullptr: no password in the image
        bool silent;
        std::string log;
        std::vector<std::string> after;  // events after "Download OK"
    } cases[] = {
        {"", nullptr, false, noneLog, {"colours", noneBox}},
        {"abc", nullptr, true, noneLog, {"colours"}},
        {"abc", "abd", false, newLog, {newBox}},
        {"", "abc", true, newLog, {newBox}},
        {"abc", "abc", false, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.builder) + "/" + (c.image ? c.image : "none"));
        Fixture f;
        f.log.setSilentErrors(c.silent);
        f.sender.setPassword(downloadPasswordBytes(c.builder));
        TempFile file(makeImage(300, c.image ? downloadPasswordBytes(c.image) : noPassword()));
        f.sender.start(file.path());
        f.answerAll();
        EXPECT_EQ(f.view.log, c.log);
        auto ok = std::find(f.view.events.begin(), f.view.events.end(), "Download OK");
        ASSERT_NE(ok, f.view.events.end());
        EXPECT_EQ(std::vector<std::string>(ok + 1, f.view.events.end()), c.after);
        EXPECT_FALSE(f.log.hasErrors());
    }
}

TEST(DownloadSender, VerifyReadsEveryPageBackBeforeTheRestart) {
    const Bytes image = makeImage(600);
    TempFile file(image);
    // The device answers reads from what it was programmed with; `corrupt` flips one stored byte.
    for (int corrupt : {-1, 0x4100 + 17}) {
        SCOPED_TRACE(corrupt);
        Fixture f;
        f.sender.setVerify(true);
        Bytes flash(0x10000, 0xFF);
        f.sender.start(file.path());
        size_t answered = 0;
        while (f.sender.running() && answered < f.port.sent.size()) {
            Bytes reply = f.port.sent[answered++];
            const int at = reply[2] * 256;
            if (reply[0] == 0x02) std::copy(reply.begin() + 20, reply.end(), flash.begin() + at);
            if (corrupt >= 0) flash[corrupt] = 0x00;
            if (reply[0] == 0x03) {
                // A stale datagram first: it must not count as the read's answer.
                Bytes stale = f.port.sent[0];
                f.sender.onReply(stale, f.device);
                std::copy_n(flash.begin() + at, 256, reply.begin() + 20);
            }
            f.sender.onReply(reply, f.device);
        }
        std::vector<std::pair<uint8_t, uint8_t>> expected = {{0x01, 0x40}, {0x02, 0x41}, {0x02, 0x42},
                                                             {0x02, 0x40}, {0x03, 0x40}, {0x03, 0x41}};
        if (corrupt < 0) {
            expected.insert(expected.end(), {{0x03, 0x42}, {0x86, 0x00}});
            EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Done);
        } else {
            EXPECT_EQ(f.sender.outcome(), DownloadOutcome::VerifyFailed);
            EXPECT_EQ(f.view.log,
                      "Verifying Error: Page 41h Differs From The Image, Device Not Restarted\r\n");
        }
        EXPECT_EQ(f.commandsAndPages(), expected);
    }
}

TEST(DownloadSender, OnlyTheDevicesOwnEchoAnswersARequest) {
    Fixture f;
    TempFile file(makeImage(600));
    f.sender.start(file.path());
    f.sender.onReply(f.port.sent[0], f.device);
    ASSERT_EQ(f.port.sent.size(), 2u);  // Prog: 41h outstanding
    const Bytes echo = f.port.sent[1];
    Bytes otherHeader = echo;
    otherHeader[2] = 0x42;  // another page's answer, as a late or foreign echo would be
    const Bytes shortEcho(echo.begin(), echo.begin() + 19);
    struct Stray {
        Bytes bytes;
        DatagramSource from;
    } strays[] = {
        {echo, {"10.1.2.4", 26481}},  // another device
        {echo, {"10.1.2.3", 4096}},   // the target, but not its download port (an outgoing datagram)
        {otherHeader, f.device},      // not this request's header
        {f.port.sent[0], f.device},   // a second answer to the erase
        {shortEcho, f.device},       {Bytes{}, f.device},
    };
    for (const auto& stray : strays) {
        f.sender.onReply(stray.bytes, stray.from);
        EXPECT_EQ(f.port.sent.size(), 2u) << stray.from.address << ":" << stray.from.port;
        EXPECT_EQ(f.sender.lastReply(), stray.bytes) << "kept, as any datagram is";
    }
    // The same address written with leading zeros is the target all the same.
    f.sender.onReply(echo, {"10.1.2.003", 26481});
    EXPECT_EQ(f.port.sent.size(), 3u);
    f.answerAll();
    EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Done);
}

TEST(DownloadSender, OverridesReachThePagesButNotTheFile) {
    const Bytes image = makeImage(600);
    TempFile file(image);
    std::string reason;
    std::vector<FieldOverride> fields = {*encodeOverride(OverrideKind::DeviceName, "Lab", reason),
                                         *encodeOverride(OverrideKind::Dhcp, "Off", reason)};
    Fixture f;
    f.sender.setVerify(true);
    f.sender.setOverrides(fields);
    f.sender.start(file.path());
    // A device that answers reads with what it was programmed with.
    Bytes flash(0x10000, 0xFF);
    for (size_t answered = 0; f.sender.running() && answered < f.port.sent.size(); ++answered) {
        Bytes reply = f.port.sent[answered];
        const int at = reply[2] * 256;
        if (reply[0] == 0x02) std::copy(reply.begin() + 20, reply.end(), flash.begin() + at);
        if (reply[0] == 0x03) std::copy_n(flash.begin() + at, 256, reply.begin() + 20);
        f.sender.onReply(reply, f.device);
    }
    EXPECT_EQ(f.sender.outcome(), DownloadOutcome::Done) << "the read-back matches the overridden image";
    Bytes expected = image;
    std::copy_n("Lab", 3, expected.begin());
    std::fill(expected.begin() + 3, expected.begin() + 64, ' ');
    expected[0x64] = 0x00;
    EXPECT_EQ(Bytes(flash.begin() + 0x4000, flash.begin() + 0x4000 + 600), expected);
    EXPECT_EQ(f.view.log.rfind("Override: Device Name - Lab\r\nOverride: DHCP - OFF\r\n", 0), 0u)
        << f.view.log;

    std::ifstream in(file.path(), std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), image) << "the file is left as it was";
}

}  // namespace
}  // namespace brindlecor::builder
