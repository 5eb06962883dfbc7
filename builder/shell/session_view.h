// What the builder's session shows and asks through its window: menu captions and states, the status bar
// panels, message and input boxes, the file dialogs, and the programs it starts. The Qt window implements it;
// tests implement it with a recorder that answers from a script.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "builder/download/download_view.h"
#include "builder/image/build_log.h"
#include "builder/shell/builder_menu.h"

namespace brindlecor::builder {

enum class BoxIcon { None, Information, Exclamation, Critical };

// The first filter that a file dialog selects and the rest, in the "Caption|pattern|Caption|pattern" form.
struct FileDialogRequest {
    std::string filter;
    std::string startFolder;
};

class SessionView {
  public:
    // Status bar panels, numbered from 1.
    static constexpr int kDefinitionsPanel = 1;
    static constexpr int kSiteFilePanel = 2;
    static constexpr int kErrorPanel = 3;
    static constexpr int kTargetPanel = 4;
    static constexpr int kDownloadPanel = 5;

    virtual ~SessionView() = default;

    // The log window: text appended as it stands (line ends included) with the caret moved to its end, and
    // its colours: black on white, or yellow (255,255,0) on blue (0,0,255) after an error.
    virtual void appendLog(std::string_view text) = 0;
    virtual void clearLog() = 0;
    virtual void setLogErrorColours(bool errorColours) = 0;

    virtual void setCaption(MenuRef item, std::string_view caption) = 0;
    virtual void setChecked(MenuRef item, bool checked) = 0;
    virtual void setEnabled(MenuRef item, bool enabled) = 0;
    virtual void setVisible(MenuRef item, bool visible) = 0;
    virtual void setPanelText(int panel, std::string_view text) = 0;
    virtual void setPanelToolTip(int panel, std::string_view toolTip) = 0;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressValue(int value) = 0;

    // An input box; Cancel answers an empty text.
    virtual std::string inputBox(std::string_view title, std::string_view prompt,
                                 std::string_view initial) = 0;
    // A message box with an OK button.
    virtual void messageBox(std::string_view title, std::string_view text, BoxIcon icon) = 0;
    // A box with the exclamation icon and the buttons OK and Cancel.
    virtual Answer askOkCancel(std::string_view title, std::string_view text) = 0;
    // A box without an icon and the buttons Yes, No and Cancel.
    virtual YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) = 0;
    // A file-open dialog for an existing file; nothing when it was cancelled.
    virtual std::optional<std::string> chooseFile(const FileDialogRequest& request) = 0;

    // Starts a program without waiting for it; false when it could not be started.
    virtual bool startProgram(const std::string& program, const std::string& argument) = 0;
    // Opens an address with the desktop's URL handler; false when none could.
    virtual bool openUrl(const std::string& url) = 0;
    // The full path of a program found on the PATH, empty when there is none.
    virtual std::string findProgram(const std::string& name) = 0;
    // Closes the window, which ends the program.
    virtual void closeWindow() = 0;
};

}  // namespace brindlecor::builder
