// The recording figures of the main window: the blinking LED while a file is being written,
// the file's name, the time and size recorded, and the free space left where it goes.
#pragma once

#include <QGroupBox>

class QLabel;

namespace kestrune {

class LedLabel;

class RecordingPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit RecordingPanel(QWidget *parent = nullptr);

    LedLabel *led() const { return m_ledRecording; }
    // Shows or hides the LED; the colour changes between bright and dark green on each blink.
    void setLedVisible(bool visible);
    void blinkLed();

    QLabel *fileLabel() const { return m_lblFileToRecord; }
    QLabel *sizeLabel() const { return m_lblRecSize; }
    QLabel *freeSpaceLabel() const { return m_freeSpace; }

private:
    LedLabel *m_ledRecording = nullptr;
    QLabel *m_lblFileToRecord = nullptr;
    QLabel *m_lblRecSize = nullptr;
    QLabel *m_freeSpace = nullptr;
};

} // namespace kestrune
