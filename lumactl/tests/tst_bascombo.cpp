// White-box checks of the basCOMBO routines: frames are drawn on an image and read back
// pixel by pixel.
#include "bascombo.h"

#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QtTest>

using namespace LumaKit;
using namespace LumaKit::basCOMBO;

namespace {

const QColor Background(0x10, 0x20, 0x30);
constexpr OleColor Red = 0x000000FF; // 0x00BBGGRR
constexpr OleColor Blue = 0x00FF0000;

QImage blank(int w = 12, int h = 10) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Background);
    return image;
}

QImage frame(const FrameRect &r, OleColor c1, OleColor c2, const QPalette &palette = QPalette()) {
    QImage image = blank();
    QPainter painter(&image);
    DrawFrame(painter, r, c1, c2, palette);
    return image;
}

QColor at(const QImage &image, int x, int y) {
    return image.pixelColor(x, y);
}

int painted(const QImage &image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) != Background;
    return n;
}

// A style whose scroll bar width differs from every built-in one, to see the border follow it.
class WideScrollBarStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override {
        if (metric == PM_ScrollBarExtent)
            return 20;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

class TestBasCombo : public QObject {
    Q_OBJECT

private slots:
    void frameOutline();
    void frameLinesLeaveOutTheirEnd();
    void frameWalksBackwardsForReversedRect();
    void frameColoursGoThroughTranslation();
    void translation_data();
    void translation();
    void systemColours_data();
    void systemColours();
    void flatBorder();
};

void TestBasCombo::frameOutline() {
    const QImage image = frame({1, 1, 7, 6}, Red, Blue);
    const QColor red(255, 0, 0), blue(0, 0, 255);

    // Corners: both left-hand ones belong to c1, both right-hand ones to c2.
    QCOMPARE(at(image, 1, 1), red);
    QCOMPARE(at(image, 1, 5), red);
    QCOMPARE(at(image, 6, 1), blue);
    QCOMPARE(at(image, 6, 5), blue);
    // Edges.
    QCOMPARE(at(image, 1, 3), red);
    QCOMPARE(at(image, 4, 1), red);
    QCOMPARE(at(image, 6, 3), blue);
    QCOMPARE(at(image, 4, 5), blue);
    // Right and bottom are exclusive, and nothing lands inside.
    QCOMPARE(at(image, 7, 1), Background);
    QCOMPARE(at(image, 1, 6), Background);
    QCOMPARE(at(image, 3, 3), Background);
    QCOMPARE(painted(image), 2 * (6 + 5) - 4);
}

void TestBasCombo::frameLinesLeaveOutTheirEnd() {
    const QColor red(255, 0, 0), blue(0, 0, 255);

    // left == right: only the left column, in c1, and no c2 at all.
    QImage image = frame({3, 1, 3, 5}, Red, Blue);
    for (int y = 1; y <= 4; ++y)
        QCOMPARE(at(image, 3, y), red);
    QCOMPARE(at(image, 2, 1), Background);
    QCOMPARE(painted(image), 4);

    // One column wide: the top line has length zero, so c2 paints over the column's top and
    // only the start point keeps c1.
    image = frame({3, 1, 4, 5}, Red, Blue);
    for (int y = 1; y <= 3; ++y)
        QCOMPARE(at(image, 3, y), blue);
    QCOMPARE(at(image, 3, 4), red);
    QCOMPARE(painted(image), 4);

    // An empty rectangle still marks the point above it and its own corner.
    image = frame({5, 5, 5, 5}, Red, Blue);
    QCOMPARE(at(image, 5, 4), red);
    QCOMPARE(at(image, 5, 5), red);
    QCOMPARE(painted(image), 2);
}

void TestBasCombo::frameWalksBackwardsForReversedRect() {
    // left > right: every line runs the other way and still stops short of its end.
    const QImage image = frame({6, 1, 2, 4}, Red, Blue);
    const QColor red(255, 0, 0), blue(0, 0, 255);
    QCOMPARE(at(image, 6, 3), red); // start point
    QCOMPARE(at(image, 6, 1), red);
    QCOMPARE(at(image, 2, 1), red);
    QCOMPARE(at(image, 1, 1), blue);
    QCOMPARE(at(image, 1, 3), blue);
    QCOMPARE(at(image, 5, 3), blue);
    QCOMPARE(at(image, 7, 1), Background);
    QCOMPARE(at(image, 1, 4), Background);
    QCOMPARE(painted(image), 14);
}

void TestBasCombo::frameColoursGoThroughTranslation() {
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(0x12, 0x34, 0x56));
    // A system colour comes from the palette; an untranslatable one is drawn white.
    const QImage image = frame({1, 1, 5, 5}, 0x80000005, 0x01000003, palette);
    QCOMPARE(at(image, 1, 1), QColor(0x12, 0x34, 0x56));
    QCOMPARE(at(image, 4, 4), QColor(Qt::white));
}

void TestBasCombo::translation_data() {
    QTest::addColumn<OleColor>("colour");
    QTest::addColumn<qint32>("rgb");
    QTest::newRow("plain RGB") << OleColor(0x00336699) << qint32(0x00336699);
    // "Nearest palette entry" values need no palette: the RGB part is the colour.
    QTest::newRow("palette-relative RGB") << OleColor(0x02123456) << qint32(0x00123456);
    QTest::newRow("unused system index 25") << OleColor(0x80000019) << InvalidRgb;
    QTest::newRow("system index past the table") << OleColor(0x8000001F) << InvalidRgb;
    QTest::newRow("huge system index") << OleColor(0x80FFFFFF) << InvalidRgb;
    QTest::newRow("palette index without palette") << OleColor(0x01000001) << InvalidRgb;
    QTest::newRow("unknown high byte") << OleColor(0x03000000) << InvalidRgb;
    QTest::newRow("all bits") << OleColor(0xFFFFFFFF) << InvalidRgb;
}

void TestBasCombo::translation() {
    QFETCH(OleColor, colour);
    QFETCH(qint32, rgb);
    QCOMPARE(ToRgbColor(colour, QPalette()), rgb);
}

void TestBasCombo::systemColours_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("role");

    QTest::newRow("window") << 5 << int(QPalette::Active) << int(QPalette::Base);
    QTest::newRow("window text") << 8 << int(QPalette::Active) << int(QPalette::Text);
    QTest::newRow("button face") << 15 << int(QPalette::Active) << int(QPalette::Button);
    QTest::newRow("button shadow") << 16 << int(QPalette::Active) << int(QPalette::Dark);
    QTest::newRow("grey text") << 17 << int(QPalette::Disabled) << int(QPalette::Text);
    QTest::newRow("button highlight") << 20 << int(QPalette::Active) << int(QPalette::Light);
}

void TestBasCombo::systemColours() {
    QFETCH(int, index);
    QFETCH(int, group);
    QFETCH(int, role);

    // Every role gets its own colour so a wrong lookup cannot go unnoticed.
    QPalette palette;
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r)
            palette.setColor(QPalette::ColorGroup(g), QPalette::ColorRole(r),
                             QColor(10 + r * 9, 50 + g * 60, 200 - r * 5));
    const QColor expected = palette.color(QPalette::ColorGroup(group), QPalette::ColorRole(role));

    const qint32 rgb = ToRgbColor(0x80000000u | OleColor(index), palette);
    QCOMPARE(ColorFromRgb(quint32(rgb)), expected);
}

void TestBasCombo::flatBorder() {
    WideScrollBarStyle style;
    QComboBox combo;
    combo.setStyle(&style);
    combo.resize(80, 24);
    const QColor face(200, 0, 0), shadow(0, 200, 0), highlight(0, 0, 200);
    QPalette palette = combo.palette();
    palette.setColor(QPalette::Button, face);
    palette.setColor(QPalette::Dark, shadow);
    palette.setColor(QPalette::Light, highlight);
    combo.setPalette(palette);

    QImage image = blank(80, 24);
    {
        QPainter painter(&image);
        DrawFlatBorder(combo, painter);
    }
    const int w = 80, h = 24, b = 20;

    // Sunken outline.
    QCOMPARE(at(image, 0, 0), shadow);
    QCOMPARE(at(image, w / 2, 0), shadow);
    QCOMPARE(at(image, 0, h - 1), shadow);
    QCOMPARE(at(image, w - 1, 0), highlight);
    QCOMPARE(at(image, w - 1, h / 2), highlight);
    QCOMPARE(at(image, w / 2, h - 1), highlight);
    // Face ring just inside it.
    QCOMPARE(at(image, 1, 1), face);
    QCOMPARE(at(image, w - 2, h / 2), face);
    QCOMPARE(at(image, w / 2, h - 2), face);
    // Separator column, then the raised outline of the drop button.
    QCOMPARE(at(image, w - 2 - b, h / 2), face);
    QCOMPARE(at(image, w - 1 - b, 2), highlight);
    QCOMPARE(at(image, w - 1 - b, h / 2), highlight);
    QCOMPARE(at(image, w - 4, 2), highlight);
    QCOMPARE(at(image, w - 3, 2), shadow);
    QCOMPARE(at(image, w - 3, h / 2), shadow);
    QCOMPARE(at(image, w - b, h - 3), shadow);
    // Face inside the button outline; the text area and button interior are left alone.
    QCOMPARE(at(image, w - b, 3), face);
    QCOMPARE(at(image, w - 4, h / 2), face);
    QCOMPARE(at(image, w - b, h - 4), face);
    QCOMPARE(at(image, w - 3 - b, h / 2), Background);
    QCOMPARE(at(image, w - b + 2, h / 2), Background);
}

QTEST_MAIN(TestBasCombo)
#include "tst_bascombo.moc"
