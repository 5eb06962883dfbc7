// What a download shows besides the build log: status panel 5, the progress bar, the firmware question,
// the warning boxes and the log window's colours. The window and the console implement it.
#pragma once

#include <string_view>

namespace brindlecor::builder {

enum class YesNoCancel { Yes, No, Cancel };

class DownloadView {
  public:
    virtual ~DownloadView() = default;
    // Status bar panel 5: "Erase:C0h", "Prog: 41h", "Download OK".
    virtual void showDownloadStatus(std::string_view text) = 0;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    // A box with the buttons Yes, No and Cancel.
    virtual YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) = 0;
    // An information box with an OK button.
    virtual void showInformation(std::string_view title, std::string_view text) = 0;
    // The log window in yellow on blue without touching the error panel.
    virtual void showLogErrorColours() = 0;
};

}  // namespace brindlecor::builder
