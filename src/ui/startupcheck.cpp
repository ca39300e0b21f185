#include "ui/startupcheck.h"

#include "device/device.h"
#include "image/devicefile.h"
#include "ui/messagebox.h"

#include <QDir>

namespace brimo {

namespace {

QString noRightsText(const QString &folder)
{
    return QStringLiteral("The Brimo update utility cannot write to its folder:") + kCrLf +
           QDir::toNativeSeparators(folder) + kCrLf + kCrLf +
#ifdef Q_OS_WIN
           QStringLiteral("Please run it as administrator: right-click it and choose 'Run as "
                          "administrator'.");
#else
           QStringLiteral("Please install it in a folder you can write to.");
#endif
}

} // namespace

bool checkApplicationFolder(const QString &folder)
{
    // Only one copy runs, and no flash tool an earlier one started: an image
    // still here was downloaded by a run that ended before it could go.
    removeLeftoverImages(folder);
    if (canWriteWorkFile(folder))
        return true;
    showMessage(nullptr, noRightsText(folder), SessionWindow::Box::Ok);
    return false;
}

} // namespace brimo
