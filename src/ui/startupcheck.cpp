#include "ui/startupcheck.h"

#include "device/device.h"
#include "image/devicefile.h"
#include "platform/singleinstance.h"
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

std::optional<int> takeSingleCopyLock(SingleInstance &instance)
{
    switch (instance.tryLock()) {
    case SingleInstance::Lock::Taken:
        return std::nullopt;
    case SingleInstance::Lock::Held:
        // The first copy's window (or its notice) comes to the front.
        if (instance.askToComeForward())
            return 0;
        [[fallthrough]];
    case SingleInstance::Lock::HeldByAnother:
        showMessage(nullptr,
                    QStringLiteral("The Brimo update utility is already running for another user "
                                   "of this PC.") +
                        kCrLf + kCrLf +
                        QStringLiteral("Only one copy can run at a time: please wait until that "
                                       "user's update has ended."),
                    SessionWindow::Box::Ok);
        return 0;
    case SingleInstance::Lock::Unavailable:
        break;
    }
    showMessage(nullptr,
                QStringLiteral("The Brimo update utility cannot make sure that no other copy of "
                               "it runs:") +
                    kCrLf + instance.error() + kCrLf + kCrLf +
                    QStringLiteral("Please restart the PC and start the utility again."),
                SessionWindow::Box::Ok);
    return 1;
}

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
