#pragma once

#include <QGenericPlugin>

// Loaded into any Qt program through QT_QPA_GENERIC_PLUGINS, so the time to
// the first painted window is taken the same way for every program and none
// of them carries code for it.
class FirstPaintPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "firstpaint.json")
public:
    QObject *create(const QString &key, const QString &parameters) override;
};
