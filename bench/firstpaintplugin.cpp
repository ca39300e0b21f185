#include "firstpaintplugin.h"

#include "firstpaintwatch.h"

#include "monotonic.h"

#include <QCoreApplication>
#include <cstdio>

QObject *FirstPaintPlugin::create(const QString &, const QString &)
{
    // Qt loads this plugin while it sets up the application object: the
    // split between loading the program and building its window.
    std::printf("app_ns %lld\n", static_cast<long long>(monotonicNs()));
    auto *watch = new FirstPaintWatch(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watch);
    return watch;
}
