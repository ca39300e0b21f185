#include "platform/singleinstance.h"
#include "session/updatesession.h"
#include "ui/appearance.h"
#include "ui/mainwindow.h"
#include "ui/startupcheck.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(brimo::applicationTitle());

    // A second copy ends at once, without a window or a message.
    brimo::SingleInstance instance;
    if (!instance.tryLock())
        return 0;
    if (!brimo::checkApplicationFolder())
        return 1;

    // The settings are read once; the session keeps them from then on.
    brimo::MainWindow window;
    brimo::UpdateSession session(window, brimo::storedSettings(),
                                 QCoreApplication::applicationDirPath());
    window.attach(session);
    window.show();
    return app.exec();
}
