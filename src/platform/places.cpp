#include "platform/places.h"

#include "platform/commandrunner.h"

#include <QDir>
#include <QStandardPaths>

namespace brimo {

namespace {

QString valueOr(const Environment &environment, const char *name, const QString &otherwise)
{
    const QString value = environment(name).trimmed();
    return value.isEmpty() ? otherwise : value;
}

} // namespace

Places placesFrom(const Environment &environment, const QString &appFolder)
{
    Places places;
    places.appFolder = appFolder;
    places.serviceHost = valueOr(environment, "BRIMO_SERVICE_HOST", QLatin1String(kVendorHost));
#ifdef Q_OS_WIN
    places.lockPath = QStringLiteral("brimo-update.lock");
#else
    // Wine's own COM ports, so that a Windows flash tool run under Wine and
    // this program agree on what "COM3" is.
    const QString prefix =
        valueOr(environment, "WINEPREFIX", QDir::homePath() + QStringLiteral("/.wine"));
    places.wine.devices = prefix + QStringLiteral("/dosdevices");
    places.wine.loader = valueOr(environment, "BRIMO_WINE", findWineLoader());
    places.comFolder = valueOr(environment, "BRIMO_COM_DIR", places.wine.devices);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/brimo");
    places.settingsFile =
        valueOr(environment, "BRIMO_REGISTRY_FILE", config + QStringLiteral("/registry"));
    // A folder of the user's own either way.
    const QString runtime = valueOr(environment, "XDG_RUNTIME_DIR", config);
    QDir().mkpath(runtime);
    places.lockPath = runtime + QStringLiteral("/brimo-update.lock");
#endif
    return places;
}

} // namespace brimo
