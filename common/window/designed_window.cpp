#include "common/window/designed_window.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <string>
#include <vector>

#include "common/settings_keys.h"
#include "common/window_position.h"

namespace brindlecor {

namespace keys = brindlecor::settings;

DesignedWindow::DesignedWindow(std::string_view application, QWidget* parent)
    : QMainWindow(parent), settings_(SettingsStore::forApplication(application)) {}

void DesignedWindow::placeAtStartup(QSize designed) {
    designed_ = designed;
    resize(designed_);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const QSize frame = frameGeometry().size();
    const int top = startupCoordinate(keys::value(settings_, keys::kTop), frame.height(), area.height());
    const int left = startupCoordinate(keys::value(settings_, keys::kLeft), frame.width(), area.width());
    move(left, top);
}

void DesignedWindow::savePosition() {
    const QRect frame = frameGeometry();
    if (isMinimized() || !savesPosition(frame.top(), frame.left())) return;
    settings_.saveSetting(keys::kTop.name, std::to_string(frame.top()));
    settings_.saveSetting(keys::kLeft.name, std::to_string(frame.left()));
}

void DesignedWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    const auto normal = [this] {
        return !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    };
    if (!designed_.isValid() || !normal() || size() == designed_) return;
    // Back to the designed size once the window system is done with this resize.
    QTimer::singleShot(0, this, [this, normal] {
        if (normal() && size() != designed_) resize(designed_);
    });
}

QStringList filterPatterns(const QString& patterns) {
    QStringList out;
    for (const QString& pattern : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (pattern == QLatin1String("*.*")) return {QStringLiteral("*")};
        out << pattern.toUpper() << pattern.toLower();
    }
    out.removeDuplicates();
    return out;
}

std::optional<QString> openFileDialog(QWidget* parent, const QString& filter, const QString& startFolder) {
    // The captions are shown as they stand, the patterns matched in either case.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList captions;
    std::vector<QStringList> patterns;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        captions << parts[i];
        patterns.push_back(filterPatterns(parts[i + 1]));
    }
    QFileDialog dialog(parent, QStringLiteral("Open"), startFolder);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(captions);
    auto* model = dialog.findChild<QFileSystemModel*>();
    const auto usePatterns = [model, captions, patterns](const QString& caption) {
        const qsizetype index = captions.indexOf(caption);
        if (model && index >= 0) model->setNameFilters(patterns[static_cast<size_t>(index)]);
    };
    if (!captions.isEmpty()) {
        dialog.selectNameFilter(captions.front());
        usePatterns(captions.front());
    }
    // Queued, so that it comes after the dialog has set the patterns it reads from the caption.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, usePatterns, Qt::QueuedConnection);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front();
}

}  // namespace brindlecor
