// The combo box a Lumabox wraps. It owns every piece of state behind the control's
// properties and reports what happens to it through LumaboxEvents, the same events the
// control raises, so the control only has to pass them on.
#pragma once

#include <lumactl/lumabox.h>

#include <QComboBox>
#include <QPalette>
#include <QPixmap>
#include <QPoint>
#include <QPointer>

#include <optional>

class QDragMoveEvent;

namespace LumaKit {

class LumaCombo final : public QComboBox {
    Q_OBJECT

public:
    explicit LumaCombo(QWidget *parent = nullptr);

    // Receives Click, DblClick, the key events, Change, the drag-and-drop events and Scroll.
    void SetEventSink(LumaboxEvents *sink) { sink_ = sink; }

    OleColor BackColor() const { return backColor_; }
    bool SetBackColor(OleColor colour);
    OleColor ForeColor() const { return foreColor_; }
    bool SetForeColor(OleColor colour);
    bool CausesValidation() const { return causesValidation_; }
    void SetCausesValidation(bool causes) { causesValidation_ = causes; }
    bool Locked() const { return locked_; }
    void SetLocked(bool locked);
    QPixmap MouseIcon() const { return mouseIcon_; }
    void SetMouseIcon(const QPixmap &icon);
    qint16 MousePointer() const { return mousePointer_; }
    bool SetMousePointer(qint16 pointer);
    qint16 OLEDragMode() const { return oleDragMode_; }
    bool SetOLEDragMode(qint16 mode);
    qint16 OLEDropMode() const { return oleDropMode_; }
    bool SetOLEDropMode(qint16 mode);
    qint16 NewIndex() const { return newIndex_; }

    bool AddItem(const QString &item, std::optional<int> index);
    bool RemoveItem(int index);
    void ClearItems();
    int ListIndex() const;
    bool SetListIndex(int index); // raises Click
    bool SetText(const QString &text);
    void OLEDrag();

    void showPopup() override;

signals:
    // The font or style changed, so the box's natural height may have too.
    void metricsChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class DragData;

    template <typename Fn> void fire(Fn &&fn) {
        if (sink_)
            fn(*sink_);
    }
    QPalette inheritedPalette() const;
    void applyColours();
    void applyCursor();
    void handleKey(QKeyEvent *event);
    void dragOver(QDragMoveEvent *event, qint16 state);
    QPointF twips(QPointF pixels) const;

    LumaboxEvents *sink_ = nullptr;
    QWidget *overlay_ = nullptr;
    OleColor backColor_ = SystemWindowColor;
    OleColor foreColor_ = SystemWindowTextColor;
    bool causesValidation_ = true;
    bool locked_ = false;
    QPixmap mouseIcon_;
    qint16 mousePointer_ = 0;
    qint16 oleDragMode_ = 0;
    qint16 oleDropMode_ = 0;
    qint16 newIndex_ = -1;

    bool dragging_ = false;
    std::optional<QPoint> dragFrom_;
    QPointer<const QMimeData> dragOverData_;
};

} // namespace LumaKit
