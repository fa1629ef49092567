// Containers' side of the combo control: its events as Qt signals, and the way windows are
// handed new controls without knowing where the control library comes from.
#pragma once

#include <lumactl/lumabox.h>

#include <QObject>

#include <functional>

namespace kestrune {

// Makes a new combo control owned by the given parent; nullptr when none can be made.
using LumaboxFactory = std::function<LumaKit::Lumabox *(QWidget *parent)>;

// Turns a control's events into Qt signals, so windows can connect them like any other.
// It goes when the control goes.
class LumaboxSignals : public QObject, public LumaKit::LumaboxEvents {
    Q_OBJECT
public:
    explicit LumaboxSignals(LumaKit::Lumabox *box);
    ~LumaboxSignals() override;

    void Click() override { Q_EMIT clicked(); }
    void DblClick() override { Q_EMIT doubleClicked(); }
    void Change() override { Q_EMIT changed(); }
    void PropertyChanged(const QString &name) override { Q_EMIT propertyChanged(name); }

Q_SIGNALS:
    void clicked();
    void doubleClicked();
    void changed();
    void propertyChanged(const QString &name);

private:
    LumaKit::Lumabox *m_box = nullptr;
};

// The signals of a control, made on first use.
LumaboxSignals *signalsOf(LumaKit::Lumabox *box);

} // namespace kestrune
