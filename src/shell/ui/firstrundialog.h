// The first-run dialog: asks once for the connection speed, which then limits the bitrates
// the directory offers.
#pragma once

#include <QDialog>
#include <QStringList>

namespace LumaKit {
class Lumabox;
}

namespace kestrune {

class ControlLibrary;
class Settings;

class FirstRunDialog : public QDialog {
    Q_OBJECT
public:
    // The first entry is a prompt, never a valid answer.
    static const QStringList &SpeedEntries();

    FirstRunDialog(const ControlLibrary &controls, const Settings &settings,
                   QWidget *parent = nullptr);

    LumaKit::Lumabox *speedBox() const { return m_cmbSpeed; }

private:
    // OK: refuses the prompt entry, otherwise stores the speed and closes.
    void onOk();

    const Settings &m_settings;
    LumaKit::Lumabox *m_cmbSpeed = nullptr;
};

} // namespace kestrune
