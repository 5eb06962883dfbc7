// The builder's main window, Form1: the menu tree, the log window Text1, the status bar SB with its five
// panels and ProgressBar1, drawn for the builder session that holds every rule. Boxes, input boxes and file
// dialogs are Qt's, with the designed titles, texts, icons and buttons.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <array>
#include <map>
#include <memory>
#include <optional>

#include "builder/shell/builder_session.h"
#include "builder/shell/session_view.h"
#include "builder/shell/window/udp_download_socket.h"
#include "common/settings_store.h"
#include "common/window/designed_window.h"

class QAction;

namespace brindlecor::builder {

class BuilderWindow : public DesignedWindow, private SessionView {
    Q_OBJECT

  public:
    struct Options {
        int localPort = 26000;  // the download socket's local port
    };

    explicit BuilderWindow(Options options, QWidget* parent = nullptr);
    ~BuilderWindow() override;

    // The start-up after the title and the single-instance check: the designed size, the remembered
    // position and the session's own start-up.
    void startup();
    // Opens a file given on the command line or dropped on the window.
    void openFromOutside(const QString& path);

    BuilderSession& session() { return *session_; }
    QAction* action(const QString& objectName) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildMenus();
    void buildControls();
    QAction* find(MenuRef item) const;

    // SessionView.
    void appendLog(std::string_view text) override;
    void clearLog() override;
    void setLogErrorColours(bool errorColours) override;
    void setCaption(MenuRef item, std::string_view caption) override;
    void setChecked(MenuRef item, bool checked) override;
    void setEnabled(MenuRef item, bool enabled) override;
    void setVisible(MenuRef item, bool visible) override;
    void setPanelText(int panel, std::string_view text) override;
    void setPanelToolTip(int panel, std::string_view toolTip) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override;
    std::string inputBox(std::string_view title, std::string_view prompt, std::string_view initial) override;
    void messageBox(std::string_view title, std::string_view text, BoxIcon icon) override;
    Answer askOkCancel(std::string_view title, std::string_view text) override;
    YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) override;
    std::optional<std::string> chooseFile(const FileDialogRequest& request) override;
    bool startProgram(const std::string& program, const std::string& argument) override;
    bool openUrl(const std::string& url) override;
    std::string findProgram(const std::string& name) override;
    void closeWindow() override;

    Options options_;
    std::unique_ptr<UdpDownloadSocket> socket_;
    std::unique_ptr<BuilderSession> session_;
    std::map<QString, QAction*> actions_;
    QPlainTextEdit* log_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::array<QLabel*, 5> panels_{};
    QTimer tick_;
    bool errorColours_ = false;
};

// Text of the system (one byte per character) to Qt and back.
QString fromSystemText(std::string_view text);
std::string toSystemText(const QString& text);

}  // namespace brindlecor::builder
