#include "platform/commandrunner.h"
#include "platform/places.h"
#include "platform/singleinstance.h"
#include "session/reallinks.h"
#include "session/updatesession.h"
#include "ui/appearance.h"
#include "ui/mainwindow.h"
#include "ui/startupcheck.h"
#include "webservice/webservice.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

QString environment(const char *name, const QString &otherwise = {})
{
    const QString value = qEnvironmentVariable(name).trimmed();
    return value.isEmpty() ? otherwise : value;
}

// Where the utility meets the world, as this PC and whoever runs the program
// set it: every environment variable the program reads is read here, once.
// BRIMO_SERVICE_HOST points the program at another web service (host or
// host:port); elsewhere than Windows, BRIMO_COM_DIR at another folder of
// `comN` links, BRIMO_REGISTRY_FILE at another settings file, and BRIMO_WINE
// at another Wine (a bundled one on a Mac).
brimo::Places readPlaces()
{
    brimo::Places places;
    places.appFolder = QCoreApplication::applicationDirPath();
    places.serviceHost =
        environment("BRIMO_SERVICE_HOST", QLatin1String(brimo::webservice::kVendorHost));
#ifdef Q_OS_WIN
    places.lockPath = QStringLiteral("brimo-update.lock");
#else
    // Wine's own COM ports, so that a Windows flash tool run under Wine and
    // this program agree on what "COM3" is.
    const QString prefix = environment("WINEPREFIX", QDir::homePath() + QStringLiteral("/.wine"));
    places.wine.devices = prefix + QStringLiteral("/dosdevices");
    places.wine.loader = qEnvironmentVariableIsSet("BRIMO_WINE") ? environment("BRIMO_WINE")
                                                                 : brimo::findWineLoader();
    places.comFolder = environment("BRIMO_COM_DIR", places.wine.devices);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/brimo");
    places.settingsFile = environment("BRIMO_REGISTRY_FILE", config + QStringLiteral("/registry"));
    // The user's runtime folder, else beside the settings file: a folder of
    // the user's own either way.
    const QString runtime = environment("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        QDir().mkpath(config);
    places.lockPath = (runtime.isEmpty() ? config : runtime) + QStringLiteral("/brimo-update.lock");
#endif
    return places;
}

} // namespace

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
    const brimo::Places places = readPlaces();

    // A second copy ends at once, without a window or a message.
    brimo::SingleInstance instance(places.lockPath);
    if (!instance.tryLock())
        return 0;
    if (!brimo::checkApplicationFolder(places.appFolder))
        return 1;

    brimo::MainWindow window;
    brimo::RealLinks links(places, window.winId());
    brimo::UpdateSession session(window, links.links());
    window.attach(session);
    QObject::connect(&window, &brimo::MainWindow::ended, &app, &QCoreApplication::quit);
    window.show();
    return app.exec();
}
