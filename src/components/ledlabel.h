// An LED-style read-out: a caption drawn in a lit colour on a dark face.
#pragma once

#include <QWidget>

namespace kestrune {

class LedLabel : public QWidget {
    Q_OBJECT
public:
    // Colours as 0x00BBGGRR values, the form the status monitor blinks between.
    static constexpr quint32 BrightGreen = 65280; // 0x00FF00
    static constexpr quint32 DarkGreen = 32768;   // 0x008000

    explicit LedLabel(const QString &caption = QString(), QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    quint32 litColor() const { return m_lit; }
    void setLitColor(quint32 bgr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
    quint32 m_lit = BrightGreen;
};

} // namespace kestrune
