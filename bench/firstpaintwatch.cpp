#include "firstpaintwatch.h"

#include "monotonic.h"

#include <QEvent>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

bool FirstPaintWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->isWindow()) {
        m_seen = true;
        std::printf("first_paint_window %s %lld\n", watched->metaObject()->className(),
                    static_cast<long long>(watched->findChildren<QWidget *>().size()));
        // Queued, so it runs once the whole window has been painted and
        // flushed, not as its first widget is about to be.
        QMetaObject::invokeMethod(this, &FirstPaintWatch::reportAndQuit, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void FirstPaintWatch::reportAndQuit()
{
    std::printf("first_paint_ns %lld\n", static_cast<long long>(monotonicNs()));
    std::fflush(stdout);
    // Leaving without the program's own shutdown keeps its tear-down out of
    // the figure and out of the next run's way.
    _exit(0);
}
