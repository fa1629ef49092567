#include "components/lumaboxsignals.h"

namespace kestrune {

namespace {
const char SignalsProperty[] = "kestrune_lumabox_signals";
}

// Not a child of the control: a child would be deleted while the control is half destroyed
// and could not unadvise itself safely. It goes when the control's destroyed() arrives, by
// which time the control has stopped raising events.
LumaboxSignals::LumaboxSignals(LumaKit::Lumabox *box)
    : m_box(box) {
    box->Advise(this);
    box->setProperty(SignalsProperty, QVariant::fromValue<QObject *>(this));
    connect(box, &QObject::destroyed, this, [this] {
        m_box = nullptr; // going: neither unadvise nor touch its properties
        delete this;
    });
}

LumaboxSignals::~LumaboxSignals() {
    if (m_box) {
        m_box->setProperty(SignalsProperty, QVariant());
        m_box->Unadvise(this);
    }
}

LumaboxSignals *signalsOf(LumaKit::Lumabox *box) {
    if (auto *existing =
            qobject_cast<LumaboxSignals *>(box->property(SignalsProperty).value<QObject *>()))
        return existing;
    return new LumaboxSignals(box);
}

} // namespace kestrune
