#include "firstpaintplugin.h"

#include "firstpaintwatch.h"

#include <QCoreApplication>

QObject *FirstPaintPlugin::create(const QString &, const QString &)
{
    auto *watch = new FirstPaintWatch(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watch);
    return watch;
}
