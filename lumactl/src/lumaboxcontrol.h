// The Lumabox the library hands out: a surface holding one combo box, cboBOX, which it keeps
// as high as the combo box and as wide as itself, and whose properties, methods and events it
// passes straight through.
#pragma once

#include <lumactl/lumabox.h>

#include <QList>

#include <memory>

namespace LumaKit {

class LumaCombo;

class LumaboxControl final : public Lumabox {
public:
    explicit LumaboxControl(QWidget *parent = nullptr);
    ~LumaboxControl() override;

    OleColor BackColor() const override;
    bool BackColor(OleColor color) override;
    OleColor ForeColor() const override;
    bool ForeColor(OleColor color) override;
    bool Enabled() const override;
    bool Enabled(bool enabled) override;
    QFont Font() const override;
    bool Font(const QFont &font) override;
    void Refresh() override;
    bool AddItem(const QString &item, std::optional<int> index = std::nullopt) override;
    qint16 Appearance() const override;
    bool Appearance(qint16 appearance) override;
    bool CausesValidation() const override;
    bool CausesValidation(bool causes) override;
    void Clear() override;
    std::optional<qint32> ItemData(int index) const override;
    bool ItemData(int index, qint32 data) override;
    std::optional<QString> List(int index) const override;
    bool List(int index, const QString &text) override;
    qint16 ListCount() const override;
    qint16 ListIndex() const override;
    bool ListIndex(int index) override;
    bool Locked() const override;
    bool Locked(bool locked) override;
    QPixmap MouseIcon() const override;
    bool MouseIcon(const QPixmap &icon) override;
    qint16 MousePointer() const override;
    bool MousePointer(qint16 pointer) override;
    qint16 NewIndex() const override;
    void OLEDrag() override;
    qint16 OLEDragMode() const override;
    bool OLEDragMode(qint16 mode) override;
    qint16 OLEDropMode() const override;
    bool OLEDropMode(qint16 mode) override;
    void PopupMenu(QMenu *menu, std::optional<int> flags = std::nullopt,
                   std::optional<float> x = std::nullopt, std::optional<float> y = std::nullopt,
                   QAction *defaultMenu = nullptr) override;
    bool RemoveItem(int index) override;
    bool RightToLeft() const override;
    bool RightToLeft(bool rightToLeft) override;
    bool Sorted() const override;
    qint16 Style() const override;
    QString Text() const override;
    bool Text(const QString &text) override;
    QString ToolTipText() const override;
    bool ToolTipText(const QString &text) override;

    void Advise(LumaboxEvents *sink) override;
    void Unadvise(LumaboxEvents *sink) override;

    void ReadProperties(const PropertyBag &bag) override;
    void WriteProperties(PropertyBag &bag) const override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    class Relay;

    // Calls `fn` on every advised sink; false if a handler destroyed the control meanwhile.
    template <typename Fn> bool fire(Fn &&fn);
    bool changed(const char *property);
    void drawFlatBorder();
    void fitHeight();
    void layoutCombo();
    QFont ambientFont() const;
    QPointF twips(QPointF pixels) const;
    int pixelsX(double twips) const;
    int pixelsY(double twips) const;

    LumaCombo *cbo_;
    std::unique_ptr<Relay> relay_;
    QList<LumaboxEvents *> sinks_;
};

} // namespace LumaKit
