// What the server's session shows and asks through its window: the three text boxes, the status bar panel,
// menu captions and states, message boxes, the file dialog and the browser. The Qt window implements it.
// Texts are bytes: paths as the file system spells them, everything else plain ASCII.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/shell/server_menu.h"

namespace brindlecor::server {

enum class BoxIcon { Exclamation, Critical };

// The first filter that the file dialog selects and the rest, in the "Caption|pattern|Caption|pattern" form.
struct FileDialogRequest {
    std::string filter;
    std::string startFolder;
};

class ServerView {
  public:
    // The text boxes Text1..Text3.
    static constexpr int kAddressBox = 1;
    static constexpr int kLastVisitorBox = 2;
    static constexpr int kAccessCountBox = 3;

    virtual ~ServerView() = default;

    virtual void setBoxText(int box, std::string_view text) = 0;
    // Panel 1 of the status bar, the image path.
    virtual void setImagePanel(std::string_view path) = 0;

    virtual void setCaption(MenuRef item, std::string_view caption) = 0;
    virtual void setChecked(MenuRef item, bool checked) = 0;
    virtual void setEnabled(MenuRef item, bool enabled) = 0;
    virtual void setVisible(MenuRef item, bool visible) = 0;
    virtual void setStatusTip(MenuRef item, std::string_view tip) = 0;

    // A message box with an OK button.
    virtual void messageBox(std::string_view title, std::string_view text, BoxIcon icon) = 0;
    // A file-open dialog for an existing file; nothing when it was cancelled.
    virtual std::optional<std::string> chooseFile(const FileDialogRequest& request) = 0;
    // Opens an address with the desktop's URL handler; false when none could.
    virtual bool openUrl(const std::string& url) = 0;
    // Closes the window, which ends the program.
    virtual void closeWindow() = 0;
};

}  // namespace brindlecor::server
