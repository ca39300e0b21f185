#include "platform/commandrunner.h"
#include "platform/places.h"
#include "platform/singleinstance.h"
#include "session/reallinks.h"
#include "session/updatesession.h"
#include "ui/appearance.h"
#include "ui/mainwindow.h"
#include "ui/startupcheck.h"

#include <QApplication>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char *argv[])
{
#ifdef __GLIBC__
    // glibc gives the top of a heap back to the system once 128 KiB of it are
    // free, so every piece of a download Qt reads would come from fresh memory
    // again, a fault per page on a virtual machine. Up to 4 MiB is kept.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
#endif
    QApplication app(argc, argv);
    app.setApplicationName(brimo::applicationTitle());
    // The program ends when its session does, not when its window goes.
    QApplication::setQuitOnLastWindowClosed(false);
    // The only place the program reads its environment.
    const brimo::Places places =
        brimo::placesFrom([](const char *name) { return qEnvironmentVariable(name); },
                          QCoreApplication::applicationDirPath());

    // A second copy ends at once.
    brimo::SingleInstance instance(places.lockPath);
    if (const std::optional<int> exitCode = brimo::takeSingleCopyLock(instance))
        return *exitCode;
    if (!brimo::checkApplicationFolder(places.appFolder))
        return 1;

    brimo::MainWindow window;
    brimo::RealLinks links(places, window.winId(), instance.handle());
    brimo::UpdateSession session(window, links.links());
    window.attach(session);
    instance.answerLaterCopies([&window] { window.comeForward(); });
    brimo::waitForCommandsAtSessionEnd();
    QObject::connect(&window, &brimo::MainWindow::ended, &app, &QCoreApplication::quit);
    window.show();
    return app.exec();
}
