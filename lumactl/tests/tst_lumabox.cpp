// The control as the program meets it: loaded from the built plugin and made by the factory.
// Nothing of the library is linked in; the test sees only the public interface and the widgets
// the control puts on screen.
#include <lumactl/lumabox.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QPluginLoader>
#include <QStyle>
#include <QtTest>

#include <functional>
#include <memory>

using namespace LumaKit;

namespace {

// Writes every event it hears into a log, and lets a test decide how handlers answer.
class Recorder : public LumaboxEvents {
public:
    explicit Recorder(QStringList &log, QString prefix = {})
        : log_(log)
        , prefix_(std::move(prefix)) {}

    void Click() override { note(QStringLiteral("Click")); }
    void DblClick() override { note(QStringLiteral("DblClick")); }
    void KeyDown(qint16 &keyCode, qint16 &shift) override {
        note(QStringLiteral("KeyDown %1 %2").arg(keyCode).arg(shift));
        if (keyCode == swallowKeyCode)
            keyCode = 0;
    }
    void KeyPress(qint16 &keyAscii) override {
        note(QStringLiteral("KeyPress %1").arg(keyAscii));
        if (keyAscii == swallowChar)
            keyAscii = 0;
    }
    void KeyUp(qint16 &keyCode, qint16 &shift) override {
        note(QStringLiteral("KeyUp %1 %2").arg(keyCode).arg(shift));
    }
    void MouseDown(qint16 button, qint16 shift, float x, float y) override {
        note(QStringLiteral("MouseDown %1 %2 %3 %4").arg(button).arg(shift).arg(x).arg(y));
    }
    void MouseUp(qint16 button, qint16 shift, float x, float y) override {
        note(QStringLiteral("MouseUp %1 %2 %3 %4").arg(button).arg(shift).arg(x).arg(y));
    }
    void Change() override { note(QStringLiteral("Change")); }
    void OLEDragDrop(const QMimeData *data, qint32 &effect, qint16 &, qint16 &, float &,
                     float &) override {
        note(QStringLiteral("OLEDragDrop %1").arg(data->text()));
        effect = dropEffect;
    }
    void OLEDragOver(const QMimeData *, qint32 &effect, qint16 &, qint16 &, float &, float &,
                     qint16 &state) override {
        note(QStringLiteral("OLEDragOver %1").arg(state));
        effect = dropEffect;
    }
    void OLEStartDrag(QMimeData *data, qint32 &allowedEffects) override {
        note(QStringLiteral("OLEStartDrag %1").arg(data->text()));
        allowedEffects = 0;
    }
    void OLECompleteDrag(qint32 &) override { note(QStringLiteral("OLECompleteDrag")); }
    void Resize() override { note(QStringLiteral("Resize")); }
    void PropertyChanged(const QString &name) override {
        note(QStringLiteral("PropertyChanged ") + name);
    }

    qint16 swallowKeyCode = -1;
    qint16 swallowChar = -1;
    qint32 dropEffect = 1;

private:
    void note(const QString &entry) { log_.append(prefix_ + entry); }

    QStringList &log_;
    QString prefix_;
};

QImage grab(QWidget *widget) {
    return widget->grab().toImage();
}

void sendKey(QWidget *target, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
             const QString &text) {
    QKeyEvent event(type, key, modifiers, text);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestLumabox : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void factory();
    void flatBorderIsPaintedOverTheCombo();
    void heightFollowsTheCombo();
    void listSelection();
    void invalidCallsChangeNothing();
    void textWrite();
    void keyEvents_data();
    void keyEvents();
    void userInputReachesTheContainer();
    void lockedBoxIgnoresInput();
    void mouseEventsComeFromTheSurfaceOnly();
    void propertyWritesNotifyTheContainer();
    void coloursAndPointer();
    void propertyBag();
    void dragAndDrop();
    void sinksInAdviseOrder();

private:
    ControlFactory *factory_ = nullptr;
    std::unique_ptr<QWidget> form_;
    Lumabox *box_ = nullptr;
    QComboBox *combo_ = nullptr;
    QStringList log_;
    std::unique_ptr<Recorder> recorder_;
};

void TestLumabox::initTestCase() {
    QPluginLoader loader(QStringLiteral(LUMACTL_PLUGIN_PATH));
    factory_ = qobject_cast<ControlFactory *>(loader.instance());
    QVERIFY2(factory_, qPrintable(loader.errorString()));
}

void TestLumabox::init() {
    form_ = std::make_unique<QWidget>();
    form_->resize(400, 120);
    box_ = factory_->CreateControl(QStringLiteral("LumaKit.Lumabox"), form_.get());
    QVERIFY(box_);
    combo_ = box_->findChild<QComboBox *>(QStringLiteral("cboBOX"));
    QVERIFY(combo_);
    log_.clear();
    recorder_ = std::make_unique<Recorder>(log_);
    box_->Advise(recorder_.get());
}

void TestLumabox::cleanup() {
    form_.reset();
    recorder_.reset();
}

void TestLumabox::factory() {
    QCOMPARE(factory_->ProgIds(), QStringList{QStringLiteral("LumaKit.Lumabox")});
    QCOMPARE(factory_->FileVersion(), QStringLiteral(LUMACTL_FILE_VERSION));
    QCOMPARE(factory_->CreateControl(QStringLiteral("LumaKit.Other"), form_.get()), nullptr);

    // A loader learns the same without making anything.
    QPluginLoader loader(QStringLiteral(LUMACTL_PLUGIN_PATH));
    const QJsonObject meta = loader.metaData().value(u"MetaData").toObject();
    QCOMPARE(meta.value(u"Keys").toArray(), QJsonArray{QStringLiteral("LumaKit.Lumabox")});
    QCOMPARE(meta.value(u"FileVersion").toString(), factory_->FileVersion());

    // The surface holds the combo box and nothing else, which starts with its design values.
    QCOMPARE(box_->parentWidget(), form_.get());
    QCOMPARE(box_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly),
             QList<QWidget *>{combo_});
    QVERIFY(combo_->isEditable());
    QCOMPARE(box_->Style(), qint16(0));
    QVERIFY(!box_->Sorted());
    QCOMPARE(box_->Font().family(), QStringLiteral("Verdana"));
    QCOMPARE(box_->Font().pointSizeF(), 8.25);
    QCOMPARE(box_->width(), qRound(1560.0 * box_->logicalDpiX() / 1440));
    QCOMPARE(combo_->width(), box_->width());
}

void TestLumabox::flatBorderIsPaintedOverTheCombo() {
    // Distinct colours, so a pixel tells which rule painted it.
    QPalette palette = form_->palette();
    palette.setColor(QPalette::Button, QColor(200, 0, 0));
    palette.setColor(QPalette::Dark, QColor(0, 200, 0));
    palette.setColor(QPalette::Light, QColor(0, 0, 200));
    form_->setPalette(palette);
    box_->ReadProperties({});
    const QColor face = combo_->palette().color(QPalette::Button);
    const QColor shadow = combo_->palette().color(QPalette::Dark);
    const QColor highlight = combo_->palette().color(QPalette::Light);
    const int b = combo_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, combo_);

    const auto check = [&] {
        const QImage image = grab(box_);
        const int w = combo_->width(), h = combo_->height();
        QCOMPARE(image.size(), QSize(w, h));
        QCOMPARE(image.pixelColor(0, 0), shadow);
        QCOMPARE(image.pixelColor(w / 2, 0), shadow);
        QCOMPARE(image.pixelColor(0, h / 2), shadow);
        QCOMPARE(image.pixelColor(w - 1, h / 2), highlight);
        QCOMPARE(image.pixelColor(w / 2, h - 1), highlight);
        QCOMPARE(image.pixelColor(1, h / 2), face);
        QCOMPARE(image.pixelColor(w / 2, 1), face);
        QCOMPARE(image.pixelColor(w - 2 - b, h / 2), face);
        QCOMPARE(image.pixelColor(w - 1 - b, h / 2), highlight);
        QCOMPARE(image.pixelColor(w - 3, h / 2), shadow);
    };
    check();
    // Nothing is cached: a new size and a new font height are framed afresh.
    box_->resize(250, 30);
    box_->Font(QFont(QStringLiteral("DejaVu Sans"), 20));
    QVERIFY(combo_->width() == 250);
    check();

    // Right to left, the drop button and so its outline move to the left.
    box_->RightToLeft(true);
    const QImage image = grab(box_);
    const int w = combo_->width(), h = combo_->height();
    QCOMPARE(image.pixelColor(b, h / 2), highlight);
    QCOMPARE(image.pixelColor(b + 1, h / 2), face);
    QCOMPARE(image.pixelColor(2, h / 2), shadow);
    QCOMPARE(image.pixelColor(w - 1, h / 2), shadow);
}

void TestLumabox::heightFollowsTheCombo() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    log_.clear();

    box_->resize(300, 200);
    QCOMPARE(box_->height(), combo_->height());
    QCOMPARE(combo_->geometry(), QRect(0, 0, 300, box_->height()));
    QVERIFY(log_.contains(QStringLiteral("Resize")));

    const int before = box_->height();
    log_.clear();
    box_->Font(QFont(QStringLiteral("DejaVu Sans"), 24));
    QVERIFY(box_->height() > before);
    QCOMPARE(box_->height(), combo_->height());
    QCOMPARE(combo_->width(), 300);
    QVERIFY(log_.contains(QStringLiteral("Resize")));
}

void TestLumabox::listSelection() {
    QVERIFY(box_->AddItem(QStringLiteral("Alpha")));
    QVERIFY(box_->AddItem(QStringLiteral("Beta")));
    QVERIFY(box_->AddItem(QStringLiteral("Gamma"), 1));
    QCOMPARE(box_->NewIndex(), qint16(1));
    QCOMPARE(box_->ListCount(), qint16(3));
    QCOMPARE(box_->List(1).value_or(QString()), QStringLiteral("Gamma"));
    QCOMPARE(box_->ListIndex(), qint16(-1)); // filling the list selects nothing
    QVERIFY(box_->ItemData(2, 77));
    QCOMPARE(box_->ItemData(2).value_or(-1), 77);
    QCOMPARE(box_->ItemData(0).value_or(-1), 0);

    log_.clear();
    QVERIFY(box_->ListIndex(0));
    QCOMPARE(log_, QStringList({"Click", "PropertyChanged ListIndex"}));
    QCOMPARE(box_->Text(), QStringLiteral("Alpha"));
    QVERIFY(box_->ListIndex(0)); // the same index again is still a click
    QCOMPARE(log_.count(QStringLiteral("Click")), 2);

    // Removing the selected entry leaves nothing selected and the text as it was.
    QVERIFY(box_->RemoveItem(0));
    QCOMPARE(box_->ListIndex(), qint16(-1));
    QCOMPARE(box_->Text(), QStringLiteral("Alpha"));
    QCOMPARE(box_->NewIndex(), qint16(-1));
    box_->Clear();
    QCOMPARE(box_->ListCount(), qint16(0));
}

void TestLumabox::invalidCallsChangeNothing() {
    box_->AddItem(QStringLiteral("Alpha"));
    box_->AddItem(QStringLiteral("Beta"));
    box_->ListIndex(1);
    log_.clear();

    QVERIFY(!box_->ListIndex(2));
    QVERIFY(!box_->ListIndex(-2));
    QVERIFY(!box_->RemoveItem(2));
    QVERIFY(!box_->RemoveItem(-1));
    QVERIFY(!box_->AddItem(QStringLiteral("Gamma"), 3));
    QVERIFY(!box_->List(2, QStringLiteral("x")));
    QVERIFY(!box_->ItemData(-1, 5));
    QVERIFY(!box_->List(2));
    QVERIFY(!box_->ItemData(2));
    QVERIFY(!box_->BackColor(0x80000019)); // no such system colour
    QVERIFY(!box_->ForeColor(0x01000002)); // palette entry without a palette
    QVERIFY(!box_->Appearance(2));
    QVERIFY(!box_->MousePointer(16));
    QVERIFY(!box_->OLEDragMode(2));
    QVERIFY(!box_->OLEDropMode(-1));

    QCOMPARE(log_, QStringList());
    QCOMPARE(box_->ListCount(), qint16(2));
    QCOMPARE(box_->ListIndex(), qint16(1));
    QCOMPARE(box_->BackColor(), SystemWindowColor);
    QCOMPARE(box_->ForeColor(), SystemWindowTextColor);
    QCOMPARE(box_->Appearance(), qint16(1));
    QCOMPARE(box_->MousePointer(), qint16(0));
}

void TestLumabox::textWrite() {
    box_->AddItem(QStringLiteral("Alpha"));
    box_->AddItem(QStringLiteral("Beta"));

    // A value in no entry is still shown, with nothing selected.
    QVERIFY(box_->Text(QStringLiteral("Stored station")));
    QCOMPARE(box_->Text(), QStringLiteral("Stored station"));
    QCOMPARE(combo_->lineEdit()->text(), QStringLiteral("Stored station"));
    QCOMPARE(box_->ListIndex(), qint16(-1));
    QCOMPARE(log_, QStringList({"Change", "PropertyChanged Text"}));

    QVERIFY(box_->Text(QStringLiteral("Beta")));
    QCOMPARE(box_->ListIndex(), qint16(1));
    QVERIFY(box_->Text(QStringLiteral("beta"))); // matching is exact
    QCOMPARE(box_->ListIndex(), qint16(-1));
    QCOMPARE(box_->Text(), QStringLiteral("beta"));
}

void TestLumabox::keyEvents_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("shift+A") << int(Qt::Key_A) << int(Qt::ShiftModifier) << "A"
                             << QStringList{"KeyDown 65 1", "KeyPress 65", "KeyUp 65 1"};
    QTest::newRow("ctrl+alt+7") << int(Qt::Key_7) << int(Qt::ControlModifier | Qt::AltModifier)
                                << "" << QStringList{"KeyDown 55 6", "KeyUp 55 6"};
    QTest::newRow("return") << int(Qt::Key_Return) << 0 << "\r"
                            << QStringList{"KeyDown 13 0", "KeyPress 13", "KeyUp 13 0"};
    QTest::newRow("down") << int(Qt::Key_Down) << 0 << ""
                          << QStringList{"KeyDown 40 0", "KeyUp 40 0"};
    QTest::newRow("keypad 3") << int(Qt::Key_3) << int(Qt::KeypadModifier) << "3"
                              << QStringList{"KeyDown 99 0", "KeyPress 51", "KeyUp 99 0"};
    QTest::newRow("shifted comma") << int(Qt::Key_Less) << int(Qt::ShiftModifier) << "<"
                                   << QStringList{"KeyDown 188 1", "KeyPress 60", "KeyUp 188 1"};
}

void TestLumabox::keyEvents() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);

    const auto mods = Qt::KeyboardModifiers(modifiers);
    sendKey(combo_, QEvent::KeyPress, key, mods, text);
    sendKey(combo_, QEvent::KeyRelease, key, mods, text);
    log_.removeAll(QStringLiteral("Change"));
    log_.removeAll(QStringLiteral("Click"));
    QCOMPARE(log_, expected);
}

void TestLumabox::userInputReachesTheContainer() {
    box_->AddItem(QStringLiteral("Alpha"));
    box_->AddItem(QStringLiteral("Beta"));

    // Picking an entry with the keyboard is a click.
    QTest::keyClick(combo_, Qt::Key_Down);
    QCOMPARE(log_.count(QStringLiteral("Click")), 1);
    QCOMPARE(box_->ListIndex(), qint16(0));

    // Typing changes the text, except for what a handler swallows, and the edited text is
    // no longer the selected entry.
    log_.clear();
    recorder_->swallowChar = 'x';
    QTest::keyClicks(combo_, QStringLiteral("axb"));
    QCOMPARE(box_->Text(), QStringLiteral("Alphaab"));
    QCOMPARE(log_.count(QStringLiteral("Change")), 2);
    QCOMPARE(box_->ListIndex(), qint16(-1));

    // A swallowed key does not reach the box at all.
    recorder_->swallowKeyCode = 40;
    log_.clear();
    QTest::keyClick(combo_, Qt::Key_Down);
    QCOMPARE(log_.count(QStringLiteral("Click")), 0);
    QCOMPARE(box_->Text(), QStringLiteral("Alphaab"));

    log_.clear();
    QTest::mouseDClick(combo_->lineEdit(), Qt::LeftButton);
    QCOMPARE(log_.count(QStringLiteral("DblClick")), 1);
}

void TestLumabox::lockedBoxIgnoresInput() {
    box_->AddItem(QStringLiteral("Alpha"));
    box_->AddItem(QStringLiteral("Beta"));
    box_->Text(QStringLiteral("Alpha"));
    QVERIFY(box_->Locked(true));
    log_.clear();

    QTest::keyClicks(combo_, QStringLiteral("zz"));
    QTest::keyClick(combo_, Qt::Key_Down);
    QTest::keyClick(combo_, Qt::Key_Backspace);
    QCOMPARE(box_->Text(), QStringLiteral("Alpha"));
    QCOMPARE(box_->ListIndex(), qint16(0));
    QVERIFY(!log_.contains(QStringLiteral("Change")));
    QVERIFY(!log_.contains(QStringLiteral("Click")));
    combo_->showPopup();
    QVERIFY(!combo_->view()->isVisible());
}

void TestLumabox::mouseEventsComeFromTheSurfaceOnly() {
    const QPoint at(15, 4);
    const float x = 15.0f * 1440 / box_->logicalDpiX();
    const float y = 4.0f * 1440 / box_->logicalDpiY();
    QTest::mousePress(box_, Qt::RightButton, Qt::ShiftModifier, at);
    QTest::mouseRelease(box_, Qt::RightButton, Qt::ShiftModifier, at);
    QCOMPARE(log_, QStringList({QStringLiteral("MouseDown 2 1 %1 %2").arg(x).arg(y),
                                QStringLiteral("MouseUp 2 1 %1 %2").arg(x).arg(y)}));

    log_.clear();
    QTest::mouseClick(combo_->lineEdit(), Qt::LeftButton);
    QCOMPARE(log_, QStringList());
}

void TestLumabox::propertyWritesNotifyTheContainer() {
    box_->AddItem(QStringLiteral("Alpha"));
    const std::pair<QString, std::function<bool()>> writes[] = {
        {"BackColor", [&] { return box_->BackColor(0x00102030); }},
        {"ForeColor", [&] { return box_->ForeColor(0x80000012); }},
        {"Enabled", [&] { return box_->Enabled(false); }},
        {"Font", [&] { return box_->Font(QFont(QStringLiteral("DejaVu Sans"), 11)); }},
        {"Appearance", [&] { return box_->Appearance(0); }},
        {"CausesValidation", [&] { return box_->CausesValidation(false); }},
        {"ItemData", [&] { return box_->ItemData(0, 9); }},
        {"List", [&] { return box_->List(0, QStringLiteral("Omega")); }},
        {"Locked", [&] { return box_->Locked(true); }},
        {"MouseIcon", [&] { return box_->MouseIcon(QPixmap(16, 16)); }},
        {"MousePointer", [&] { return box_->MousePointer(11); }},
        {"OLEDragMode", [&] { return box_->OLEDragMode(1); }},
        {"OLEDropMode", [&] { return box_->OLEDropMode(1); }},
        {"RightToLeft", [&] { return box_->RightToLeft(true); }},
        {"ToolTipText", [&] { return box_->ToolTipText(QStringLiteral("Station")); }},
    };
    for (const auto &[name, write] : writes) {
        log_.clear();
        QVERIFY2(write(), qPrintable(name));
        QCOMPARE(log_, QStringList{QStringLiteral("PropertyChanged ") + name});
    }
}

void TestLumabox::coloursAndPointer() {
    const QPalette system = form_->palette();
    box_->BackColor(0x000000FF); // 0x00BBGGRR: pure red
    box_->ForeColor(0x00FF0000);
    QCOMPARE(combo_->palette().color(QPalette::Base), QColor(255, 0, 0));
    QCOMPARE(combo_->palette().color(QPalette::Text), QColor(0, 0, 255));
    box_->BackColor(0x8000000F); // button face
    QCOMPARE(combo_->palette().color(QPalette::Base), system.color(QPalette::Button));
    box_->BackColor(SystemWindowColor);
    QCOMPARE(combo_->palette().color(QPalette::Base), system.color(QPalette::Base));

    box_->MousePointer(2);
    QCOMPARE(combo_->cursor().shape(), Qt::CrossCursor);
    QCOMPARE(combo_->lineEdit()->cursor().shape(), Qt::CrossCursor);
    QPixmap icon(16, 16);
    icon.fill(Qt::black);
    box_->MouseIcon(icon);
    box_->MousePointer(99);
    QCOMPARE(combo_->lineEdit()->cursor().shape(), Qt::BitmapCursor);
    box_->MousePointer(0);
    QCOMPARE(combo_->lineEdit()->cursor().shape(), Qt::IBeamCursor);
}

void TestLumabox::propertyBag() {
    QFont ambient(QStringLiteral("DejaVu Serif"), 13);
    form_->setFont(ambient);

    // Defaults: nothing stored, and the box looks like the container.
    box_->ReadProperties({});
    PropertyBag bag{{QStringLiteral("Locked"), true}}; // stale entry from an earlier save
    box_->WriteProperties(bag);
    QCOMPARE(bag, PropertyBag());
    QCOMPARE(box_->Font(), ambient);
    QCOMPARE(combo_->palette().color(QPalette::Base), form_->palette().color(QPalette::Base));
    QCOMPARE(combo_->palette().color(QPalette::Text), form_->palette().color(QPalette::Text));

    // Everything away from its default is stored, and only the persisted properties are.
    QPixmap icon(8, 8);
    icon.fill(Qt::red);
    box_->AddItem(QStringLiteral("Alpha"));
    box_->Text(QStringLiteral("Alpha"));
    box_->BackColor(0x00112233);
    box_->ForeColor(0x80000012);
    box_->Enabled(false);
    box_->Font(QFont(QStringLiteral("DejaVu Sans"), 9));
    box_->Appearance(0);
    box_->CausesValidation(false);
    box_->Locked(true);
    box_->MouseIcon(icon);
    box_->MousePointer(99);
    box_->OLEDragMode(1);
    box_->OLEDropMode(1);
    box_->RightToLeft(true);
    box_->ToolTipText(QStringLiteral("Now playing"));
    box_->WriteProperties(bag);
    const QStringList persisted{"Appearance",   "BackColor",   "CausesValidation", "Enabled",
                                "Font",         "ForeColor",   "Locked",           "MouseIcon",
                                "MousePointer", "OLEDragMode", "OLEDropMode",      "RightToLeft",
                                "ToolTipText"};
    QCOMPARE(bag.keys(), persisted);

    Lumabox *copy = factory_->CreateControl(QStringLiteral("LumaKit.Lumabox"), form_.get());
    copy->ReadProperties(bag);
    PropertyBag again;
    copy->WriteProperties(again);
    QCOMPARE(again.keys(), persisted);
    QCOMPARE(again.take(QStringLiteral("MouseIcon")).value<QPixmap>().toImage(), icon.toImage());
    bag.remove(QStringLiteral("MouseIcon")); // pixmaps do not compare as values
    QCOMPARE(again, bag);
    QCOMPARE(copy->BackColor(), 0x00112233u);
    QCOMPARE(copy->Font(), box_->Font());
    QVERIFY(copy->Locked() && !copy->Enabled() && copy->RightToLeft());

    // Missing names put the defaults back.
    copy->ReadProperties({});
    copy->WriteProperties(again);
    QCOMPARE(again, PropertyBag());
    QCOMPARE(copy->MousePointer(), qint16(0));
    QVERIFY(copy->Enabled() && !copy->Locked());
}

void TestLumabox::dragAndDrop() {
    QMimeData data;
    data.setText(QStringLiteral("http://example.org/stream"));
    const QPoint at(5, 5);
    const auto deliver = [&](QEvent *event) {
        QApplication::sendEvent(combo_, event);
        return event->isAccepted();
    };

    // Without drop mode a drag passes by unnoticed.
    QDragEnterEvent refused(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QVERIFY(!deliver(&refused));
    QCOMPARE(log_, QStringList());

    box_->OLEDropMode(1);
    log_.clear();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    deliver(&enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QVERIFY(deliver(&move));
    QCOMPARE(move.dropAction(), Qt::CopyAction);
    recorder_->dropEffect = 0; // the handler refuses here
    QDragMoveEvent refusedMove(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QVERIFY(!deliver(&refusedMove));
    recorder_->dropEffect = 2;
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QVERIFY(deliver(&drop));
    QCOMPARE(drop.dropAction(), Qt::MoveAction);
    QCOMPARE(log_, QStringList({"OLEDragOver 0", "OLEDragOver 2", "OLEDragOver 2",
                                "OLEDragDrop http://example.org/stream"}));

    // A drag the handler refuses at the start never begins, so it never completes either.
    box_->Text(QStringLiteral("Evening mix"));
    log_.clear();
    box_->OLEDrag();
    QCOMPARE(log_, QStringList{"OLEStartDrag Evening mix"});
}

void TestLumabox::sinksInAdviseOrder() {
    Recorder first(log_, QStringLiteral("1:")), second(log_, QStringLiteral("2:"));
    box_->Unadvise(recorder_.get());
    box_->Advise(&first);
    box_->Advise(&second);
    box_->Advise(&first); // once is enough
    box_->Refresh();
    box_->AddItem(QStringLiteral("Alpha"));
    box_->ListIndex(0);
    QCOMPARE(log_, QStringList({"1:Click", "2:Click", "1:PropertyChanged ListIndex",
                                "2:PropertyChanged ListIndex"}));

    box_->Unadvise(&first);
    log_.clear();
    box_->ListIndex(0);
    QCOMPARE(log_, QStringList({"2:Click", "2:PropertyChanged ListIndex"}));
    box_->Unadvise(&second);
}

QTEST_MAIN(TestLumabox)
#include "tst_lumabox.moc"
