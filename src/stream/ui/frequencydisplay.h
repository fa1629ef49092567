// The spectrum display: paints the band levels it is given (see SpectrumAnalyser, which
// computes them from the sound being played). Its one numeric display setting (0-5) picks
// one of six looks.
#pragma once

#include "stream/audio/spectrumanalyser.h"

#include <QWidget>

namespace kestrune {

class SpectrumDisplay : public QWidget {
    Q_OBJECT
public:
    static constexpr int LookCount = 6;

    explicit SpectrumDisplay(QWidget *parent = nullptr);

    int displaySetting() const { return m_setting; }
    // Values outside 0-5 are taken modulo 6.
    void setDisplaySetting(int setting);

    const SpectrumLevels &levels() const { return m_levels; }

public Q_SLOTS:
    // Shows these levels from now on (any number of bands; peaks may be empty).
    void setLevels(const kestrune::SpectrumLevels &levels);
    // Shows nothing but the face.
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_setting = 0;
    SpectrumLevels m_levels;
};

} // namespace kestrune
