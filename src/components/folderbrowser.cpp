#include "components/folderbrowser.h"

#include "components/twips.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QToolButton>

namespace kestrune {

const QString FolderBrowser::DialogTitle = QStringLiteral("Select a folder");

namespace {

constexpr int ButtonWidthTwips = 270;
constexpr int DesignWidthTwips = 2535;
constexpr int DesignHeightTwips = 465;
constexpr int IconSize = 16; // px
constexpr int Edge = 1;      // px, the thin border drawn around the control

QString chooseFolder(QWidget *parent, const QString &title, const QString &start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

// The dialog's answer as the text box shows it: native separators, no trailing separator
// except on a root ("/", "C:\"), no "." or ".." steps.
QString folderText(const QString &chosen) {
    return QDir::toNativeSeparators(QDir::cleanPath(chosen));
}

} // namespace

FolderBrowser::FolderBrowser(QWidget *parent)
    : QWidget(parent)
    , m_dialog(chooseFolder) {
    setContentsMargins(Edge, Edge, Edge, Edge);

    m_txtFolder = new QLineEdit(this);
    m_txtFolder->setObjectName(QStringLiteral("txtFolder"));
    m_txtFolder->installEventFilter(this);

    m_cmdBrowse = new QToolButton(this);
    m_cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    m_cmdBrowse->setIcon(
        QIcon::fromTheme(QStringLiteral("folder"), style()->standardIcon(QStyle::SP_DirIcon)));
    m_cmdBrowse->setIconSize(QSize(IconSize, IconSize));
    m_cmdBrowse->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_cmdBrowse->setAccessibleName(DialogTitle);
    m_cmdBrowse->installEventFilter(this);
    const int buttonWidth = twipsToPixels(ButtonWidthTwips, this);
    m_cmdBrowse->resize(buttonWidth, buttonWidth);

    setFocusProxy(m_txtFolder);
    resize(twipsToPixels(DesignWidthTwips, this), twipsToPixelsY(DesignHeightTwips, this));

    connect(m_txtFolder, &QLineEdit::textChanged, this, &FolderBrowser::Change);
    connect(m_cmdBrowse, &QToolButton::clicked, this, &FolderBrowser::Execute);
}

QString FolderBrowser::text() const {
    return m_txtFolder->text();
}

void FolderBrowser::setText(const QString &text) {
    m_txtFolder->setText(text);
}

void FolderBrowser::Execute() {
    const QString chosen = m_dialog ? m_dialog(this, DialogTitle, m_txtFolder->text()) : QString();
    if (chosen.isEmpty())
        return;
    m_txtFolder->setText(folderText(chosen));
}

void FolderBrowser::setFolderDialog(FolderDialog dialog) {
    m_dialog = dialog ? std::move(dialog) : FolderDialog(chooseFolder);
}

QLineEdit *FolderBrowser::textBox() const {
    return m_txtFolder;
}

QToolButton *FolderBrowser::browseButton() const {
    return m_cmdBrowse;
}

QColor FolderBrowser::backColor() const {
    return m_txtFolder->palette().color(QPalette::Base);
}

void FolderBrowser::setBackColor(const QColor &color) {
    QPalette palette = m_txtFolder->palette();
    palette.setColor(QPalette::Base, color);
    m_txtFolder->setPalette(palette);
}

QColor FolderBrowser::foreColor() const {
    return m_txtFolder->palette().color(QPalette::Text);
}

void FolderBrowser::setForeColor(const QColor &color) {
    QPalette palette = m_txtFolder->palette();
    palette.setColor(QPalette::Text, color);
    m_txtFolder->setPalette(palette);
}

bool FolderBrowser::isLocked() const {
    return m_txtFolder->isReadOnly();
}

void FolderBrowser::setLocked(bool locked) {
    m_txtFolder->setReadOnly(locked);
}

int FolderBrowser::selStart() const {
    return m_txtFolder->hasSelectedText() ? m_txtFolder->selectionStart()
                                          : m_txtFolder->cursorPosition();
}

void FolderBrowser::setSelStart(int start) {
    m_txtFolder->setCursorPosition(qBound(0, start, int(m_txtFolder->text().size())));
}

int FolderBrowser::selLength() const {
    return m_txtFolder->selectionLength();
}

void FolderBrowser::setSelLength(int length) {
    const int start = selStart();
    const int available = int(m_txtFolder->text().size()) - start;
    m_txtFolder->setSelection(start, qBound(0, length, available));
}

QString FolderBrowser::selText() const {
    return m_txtFolder->selectedText();
}

void FolderBrowser::setSelText(const QString &text) {
    // insert() replaces the selection even in a read-only box, as a program's write should.
    m_txtFolder->insert(text);
}

void FolderBrowser::Refresh() {
    m_txtFolder->repaint();
}

bool FolderBrowser::event(QEvent *event) {
    // The holder's tool tip is the text box's: it covers nearly all of the control.
    if (event->type() == QEvent::ToolTipChange || event->type() == QEvent::Show)
        m_txtFolder->setToolTip(toolTip());
    return QWidget::event(event);
}

bool FolderBrowser::eventFilter(QObject *watched, QEvent *event) {
    if ((watched == m_txtFolder || watched == m_cmdBrowse) && event->type() == QEvent::KeyPress &&
        browseKey(static_cast<QKeyEvent *>(event))) {
        Execute();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FolderBrowser::keyPressEvent(QKeyEvent *event) {
    if (browseKey(event)) {
        Execute();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool FolderBrowser::browseKey(const QKeyEvent *event) const {
    // Alt alone: Alt+Shift+Down and the like stay with the text box.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return event->key() == Qt::Key_Down && modifiers == Qt::AltModifier;
}

void FolderBrowser::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    layOut();
}

void FolderBrowser::layOut() {
    const QRect inner = contentsRect();
    const int w = inner.width();
    const int h = inner.height();
    const int b = m_cmdBrowse->width();
    m_cmdBrowse->setGeometry(inner.left() + w - b, inner.top(), b, h);

    // The text box sits 1 px in from the top left and ends 2 px before the button. When the
    // control is too small for any text box, it keeps its last size rather than vanish.
    const int textWidth = w - (3 + b);
    const int textHeight = h - 2;
    if (textWidth > 0 && textHeight > 0)
        m_txtFolder->setGeometry(inner.left() + 1, inner.top() + 1, textWidth, textHeight);
}

void FolderBrowser::paintEvent(QPaintEvent *) {
    // A thin sunken edge instead of a heavy frame: dark along the top and left, light along
    // the bottom and right.
    QPainter p(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

} // namespace kestrune
