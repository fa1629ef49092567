#include "shell/ui/aboutwindow.h"

#include "components/activelink.h"
#include "components/twips.h"
#include "core/version.h"
#include "shell/ui/logo.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace kestrune {

namespace {

const QColor TextColor(0xFF, 0xF8, 0xF0);
const QColor HoverTextColor(0xFF, 0xE0, 0x8A); // a warm light yellow, brighter on the dusk

// The background picture of the window: a soft evening sky with a horizon line.
class BackgroundPicture : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        QLinearGradient sky(0, 0, 0, height());
        sky.setColorAt(0.0, QColor(0x2B, 0x2D, 0x4F));
        sky.setColorAt(0.7, QColor(0x6D, 0x4C, 0x6B));
        sky.setColorAt(1.0, QColor(0xC9, 0x7B, 0x63));
        p.fillRect(rect(), sky);
        p.setPen(QColor(255, 255, 255, 60));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

QFont tahoma(qreal points, bool bold = false) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

AboutWindow::AboutWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(ProgramTitle);
    setWindowIcon(programIcon());
    setFont(tahoma(8.25));
    const auto px = [this](int twips) { return twipsToPixels(twips, this); };

    m_picture = new BackgroundPicture(this);
    m_picture->setObjectName(QStringLiteral("Picture1"));
    m_picture->setGeometry(0, 0, px(DesignWidthTwips), px(DesignHeightTwips));

    auto *image = new QLabel(m_picture);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(logoPixmap(px(960)));
    image->setGeometry(px(360), px(360), px(960), px(960));

    const auto text = [](QWidget *parentWidget, const char *name, const QString &caption,
                         const QFont &font) {
        auto *label = new QLabel(caption, parentWidget);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);
        label->setFont(font);
        label->setStyleSheet(
            QStringLiteral("color: %1; background: transparent;").arg(TextColor.name()));
        return label;
    };
    auto *name = text(m_picture, "Label1", ProgramTitle, tahoma(20, true));
    name->setGeometry(px(1560), px(360), px(4200), px(600));
    auto *slogan = text(m_picture, "Label4",
                        QStringLiteral("Receive and record stations from the web!"), tahoma(9));
    slogan->setGeometry(px(1560), px(960), px(4600), px(300));

    m_lblVersion = text(m_picture, "lblVersion", QStringLiteral("v") + versionText(), tahoma(8.25));
    m_lblVersion->setGeometry(px(1560), px(1320), px(2400), px(260));

    auto *line = new QFrame(m_picture);
    line->setObjectName(QStringLiteral("Line1"));
    line->setGeometry(px(360), px(2520), px(5655), 1);
    line->setStyleSheet(QStringLiteral("background: rgba(255,255,255,90);"));

    auto *internet = text(m_picture, "Label3", QStringLiteral("Internet: "), tahoma(8.25));
    internet->setGeometry(px(360), px(2760), px(900), px(260));
    // The address reads like the texts around it on the picture and lights up under the mouse.
    m_website = new ActiveLink(ProgramWebsite, m_picture);
    m_website->setObjectName(QStringLiteral("Label6"));
    m_website->setAddress(ProgramWebsite);
    m_website->setLinkFont(tahoma(8.25));
    QFont hoverFont = tahoma(8.25);
    hoverFont.setUnderline(true);
    m_website->setActiveFont(hoverFont);
    m_website->setForeColor(TextColor);
    m_website->setActiveForeColor(HoverTextColor);
    m_website->setBackColor(Qt::transparent);
    m_website->setActiveBackColor(Qt::transparent);
    m_website->setToolTip(ProgramWebsite);
    m_website->setGeometry(px(1260), px(2760), px(4600), px(260));

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(px(2580), px(OkTopTwips), px(1215), px(345));
    connect(m_cmdOK, &QPushButton::clicked, this, &QWidget::close);

    setFixedSize(px(DesignWidthTwips), px(DesignHeightTwips));
}

void AboutWindow::showAsSplash() {
    setFixedSize(twipsToPixels(DesignWidthTwips, this), twipsToPixelsY(DesignHeightTwips, this));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void AboutWindow::enlarge() {
    const int height = twipsToPixelsY(EnlargedHeightTwips, this);
    m_cmdOK->move(m_cmdOK->x(), twipsToPixelsY(OkTopTwips, this));
    m_picture->resize(m_picture->width(), height);
    setFixedSize(width(), height);
}

} // namespace kestrune
