// The spectrum display: paints the band levels it is given (see FrequencyAnalyser, which
// computes them from the sound being played). Its one numeric display setting (0-5) picks
// one of six looks.
#pragma once

#include "stream/audio/frequencyanalyser.h"

#include <QBrush>
#include <QImage>
#include <QWidget>

namespace kestrune {

class FrequencyDisplay : public QWidget {
    Q_OBJECT
public:
    static constexpr int LookCount = 6;

    explicit FrequencyDisplay(QWidget *parent = nullptr);

    int displaySetting() const { return m_setting; }
    // Values outside 0-5 are taken modulo 6.
    void setDisplaySetting(int setting);

    const FrequencyLevels &levels() const { return m_levels; }

public Q_SLOTS:
    // Shows these levels from now on (any number of bands; peaks may be empty); the same
    // levels again paint nothing.
    void setLevels(const kestrune::FrequencyLevels &levels);
    // Shows nothing but the face.
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The current look's colours, painted once per size and look; bars are copied out of it.
    void prepareFace();

    int m_setting = 0;
    FrequencyLevels m_levels;
    std::vector<float> m_columnLevel; // per painted column, kept to spare an allocation a paint
    std::vector<float> m_columnPeak;
    QImage m_lit;   // the look's colours over the whole face
    QImage m_dark;  // the LED look's unlit segments
    QImage m_frame; // the bar looks are put together here and drawn in one piece
    QBrush m_areaBrush;
    QSize m_preparedSize;
    int m_preparedLook = -1;
};

} // namespace kestrune
