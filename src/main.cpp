#include "platform/singleinstance.h"
#include "wizard/appearance.h"
#include "wizard/mainwindow.h"
#include "wizard/startupcheck.h"

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

    brimo::MainWindow window;
    window.show();
    return app.exec();
}
