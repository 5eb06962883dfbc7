// The server's main window, Form1: the address, last visitor and access count boxes Text1..Text3 with their
// labels, the status bar SB with the image path, and the menus, drawn for the server session that holds
// every rule. Boxes and the file dialog are Qt's, with the designed titles, texts and icons.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <array>
#include <map>
#include <memory>

#include "common/settings_store.h"
#include "common/window/designed_window.h"
#include "server/shell/server_session.h"
#include "server/shell/server_view.h"

class QAction;

namespace brindlecor::server {

class ServerWindow : public DesignedWindow, private ServerView {
    Q_OBJECT

  public:
    explicit ServerWindow(ServeOptions options, QWidget* parent = nullptr);
    ~ServerWindow() override;

    // The start-up: the designed size, the remembered position and the session's own start-up.
    void startup();
    // Opens an image given on the command line or dropped on the window.
    void openFromOutside(const QString& path);

    ServerSession& session() { return *session_; }
    QAction* action(const QString& objectName) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildMenus();
    void buildControls();
    QAction* find(MenuRef item) const;

    // ServerView.
    void setBoxText(int box, std::string_view text) override;
    void setImagePanel(std::string_view path) override;
    void setCaption(MenuRef item, std::string_view caption) override;
    void setChecked(MenuRef item, bool checked) override;
    void setEnabled(MenuRef item, bool enabled) override;
    void setVisible(MenuRef item, bool visible) override;
    void setStatusTip(MenuRef item, std::string_view tip) override;
    void messageBox(std::string_view title, std::string_view text, BoxIcon icon) override;
    std::optional<std::string> chooseFile(const FileDialogRequest& request) override;
    bool openUrl(const std::string& url) override;
    void closeWindow() override;

    std::unique_ptr<ServerSession> session_;
    std::map<QString, QAction*> actions_;
    std::array<QLineEdit*, 3> boxes_{};
    QLabel* panel_ = nullptr;
};

}  // namespace brindlecor::server
