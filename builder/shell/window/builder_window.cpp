#include "builder/shell/window/builder_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

#include "builder/image/wall_clock.h"
#include "builder/shell/arp_flush.h"
#include "builder/shell/udp_port.h"
#include "common/settings_keys.h"
#include "common/window/menu_bar.h"

namespace brindlecor::builder {

namespace keys = brindlecor::settings;

namespace {

// The window keeps one size in its normal state; the log takes what the menus and panels leave.
constexpr QSize kDesignedSize(760, 480);
constexpr int kTickMs = 250;

const QColor kErrorBackground(0, 0, 255);
const QColor kErrorText(255, 255, 0);

// Message and prompt texts end their lines in CR LF; Qt's boxes want plain line feeds.
QString boxText(std::string_view text) {
    QString s = fromSystemText(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

QMessageBox::Icon qtIcon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Exclamation:
            return QMessageBox::Warning;
        case BoxIcon::Critical:
            return QMessageBox::Critical;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// A path as the file system spells it, so that names outside Latin-1 still open.
std::string filePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool isSiteOrDefinitions(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
    return suffix == QLatin1String("kvd") || suffix == QLatin1String("kvb");
}

}  // namespace

QString fromSystemText(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toSystemText(const QString& text) {
    return text.toLatin1().toStdString();
}

BuilderWindow::BuilderWindow(Options options, QWidget* parent)
    : DesignedWindow(keys::kBuilderApplication, parent), options_(options) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(fromSystemText(kWindowTitle));
    buildMenus();
    buildControls();

    static const SystemWallClock clock;
    socket_ = std::make_unique<UdpDownloadSocket>(
        [this](std::span<const uint8_t> datagram, const DatagramSource& from) {
            session_->onDatagram(datagram, from);
        });
    BuilderSession::Platform platform;
    platform.clock = &clock;
    platform.seconds = wallClockSeconds;
    platform.flushArpCache = flushArpCache;
    platform.localPort = options_.localPort;
    platform.programFolder = "/usr/bin";
    platform.homeFolder = filePath(QDir::homePath());
    session_ =
        std::make_unique<BuilderSession>(static_cast<SessionView&>(*this), settings_, *socket_, platform);

    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, [this] {
        if (session_->downloading()) session_->onTick();
    });
    tick_.start();
    setAcceptDrops(true);
}

BuilderWindow::~BuilderWindow() = default;

void BuilderWindow::buildMenus() {
    buildMenuBar(
        *this, menuTree(), fromSystemText,
        [](const MenuRef& ref) { return QString::fromStdString(builder::objectName(ref)); }, actions_,
        [this](const MenuRef& ref) { session_->trigger(ref); }, [](const MenuLine&, QMenu*) {});
    // Shortcuts beside the designed access keys; the captions stay as they are.
    find({Item::mnuOpenFile})->setShortcut(QKeySequence::Open);
    find({Item::mnuExit})->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    find({Item::mnuMakeDefinitions})->setShortcut(QKeySequence(Qt::Key_F7));
    find({Item::mnuMakeandDownload})->setShortcut(QKeySequence(Qt::Key_F5));
}

void BuilderWindow::buildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    log_ = new QPlainTextEdit(central);
    log_->setObjectName(QStringLiteral("Text1"));
    log_->setAccessibleName(QStringLiteral("Log"));
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(log_, 1);

    progress_ = new QProgressBar(central);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setAccessibleName(QStringLiteral("Download Progress"));
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    layout->addWidget(progress_);
    setCentralWidget(central);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("SB"));
    bar->setSizeGripEnabled(false);
    const int stretch[5] = {3, 3, 1, 2, 1};
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("SBPanel%1").arg(i + 1));
        panel->setTextFormat(Qt::PlainText);
        panel->setMinimumWidth(40);
        bar->addWidget(panel, stretch[i]);
        panels_[static_cast<size_t>(i)] = panel;
    }
    setLogErrorColours(false);
}

void BuilderWindow::startup() {
    placeAtStartup(kDesignedSize);
    session_->startup();
}

void BuilderWindow::openFromOutside(const QString& path) {
    session_->openFromOutside(filePath(path));
}

QAction* BuilderWindow::action(const QString& name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

QAction* BuilderWindow::find(MenuRef item) const {
    return action(QString::fromStdString(builder::objectName(item)));
}

void BuilderWindow::closeEvent(QCloseEvent* event) {
    savePosition();
    tick_.stop();
    event->accept();
}

void BuilderWindow::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() == 1 && isSiteOrDefinitions(urls.front())) event->acceptProposedAction();
}

void BuilderWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() != 1 || !isSiteOrDefinitions(urls.front())) return;
    event->acceptProposedAction();
    openFromOutside(urls.front().toLocalFile());
}

// The log window.

void BuilderWindow::appendLog(std::string_view text) {
    QString s = fromSystemText(text);
    s.remove(QLatin1Char('\r'));
    QTextCharFormat format;
    format.setForeground(errorColours_ ? kErrorText : QColor(Qt::black));
    format.setBackground(errorColours_ ? kErrorBackground : QColor(Qt::white));
    QTextCursor end(log_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(s, format);
    log_->setTextCursor(end);
    log_->ensureCursorVisible();
}

void BuilderWindow::clearLog() {
    log_->clear();
}

void BuilderWindow::setLogErrorColours(bool errorColours) {
    errorColours_ = errorColours;
    const QColor background = errorColours ? kErrorBackground : QColor(Qt::white);
    const QColor text = errorColours ? kErrorText : QColor(Qt::black);
    QPalette palette = log_->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::Text, text);
    }
    log_->setPalette(palette);
    // The text carries the colours too, so that what reads the log's text attributes sees them.
    QTextCharFormat format;
    format.setForeground(text);
    format.setBackground(background);
    QTextCursor all(log_->document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(format);
}

// Menus and panels.

void BuilderWindow::setCaption(MenuRef item, std::string_view caption) {
    if (QAction* a = find(item)) a->setText(fromSystemText(caption));
}

void BuilderWindow::setChecked(MenuRef item, bool checked) {
    if (QAction* a = find(item)) a->setChecked(checked);
}

void BuilderWindow::setEnabled(MenuRef item, bool enabled) {
    if (QAction* a = find(item)) a->setEnabled(enabled);
}

void BuilderWindow::setVisible(MenuRef item, bool visible) {
    if (QAction* a = find(item)) a->setVisible(visible);
}

void BuilderWindow::setPanelText(int panel, std::string_view text) {
    if (panel >= 1 && panel <= 5) panels_[static_cast<size_t>(panel - 1)]->setText(fromSystemText(text));
}

void BuilderWindow::setPanelToolTip(int panel, std::string_view toolTip) {
    if (panel >= 1 && panel <= 5)
        panels_[static_cast<size_t>(panel - 1)]->setToolTip(fromSystemText(toolTip));
}

void BuilderWindow::setProgressRange(int minimum, int maximum) {
    // A range without pages would make Qt's bar run as a busy indicator.
    progress_->setRange(minimum, std::max(maximum, minimum + 1));
}

void BuilderWindow::setProgressValue(int value) {
    progress_->setValue(value);
}

// Boxes and dialogs.

std::string BuilderWindow::inputBox(std::string_view title, std::string_view prompt,
                                    std::string_view initial) {
    QInputDialog dialog(this);
    dialog.setWindowTitle(fromSystemText(title));
    dialog.setLabelText(boxText(prompt));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(fromSystemText(initial));
    if (dialog.exec() != QDialog::Accepted) return {};
    return toSystemText(dialog.textValue());
}

void BuilderWindow::messageBox(std::string_view title, std::string_view text, BoxIcon icon) {
    QMessageBox box(qtIcon(icon), fromSystemText(title), boxText(text), QMessageBox::Ok, this);
    box.exec();
}

Answer BuilderWindow::askOkCancel(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::Warning, fromSystemText(title), boxText(text),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

YesNoCancel BuilderWindow::askYesNoCancel(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, fromSystemText(title), boxText(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return YesNoCancel::Yes;
        case QMessageBox::No:
            return YesNoCancel::No;
        default:
            return YesNoCancel::Cancel;
    }
}

std::optional<std::string> BuilderWindow::chooseFile(const FileDialogRequest& request) {
    const auto chosen =
        openFileDialog(this, fromSystemText(request.filter), QFile::decodeName(request.startFolder.c_str()));
    if (!chosen) return std::nullopt;
    return filePath(*chosen);
}

bool BuilderWindow::startProgram(const std::string& program, const std::string& argument) {
    QStringList arguments;
    if (!argument.empty()) arguments << QFile::decodeName(argument.c_str());
    return QProcess::startDetached(QFile::decodeName(program.c_str()), arguments);
}

bool BuilderWindow::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(fromSystemText(url)));
}

std::string BuilderWindow::findProgram(const std::string& name) {
    return filePath(QStandardPaths::findExecutable(QString::fromStdString(name)));
}

void BuilderWindow::closeWindow() {
    close();
}

}  // namespace brindlecor::builder
