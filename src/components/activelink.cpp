#include "components/activelink.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace kestrune {

namespace {

const QString MailtoPrefix = QStringLiteral("mailto:");

// Addresses a click may hand to the desktop: pages, downloads and mail. Anything else (a
// custom scheme, a shell command) could start a program.
bool isOpenableScheme(const QString &scheme) {
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("ftp") || scheme == QLatin1String("mailto");
}

// File kinds the desktop would run rather than show.
bool hasProgramSuffix(const QFileInfo &info) {
    static const QStringList programSuffixes = {
        QStringLiteral("desktop"),  QStringLiteral("exe"), QStringLiteral("bat"),
        QStringLiteral("cmd"),      QStringLiteral("com"), QStringLiteral("sh"),
        QStringLiteral("bash"),     QStringLiteral("csh"), QStringLiteral("zsh"),
        QStringLiteral("app"),      QStringLiteral("msi"), QStringLiteral("scr"),
        QStringLiteral("pif"),      QStringLiteral("vbs"), QStringLiteral("vbe"),
        QStringLiteral("js"),       QStringLiteral("jse"), QStringLiteral("wsf"),
        QStringLiteral("wsh"),      QStringLiteral("hta"), QStringLiteral("ps1"),
        QStringLiteral("jar"),      QStringLiteral("lnk"), QStringLiteral("url"),
        QStringLiteral("appimage"), QStringLiteral("run"), QStringLiteral("command"),
        QStringLiteral("cpl"),      QStringLiteral("reg"), QStringLiteral("msc"),
    };
    return programSuffixes.contains(info.suffix(), Qt::CaseInsensitive);
}

// An existing document: a plain file, not executable, not a program by its name, and not a
// link to one.
bool isOpenableFile(const QString &path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath(); // empty when missing
    if (canonical.isEmpty() || hasProgramSuffix(info))
        return false;
    const QFileInfo target(canonical);
    return target.isFile() && !target.isExecutable() && !hasProgramSuffix(target);
}

bool mayOpen(const QUrl &url) {
    if (!url.isValid())
        return false;
    if (url.isLocalFile())
        return isOpenableFile(url.toLocalFile());
    const QString scheme = url.scheme().toLower();
    if (!isOpenableScheme(scheme))
        return false;
    return scheme == QLatin1String("mailto") || !url.host().isEmpty();
}

// A mail header value: percent-encoded so "&", "#", "?", "=" and line breaks stay inside
// the value. "@" and "," may stay as they are and keep address lists readable.
QString mailPart(const QString &text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral("@,")));
}

void setTextColor(QWidget *widget, const QColor &color) {
    // Only the enabled groups: a disabled link keeps the style's greyed text.
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, QPalette::WindowText, color);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace

ActiveLink::ActiveLink(const QString &caption, QWidget *parent)
    : QFrame(parent)
    , m_opener([](const QUrl &url) { return QDesktopServices::openUrl(url); })
    , m_font(font())
    , m_activeFont(font())
    , m_foreColor(palette().color(QPalette::WindowText))
    , m_activeForeColor(palette().color(QPalette::WindowText))
    , m_backColor(palette().color(QPalette::Button))
    , m_activeBackColor(palette().color(QPalette::Button))
    , m_caption(caption) {
    setMouseTracking(true);
    m_lblCaption = new QLabel(this);
    m_lblCaption->setObjectName(QStringLiteral("lblCaption"));
    m_lblCaption->setTextFormat(Qt::PlainText);
    m_lblCaption->setWordWrap(true);
    m_lblCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The control itself takes the mouse, so hover and clicks cover the whole of it.
    m_lblCaption->setAttribute(Qt::WA_TransparentForMouseEvents);
    applyFrame();
    Refresh();
}

void ActiveLink::Refresh() {
    if (m_hot)
        ShowActive();
    else
        ShowNormal();
    FitToPicture();
}

void ActiveLink::About() {}

QUrl ActiveLink::target() const {
    if (m_address.isEmpty())
        return QUrl();
    if (m_addressType == MailAddress) {
        QString link = m_address;
        if (!link.startsWith(MailtoPrefix, Qt::CaseInsensitive))
            link.prepend(MailtoPrefix);
        link += QStringLiteral("?subject=") + mailPart(m_mailSubject) + QStringLiteral("&body=") +
                mailPart(m_mailBody) + QStringLiteral("&CC=") + mailPart(m_mailCC) +
                QStringLiteral("&BCC=") + mailPart(m_mailBCC);
        return QUrl(link);
    }
    // A scheme of one letter is a drive ("C:\..."), not an address.
    const QUrl url(m_address);
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(m_address).absoluteFilePath());
}

bool ActiveLink::Jump() {
    if (m_address.isEmpty())
        return false;
    const QUrl url = target();
    if (!mayOpen(url) || !m_opener) {
        Q_EMIT AppNotFound();
        return false;
    }
    const bool hadCursor = testAttribute(Qt::WA_SetCursor);
    const QCursor previous = cursor();
    setCursor(Qt::WaitCursor);
    const bool opened = m_opener(url);
    if (hadCursor)
        setCursor(previous);
    else
        unsetCursor();
    if (!opened)
        Q_EMIT AppNotFound();
    return opened;
}

void ActiveLink::setOpener(Opener opener) {
    m_opener = std::move(opener);
}

void ActiveLink::setLinkFont(const QFont &font) {
    m_font = font;
    Refresh();
}

void ActiveLink::setActiveFont(const QFont &font) {
    m_activeFont = font;
    Refresh();
}

void ActiveLink::setForeColor(const QColor &color) {
    m_foreColor = color;
    Refresh();
}

void ActiveLink::setActiveForeColor(const QColor &color) {
    m_activeForeColor = color;
    Refresh();
}

void ActiveLink::setBackColor(const QColor &color) {
    m_backColor = color;
    Refresh();
}

void ActiveLink::setActiveBackColor(const QColor &color) {
    m_activeBackColor = color;
    Refresh();
}

void ActiveLink::setCaption(const QString &caption) {
    if (caption == m_caption)
        return;
    m_caption = caption;
    Refresh();
}

void ActiveLink::setActiveCaption(const QString &caption) {
    if (caption == m_activeCaption)
        return;
    m_activeCaption = caption;
    Refresh();
}

void ActiveLink::setAlwaysHandCursor(bool always) {
    m_alwaysHandCursor = always;
    Refresh();
}

void ActiveLink::setPicture(const QPixmap &picture) {
    m_picture = picture;
    Refresh();
}

void ActiveLink::setActivePicture(const QPixmap &picture) {
    m_activePicture = picture;
    Refresh();
}

void ActiveLink::setAutoSize(bool autoSize) {
    m_autoSize = autoSize;
    FitToPicture();
    if (!autoSize)
        layOut();
}

void ActiveLink::setAddress(const QString &address) {
    if (address == m_address)
        return;
    m_address = address;
    // The hand cursor depends on there being an address.
    if (m_hot)
        ShowActive();
}

void ActiveLink::setMailSubject(const QString &text) {
    m_mailSubject = text;
}

void ActiveLink::setMailBody(const QString &text) {
    m_mailBody = text;
}

void ActiveLink::setMailCC(const QString &text) {
    m_mailCC = text;
}

void ActiveLink::setMailBCC(const QString &text) {
    m_mailBCC = text;
}

void ActiveLink::setAddressType(int type) {
    m_addressType = type;
}

void ActiveLink::setAppWindowStyle(int style) {
    m_appWindowStyle = style;
}

void ActiveLink::setBorderStyle(int style) {
    m_borderStyle = style;
    applyFrame();
    FitToPicture();
}

void ActiveLink::setAppearance(int appearance) {
    m_appearance = appearance;
    applyFrame();
    FitToPicture();
}

Qt::Alignment ActiveLink::alignment() const {
    return m_lblCaption->alignment();
}

void ActiveLink::setAlignment(Qt::Alignment alignment) {
    m_lblCaption->setAlignment(alignment);
}

QSize ActiveLink::sizeHint() const {
    const int edge = 2 * frameWidth();
    if (!m_picture.isNull())
        return m_picture.deviceIndependentSize().toSize() + QSize(edge, edge);
    const QFontMetrics metrics(m_lblCaption->font());
    return metrics.size(Qt::TextSingleLine, m_lblCaption->text()) + QSize(edge, edge);
}

void ActiveLink::ShowNormal() {
    showLook(m_font, m_foreColor, m_backColor, m_caption, m_picture);
}

void ActiveLink::ShowActive() {
    showLook(m_activeFont, m_activeForeColor, m_activeBackColor,
             m_activeCaption.isEmpty() ? m_caption : m_activeCaption,
             m_activePicture.isNull() ? m_picture : m_activePicture);
    if (!m_address.isEmpty() || m_alwaysHandCursor)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void ActiveLink::showLook(const QFont &font, const QColor &fore, const QColor &back,
                          const QString &caption, const QPixmap &picture) {
    m_lblCaption->setFont(font);
    setTextColor(m_lblCaption, fore);
    m_lblCaption->setText(caption);
    m_shownBack = back;
    m_shownPicture = picture;
    updateGeometry();
    update();
}

void ActiveLink::FitToPicture() {
    // The normal picture sets the size, whatever the look: a hover picture of another size
    // would move the edge under the mouse and make it leave and enter by turns.
    if (!m_autoSize || m_picture.isNull())
        return;
    const int edge = 2 * frameWidth();
    resize(m_picture.deviceIndependentSize().toSize() + QSize(edge, edge));
}

void ActiveLink::applyFrame() {
    if (m_borderStyle != FixedSingle) {
        setFrameStyle(QFrame::NoFrame);
    } else if (m_appearance == ThreeD) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(2);
    } else {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }
    layOut();
    updateGeometry();
}

void ActiveLink::layOut() {
    m_lblCaption->setGeometry(contentsRect());
}

void ActiveLink::becomeHot() {
    if (m_hot || !isEnabled())
        return;
    m_hot = true;
    ShowActive();
    Q_EMIT MouseEnter();
}

void ActiveLink::enterEvent(QEnterEvent *event) {
    QFrame::enterEvent(event);
    becomeHot();
}

void ActiveLink::leaveEvent(QEvent *event) {
    QFrame::leaveEvent(event);
    if (!m_hot)
        return;
    m_hot = false;
    ShowNormal();
    Q_EMIT MouseLeave();
}

void ActiveLink::mouseMoveEvent(QMouseEvent *event) {
    Q_EMIT MouseMove(event->buttons(), event->modifiers(), event->position());
    // The mouse may already be over the control when it appears, with no enter before.
    becomeHot();
}

void ActiveLink::mousePressEvent(QMouseEvent *event) {
    m_pressed = event->button() == Qt::LeftButton;
    Q_EMIT MouseDown(event->button(), event->modifiers(), event->position());
}

void ActiveLink::mouseReleaseEvent(QMouseEvent *event) {
    Q_EMIT MouseUp(event->button(), event->modifiers(), event->position());
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (!click)
        return;
    bool cancel = false;
    Q_EMIT BeforeJump(cancel);
    if (!cancel)
        Jump();
    Q_EMIT Click();
}

void ActiveLink::mouseDoubleClickEvent(QMouseEvent *event) {
    // The second press of a double click is not a click of its own.
    m_pressed = false;
    if (event->button() == Qt::LeftButton)
        Q_EMIT DblClick();
}

void ActiveLink::resizeEvent(QResizeEvent *event) {
    QFrame::resizeEvent(event);
    layOut();
}

void ActiveLink::changeEvent(QEvent *event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_hot) {
        m_hot = false;
        ShowNormal();
        Q_EMIT MouseLeave();
    }
}

void ActiveLink::paintEvent(QPaintEvent *event) {
    {
        QPainter painter(this);
        if (m_shownBack.alpha() > 0)
            painter.fillRect(rect(), m_shownBack);
        if (!m_shownPicture.isNull()) {
            painter.setClipRect(contentsRect());
            painter.drawPixmap(contentsRect().topLeft(), m_shownPicture);
        }
    }
    QFrame::paintEvent(event);
}

} // namespace kestrune
