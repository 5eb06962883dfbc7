// The builder's main window object without its window: everything a run of the window keeps (current files,
// download target, IP list, recent files, editor, download password, overrides, Silent Errors) and every
// menu command, over the same builder, download sender and settings store that the command line uses. The Qt
// window only draws what this asks through SessionView and hands menu clicks, datagrams and ticks to it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "builder/download/config_overrides.h"
#include "builder/download/download_password.h"
#include "builder/download/download_sender.h"
#include "builder/image/make_driver.h"
#include "builder/shell/download_socket.h"
#include "builder/shell/session_view.h"
#include "common/settings_store.h"

namespace brindlecor::builder {

struct OverrideState {
    std::string value;  // as typed, or "On"/"Off" for DHCP
    bool checked = false;
};

class BuilderSession : private BuildView, private DownloadView {
  public:
    struct Platform {
        const WallClock* clock = nullptr;        // the make's log stamps
        std::function<int64_t()> seconds;        // the download's reply time-out
        std::function<void()> flushArpCache;     // before every download
        int localPort = 26000;                   // the download socket's local port
        std::string programFolder = "/usr/bin";  // where the Editor Program dialog starts
        std::string homeFolder;                  // where the Open dialog starts without a usable recent file
    };

    BuilderSession(SessionView& view, SettingsStore& settings, DownloadSocket& socket, Platform platform);

    // The start-up after the window's title, single-instance check and size: every step that can fail is
    // skipped and the next one runs.
    void startup();

    // Runs the command of a menu item (the window calls this for every click).
    void trigger(MenuRef item);

    // The menu commands.
    void mnuOpenFile();
    void openFile(const std::string& name);
    void mnuPrevFiles(int index);
    void mnuExit();
    void mnuMakeDefinitions();
    void mnuDownloadBrindlecor();
    void mnuMakeandDownload();
    void mnuEthernetIPAddress();
    void mnuPortDownload();
    void mnuIPaddress(int index);
    void mnuClearIPlist();
    void mnuResetDefaults();
    void mnuDownloadPassword();
    void mnuEditorFileDef();
    void mnuSilentErrors();
    void mnuSaveOverrides();
    void mnuLoadSavedOverrides();
    void promptOverride(OverrideKind kind);
    void mnuDHCP();
    void mnuApplyOverrides();
    void mnuEditor();
    void mnuBrowser();
    void mnuCalculator();

    // A file given from outside the menus (the command line, a drop on the window): opened as Open does.
    void openFromOutside(const std::string& path);

    // Every datagram the download socket receives with where it came from, and the clock while a download
    // runs.
    void onDatagram(std::span<const uint8_t> datagram, const DatagramSource& from);
    void onTick();
    bool downloading() const { return sender_.running(); }

    // What the window and the tests read back.
    const std::string& definitionsFile() const { return definitionsFile_; }
    const std::string& siteFile() const { return siteFile_; }
    const std::string& downloadAddress() const { return address_; }
    int downloadPort() const { return port_; }
    const std::vector<std::string>& ipList() const { return ipList_; }
    const std::vector<std::string>& recentFiles() const { return recentFiles_; }
    const std::string& editorPath() const { return editorPath_; }
    const PasswordBytes& downloadPassword() const { return password_; }
    const OverrideState& override(OverrideKind kind) const { return overrides_[static_cast<int>(kind)]; }
    bool applyingOverrides() const { return applyOverrides_; }
    bool silentErrors() const { return builder_.log().silentErrors(); }
    Builder& builder() { return builder_; }
    const DownloadSender& sender() const { return sender_; }

  private:
    // BuildView and DownloadView: passed on to the window, with the site file kept here.
    void appendLog(std::string_view text) override;
    void clearLog() override;
    void showErrorState(bool errors) override;
    void errorReported(std::string_view title, std::string_view text, const SourceLocation* where) override;
    Answer askOkCancel(std::string_view caption, std::string_view message) override;
    void showErrorBox(std::string_view text) override;
    void siteFileChanged(const std::string& path) override;
    void showDownloadStatus(std::string_view text) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override;
    YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) override;
    void showInformation(std::string_view title, std::string_view text) override;
    void showLogErrorColours() override;

    void download();
    void showTarget(bool withPort);
    void setAddressCaption();
    void setPortCaption(bool changed);
    void refreshIPMenu();
    void refreshRecentMenu();
    void setEditorCaption();
    void rememberFile(const std::string& name);
    void saveFailed();
    void setOverride(OverrideKind kind, std::string value, bool checked);
    std::string overrideCaption(OverrideKind kind) const;
    bool prepareOverrides();
    void warn(std::string_view title, std::string_view text);

    SessionView& view_;
    SettingsStore& settings_;
    DownloadSocket& socket_;
    Platform platform_;
    Builder builder_;
    DownloadSender sender_;

    std::string definitionsFile_;
    std::string siteFile_;
    std::string address_;
    int port_ = 0;
    std::vector<std::string> ipList_;
    std::vector<std::string> recentFiles_;
    std::string editorPath_;
    std::string calculator_;
    PasswordBytes password_{};
    std::array<OverrideState, kOverrideCount> overrides_{};
    bool applyOverrides_ = false;
};

// Texts of the window that belong to no one command.
// The designed title, 13 spaces and the maker's notice.
inline constexpr std::string_view kWindowTitle =
    "Falvenrode(TM) Web Site Downloader for Brindlecor(TM)"
    "             "
    "Copyright (C) 2026 The Brindlecor tool chain developers";
inline constexpr std::string_view kAnotherCopyText =
    "Another copy of Tamarquill is running\r\n\r\nYou may have to remove the other copy of Tamarquill\r\n"
    "by Ctrl-Alt-Delete and then finding the task and ending it";
inline constexpr std::string_view kOpenFilter =
    "Brindlecor Files (*.KVD;*.KVB)|*.KVD;*.KVB|All Files (*.*)|*.*";
inline constexpr std::string_view kEditorFilter = "EXE Files (*.EXE)|*.EXE|All Files (*.*)|*.*";
// The calculators tried in turn for the Calculator command.
inline constexpr std::array<std::string_view, 4> kCalculators = {"gnome-calculator", "kcalc", "galculator",
                                                                 "xcalc"};

}  // namespace brindlecor::builder
