#include "plugin.h"

#include "lumaboxcontrol.h"

namespace LumaKit {

QStringList LumactlPlugin::ProgIds() const {
    return {QString::fromLatin1(LumaboxProgId)};
}

QString LumactlPlugin::FileVersion() const {
    return QStringLiteral(LUMACTL_FILE_VERSION);
}

Lumabox *LumactlPlugin::CreateControl(const QString &progId, QWidget *parent) {
    if (progId != QLatin1String(LumaboxProgId))
        return nullptr;
    return new LumaboxControl(parent);
}

} // namespace LumaKit
