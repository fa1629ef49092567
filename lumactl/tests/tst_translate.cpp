// The control's code tables against the values handlers know: key codes, shift and button
// states, drop effects, clipboard formats and mouse pointers.
#include "translate.h"

#include <QSet>
#include <QtTest>

using namespace LumaKit;

class TranslateTest : public QObject {
    Q_OBJECT

private slots:
    void keyCodes_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("keypad");
        QTest::addColumn<int>("code");
        QTest::newRow("A") << int(Qt::Key_A) << false << 0x41;
        QTest::newRow("Z") << int(Qt::Key_Z) << false << 0x5A;
        QTest::newRow("0") << int(Qt::Key_0) << false << 0x30;
        QTest::newRow("9") << int(Qt::Key_9) << false << 0x39;
        QTest::newRow("F1") << int(Qt::Key_F1) << false << 0x70;
        QTest::newRow("F12") << int(Qt::Key_F12) << false << 0x7B;
        QTest::newRow("F24") << int(Qt::Key_F24) << false << 0x87;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << false << 0x08;
        QTest::newRow("Backtab is Tab") << int(Qt::Key_Backtab) << false << 0x09;
        QTest::newRow("Return") << int(Qt::Key_Return) << false << 0x0D;
        QTest::newRow("Enter") << int(Qt::Key_Enter) << false << 0x0D;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false << 0x1B;
        QTest::newRow("Space") << int(Qt::Key_Space) << false << 0x20;
        QTest::newRow("Page Up") << int(Qt::Key_PageUp) << false << 0x21;
        QTest::newRow("Left") << int(Qt::Key_Left) << false << 0x25;
        QTest::newRow("Down") << int(Qt::Key_Down) << false << 0x28;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << false << 0x2E;
        QTest::newRow("Num Lock") << int(Qt::Key_NumLock) << false << 0x90;
        // Shifted characters name the key under them.
        QTest::newRow("! is 1") << int(Qt::Key_Exclam) << false << 0x31;
        QTest::newRow(") is 0") << int(Qt::Key_ParenRight) << false << 0x30;
        QTest::newRow("; and :") << int(Qt::Key_Colon) << false << 0xBA;
        QTest::newRow("+ on =") << int(Qt::Key_Plus) << false << 0xBB;
        QTest::newRow("_ on -") << int(Qt::Key_Underscore) << false << 0xBD;
        QTest::newRow("? on /") << int(Qt::Key_Question) << false << 0xBF;
        QTest::newRow("~ on `") << int(Qt::Key_AsciiTilde) << false << 0xC0;
        QTest::newRow("| on \\") << int(Qt::Key_Bar) << false << 0xDC;
        QTest::newRow("\" on '") << int(Qt::Key_QuoteDbl) << false << 0xDE;
        // The keypad has codes of its own for digits and operators only.
        QTest::newRow("keypad 0") << int(Qt::Key_0) << true << 0x60;
        QTest::newRow("keypad 9") << int(Qt::Key_9) << true << 0x69;
        QTest::newRow("keypad *") << int(Qt::Key_Asterisk) << true << 0x6A;
        QTest::newRow("keypad +") << int(Qt::Key_Plus) << true << 0x6B;
        QTest::newRow("keypad -") << int(Qt::Key_Minus) << true << 0x6D;
        QTest::newRow("keypad decimal") << int(Qt::Key_Period) << true << 0x6E;
        QTest::newRow("keypad /") << int(Qt::Key_Slash) << true << 0x6F;
        QTest::newRow("keypad Left") << int(Qt::Key_Left) << true << 0x25;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true << 0x0D;
        // Keys without a code.
        QTest::newRow("a-umlaut") << int(Qt::Key_Adiaeresis) << false << 0;
        QTest::newRow("volume up") << int(Qt::Key_VolumeUp) << false << 0;
        QTest::newRow("unknown") << int(Qt::Key_unknown) << false << 0;
    }
    void keyCodes() {
        QFETCH(int, key);
        QFETCH(bool, keypad);
        QFETCH(int, code);
        const Qt::KeyboardModifiers modifiers = keypad ? Qt::KeypadModifier : Qt::NoModifier;
        QCOMPARE(VirtualKeyCode(key, modifiers), qint16(code));
        // Shift, Ctrl and Alt never change which key it was.
        QCOMPARE(VirtualKeyCode(key, modifiers | Qt::ShiftModifier | Qt::ControlModifier |
                                         Qt::AltModifier),
                 qint16(code));
    }

    // Every letter, digit and function key has a code of its own.
    void keyCodesAreDistinct() {
        QSet<qint16> seen;
        int keys = 0;
        const auto add = [&](int from, int to, Qt::KeyboardModifiers modifiers) {
            for (int key = from; key <= to; ++key, ++keys)
                seen.insert(VirtualKeyCode(key, modifiers));
        };
        add(Qt::Key_A, Qt::Key_Z, Qt::NoModifier);
        add(Qt::Key_0, Qt::Key_9, Qt::NoModifier);
        add(Qt::Key_0, Qt::Key_9, Qt::KeypadModifier);
        add(Qt::Key_F1, Qt::Key_F24, Qt::NoModifier);
        QCOMPARE(keys, 26 + 10 + 10 + 24);
        QCOMPARE(seen.size(), keys);
        QVERIFY(!seen.contains(0));
    }

    void shiftAndButtonStates() {
        QCOMPARE(ShiftState(Qt::NoModifier), qint16(0));
        QCOMPARE(ShiftState(Qt::ShiftModifier), qint16(1));
        QCOMPARE(ShiftState(Qt::ControlModifier), qint16(2));
        QCOMPARE(ShiftState(Qt::AltModifier), qint16(4));
        QCOMPARE(ShiftState(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier), qint16(7));
        // Modifiers the state has no bit for are left out.
        QCOMPARE(ShiftState(Qt::MetaModifier | Qt::KeypadModifier | Qt::ShiftModifier), qint16(1));

        QCOMPARE(ButtonState(Qt::NoButton), qint16(0));
        QCOMPARE(ButtonState(Qt::LeftButton), qint16(1));
        QCOMPARE(ButtonState(Qt::RightButton), qint16(2));
        QCOMPARE(ButtonState(Qt::MiddleButton), qint16(4));
        QCOMPARE(ButtonState(Qt::LeftButton | Qt::RightButton | Qt::MiddleButton), qint16(7));
        QCOMPARE(ButtonState(Qt::BackButton | Qt::ForwardButton | Qt::RightButton), qint16(2));
    }

    void dropEffects() {
        QCOMPARE(EffectsFromActions(Qt::IgnoreAction), DropEffectNone);
        QCOMPARE(EffectsFromActions(Qt::CopyAction), DropEffectCopy);
        QCOMPARE(EffectsFromActions(Qt::MoveAction), DropEffectMove);
        QCOMPARE(EffectsFromActions(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction),
                 DropEffectCopy | DropEffectMove);
        QCOMPARE(EffectsFromActions(Qt::LinkAction), DropEffectNone);

        QCOMPARE(ActionsFromEffects(DropEffectNone), Qt::DropActions(Qt::IgnoreAction));
        QCOMPARE(ActionsFromEffects(DropEffectCopy | DropEffectMove),
                 Qt::DropActions(Qt::CopyAction | Qt::MoveAction));
        QCOMPARE(ActionsFromEffects(4), Qt::DropActions(Qt::IgnoreAction)); // no such bit here
        for (const qint32 effects : {0, 1, 2, 3})
            QCOMPARE(EffectsFromActions(ActionsFromEffects(effects)), effects);
    }

    void chosenEffect_data() {
        QTest::addColumn<qint32>("effect");
        QTest::addColumn<int>("possible");
        QTest::addColumn<int>("action");
        const int both = int(Qt::CopyAction | Qt::MoveAction);
        QTest::newRow("copy") << DropEffectCopy << both << int(Qt::CopyAction);
        QTest::newRow("move") << DropEffectMove << both << int(Qt::MoveAction);
        QTest::newRow("both bits: copy")
            << (DropEffectCopy | DropEffectMove) << both << int(Qt::CopyAction);
        QTest::newRow("both bits, only move possible")
            << (DropEffectCopy | DropEffectMove) << int(Qt::MoveAction) << int(Qt::MoveAction);
        QTest::newRow("move, only copy possible")
            << DropEffectMove << int(Qt::CopyAction) << int(Qt::IgnoreAction);
        QTest::newRow("none") << DropEffectNone << both << int(Qt::IgnoreAction);
    }
    void chosenEffect() {
        QFETCH(qint32, effect);
        QFETCH(int, possible);
        QFETCH(int, action);
        QCOMPARE(int(ActionFromEffect(effect, Qt::DropActions(possible))), action);
    }

    void clipboardFormats() {
        QCOMPARE(ClipboardFormat(QStringLiteral("text/plain")), qint16(1));
        QCOMPARE(ClipboardFormat(QStringLiteral("image/png")), qint16(8));
        QCOMPARE(ClipboardFormat(QStringLiteral("image/bmp")), qint16(8));
        QCOMPARE(ClipboardFormat(QStringLiteral("application/x-qt-image")), qint16(8));
        QCOMPARE(ClipboardFormat(QStringLiteral("text/uri-list")), qint16(15));
        QCOMPARE(ClipboardFormat(QStringLiteral("text/rtf")), qint16(-16639));
        QCOMPARE(ClipboardFormat(QStringLiteral("application/rtf")), qint16(-16639));
        QCOMPARE(ClipboardFormat(QStringLiteral("text/html")), qint16(0));
        QCOMPARE(ClipboardFormat(QStringLiteral("Text/Plain")), qint16(0));
        QCOMPARE(ClipboardFormat(QString()), qint16(0));
    }

    void pointerShapes() {
        const QList<std::optional<Qt::CursorShape>> shapes{
            std::nullopt,        Qt::ArrowCursor,   Qt::CrossCursor,     Qt::IBeamCursor,
            Qt::ArrowCursor,     Qt::SizeAllCursor, Qt::SizeBDiagCursor, Qt::SizeVerCursor,
            Qt::SizeFDiagCursor, Qt::SizeHorCursor, Qt::UpArrowCursor,   Qt::WaitCursor,
            Qt::ForbiddenCursor, Qt::BusyCursor,    Qt::WhatsThisCursor, Qt::SizeAllCursor,
        };
        for (qint16 pointer = 0; pointer < shapes.size(); ++pointer)
            QCOMPARE(PointerShape(pointer), shapes.at(pointer));
        for (const qint16 none : {qint16(-1), qint16(16), qint16(98), CustomPointer})
            QVERIFY2(!PointerShape(none), qPrintable(QString::number(none)));
    }
};

QTEST_GUILESS_MAIN(TranslateTest)
#include "tst_translate.moc"
