// What both programs' main windows share: one designed size in the normal state, the position remembered in
// the program's settings ("Top", "Left") with the rules of window_position.h, and the Open dialog whose filter
// captions stay as designed while their patterns match either case.
#pragma once

#include <QMainWindow>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>

#include "common/settings_store.h"

namespace brindlecor {

class DesignedWindow : public QMainWindow {
    Q_OBJECT

  public:
    QSize designedSize() const { return designed_; }

  protected:
    DesignedWindow(std::string_view application, QWidget* parent);

    // Takes the designed size and moves to the remembered position (or the screen's edge).
    void placeAtStartup(QSize designed);
    // Remembers the position on close, unless minimized or at an edge.
    void savePosition();
    void resizeEvent(QResizeEvent* event) override;

    SettingsStore settings_;

  private:
    QSize designed_;
};

// The patterns of one "Caption|pattern;pattern" filter pair as Qt name patterns, in both cases; "*.*" is
// every file, with or without an extension.
QStringList filterPatterns(const QString& patterns);

// The designed Open dialog (object name "CommonDialog1") over a filter "Caption|patterns|Caption|patterns";
// the chosen file, or nothing when cancelled.
std::optional<QString> openFileDialog(QWidget* parent, const QString& filter, const QString& startFolder);

}  // namespace brindlecor
