#include "server/shell/window/server_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "common/settings_keys.h"
#include "common/window/menu_bar.h"

namespace brindlecor::server {

namespace keys = brindlecor::settings;

namespace {

// The window keeps one size in its normal state.
constexpr QSize kDesignedSize(420, 168);

// The window's texts are paths as the file system spells them, or plain ASCII.
QString fromBytes(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string filePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool isImage(const QUrl& url) {
    return url.isLocalFile() && QFileInfo(url.toLocalFile()).suffix().toLower() == QLatin1String("kvb");
}

}  // namespace

ServerWindow::ServerWindow(ServeOptions options, QWidget* parent)
    : DesignedWindow(keys::kServerApplication, parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("BrindlecorPC"));
    buildMenus();
    buildControls();
    session_ = std::make_unique<ServerSession>(static_cast<ServerView&>(*this), settings_, std::move(options),
                                               ServerSession::Platform{filePath(QDir::homePath())});
    // Messages of the serial line that no box is designed for (a port that went away) go where the
    // program's other diagnostics go.
    session_->server().serial().setReporter(
        [](const std::string& text) { std::fprintf(stderr, "brindlecorpc: %s\n", text.c_str()); });
    setAcceptDrops(true);
}

ServerWindow::~ServerWindow() = default;

void ServerWindow::buildMenus() {
    buildMenuBar(
        *this, menuTree(), fromBytes,
        [](const MenuRef& ref) { return QString::fromStdString(server::objectName(ref)); }, actions_,
        [this](const MenuRef& ref) { session_->trigger(ref); },
        [this](const MenuLine& line, QMenu* menu) {
            // The Comm menu looks at the ports each time it opens.
            if (line.ref.item == Item::mnuCOMMs)
                connect(menu, &QMenu::aboutToShow, this, [this, ref = line.ref] { session_->trigger(ref); });
        });
    // Shortcuts beside the designed access keys; the captions stay as they are.
    find({Item::mnuOpen})->setShortcut(QKeySequence::Open);
    find({Item::mnuReload})->setShortcut(QKeySequence(Qt::Key_F5));
    find({Item::mnuExit})->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void ServerWindow::buildControls() {
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(10);
    const char* captions[] = {"My Address:", "Last Visitor:", "Access Count:"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(QString::fromLatin1(captions[i]), central);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        auto* box = new QLineEdit(central);
        box->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        box->setReadOnly(true);
        // The box is named by its label for screen readers.
        label->setBuddy(box);
        grid->addWidget(label, i, 0);
        grid->addWidget(box, i, 1);
        boxes_[static_cast<size_t>(i)] = box;
    }
    grid->setColumnStretch(1, 1);
    setCentralWidget(central);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("SB"));
    bar->setSizeGripEnabled(false);
    panel_ = new QLabel(bar);
    panel_->setObjectName(QStringLiteral("SBPanel1"));
    panel_->setTextFormat(Qt::PlainText);
    panel_->setMinimumWidth(40);
    bar->addWidget(panel_, 1);
}

void ServerWindow::startup() {
    placeAtStartup(kDesignedSize);
    session_->startup();
}

void ServerWindow::openFromOutside(const QString& path) {
    session_->openFromOutside(filePath(path));
}

QAction* ServerWindow::action(const QString& name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

QAction* ServerWindow::find(MenuRef item) const {
    return action(QString::fromStdString(server::objectName(item)));
}

void ServerWindow::closeEvent(QCloseEvent* event) {
    savePosition();
    session_->shutdown();
    event->accept();
}

void ServerWindow::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() == 1 && isImage(urls.front())) event->acceptProposedAction();
}

void ServerWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() != 1 || !isImage(urls.front())) return;
    event->acceptProposedAction();
    openFromOutside(urls.front().toLocalFile());
}

// Boxes, panel and menus.

void ServerWindow::setBoxText(int box, std::string_view text) {
    if (box >= 1 && box <= 3) boxes_[static_cast<size_t>(box - 1)]->setText(fromBytes(text));
}

void ServerWindow::setImagePanel(std::string_view path) {
    panel_->setText(fromBytes(path));
    // The panel may be narrower than a long path.
    panel_->setToolTip(fromBytes(path));
}

void ServerWindow::setCaption(MenuRef item, std::string_view caption) {
    if (QAction* a = find(item)) a->setText(fromBytes(caption));
}

void ServerWindow::setChecked(MenuRef item, bool checked) {
    if (QAction* a = find(item)) a->setChecked(checked);
}

void ServerWindow::setEnabled(MenuRef item, bool enabled) {
    if (QAction* a = find(item)) a->setEnabled(enabled);
}

void ServerWindow::setVisible(MenuRef item, bool visible) {
    if (QAction* a = find(item)) a->setVisible(visible);
}

void ServerWindow::setStatusTip(MenuRef item, std::string_view tip) {
    if (QAction* a = find(item)) a->setStatusTip(fromBytes(tip));
}

// Boxes and dialogs.

void ServerWindow::messageBox(std::string_view title, std::string_view text, BoxIcon icon) {
    QMessageBox box(icon == BoxIcon::Critical ? QMessageBox::Critical : QMessageBox::Warning,
                    fromBytes(title), fromBytes(text), QMessageBox::Ok, this);
    box.exec();
}

std::optional<std::string> ServerWindow::chooseFile(const FileDialogRequest& request) {
    const auto chosen = openFileDialog(this, fromBytes(request.filter), fromBytes(request.startFolder));
    if (!chosen) return std::nullopt;
    return filePath(*chosen);
}

bool ServerWindow::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void ServerWindow::closeWindow() {
    close();
}

}  // namespace brindlecor::server
