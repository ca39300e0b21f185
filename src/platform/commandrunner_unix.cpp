#include "platform/commandrunner.h"
#include "platform/commandrunner_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <fcntl.h>

namespace brimo {

namespace {

bool isWindowsProgram(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "MZ";
}

bool isRunnable(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// The drive under which the Windows program sees our root folder: Z: in every
// prefix Wine creates, unless its owner linked another letter to "/".
QString rootDrive(const QString &wineDevices)
{
    const QDir devices(wineDevices);
    const QFileInfoList entries = devices.entryInfoList(QDir::AllEntries | QDir::System);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (name.size() == 2 && name.endsWith(QLatin1Char(':')) && entry.isSymLink() &&
            entry.canonicalFilePath() == QStringLiteral("/"))
            return name.toUpper();
    }
    return QStringLiteral("Z:");
}

// A Windows program expects Windows paths, and may take an argument that
// starts with "/" for a switch. So a path to a file in an existing folder is
// handed over as the program sees it: "/x/nf.dat" as "Z:\x\nf.dat".
QString windowsPath(const QString &argument, const QString &drive)
{
    if (!argument.startsWith(QLatin1Char('/')) || !QFileInfo(argument).absoluteDir().exists())
        return argument;
    return drive + QDir::cleanPath(argument).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

} // namespace

QString preparePlatformRun(QProcess &process, const QString &commandLine, const RunWith &with,
                           QString &program, QStringList &arguments)
{
    Q_UNUSED(commandLine)
    const Wine &wine = with.wine;
    if (!isWindowsProgram(program)) {
        // The lock's descriptor is closed on exec, but in this program.
        if (const int lock = static_cast<int>(with.heldLock); lock >= 0)
            process.setChildProcessModifier([lock] { ::fcntl(lock, F_SETFD, 0); });
        return {};
    }
    if (!isRunnable(wine.loader))
        return QStringLiteral("wine is needed to run the Windows program ") + program;
    const QString drive = rootDrive(wine.devices);
    for (QString &argument : arguments)
        argument = windowsPath(argument, drive);
    // Wine hands the program its own path as a Windows path itself.
    arguments.prepend(program);
    program = wine.loader;
    return {};
}

void waitForCommandsAtSessionEnd() {}

// Debian installs only wine64 when the 32-bit part is missing, and keeps its
// loader out of PATH then.
QString findWineLoader()
{
    for (const QString &name : {QStringLiteral("wine"), QStringLiteral("wine64")}) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            return found;
    }
    const QString debianLoader = QStringLiteral("/usr/lib/wine/wine64");
    return isRunnable(debianLoader) ? debianLoader : QString();
}

} // namespace brimo
