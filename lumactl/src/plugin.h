// The library's entry point: the factory a container finds through QPluginLoader.
#pragma once

#include <lumactl/lumabox.h>

#include <QObject>

namespace LumaKit {

class LumactlPlugin final : public QObject, public ControlFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID LumaKit_ControlFactory_iid FILE "lumactl.json")
    Q_INTERFACES(LumaKit::ControlFactory)

public:
    QStringList ProgIds() const override;
    QString FileVersion() const override;
    Lumabox *CreateControl(const QString &progId, QWidget *parent) override;
};

} // namespace LumaKit
