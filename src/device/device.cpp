#include "device/device.h"

#include "device/devicefacts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace brimo {

namespace {

constexpr qsizetype kSystemNumberOffset = kIdentityFirst - kIdentityBlock;

// Removes a file even when it is marked read-only. Returns the failure's text,
// empty on success or when there was nothing to remove.
QString removeForced(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    file.setPermissions(file.permissions() | QFile::WriteOwner | QFile::WriteUser);
    if (file.remove())
        return {};
    return file.errorString();
}

// Reads the whole file as bytes; an empty file is an error, as it is to
// anything that expects a dump in it.
QString readWhole(const QString &path, QByteArray *data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    *data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    if (data->isEmpty())
        return QStringLiteral("Input past end of file");
    return {};
}

} // namespace

device::device(const Places &places, quintptr window, qintptr heldLock)
    : m_appFolder(QDir::toNativeSeparators(places.appFolder) + QDir::separator()),
      m_wine(places.wine), m_window(window), m_heldLock(heldLock)
{}

QString device::workFilePath() const
{
    return m_appFolder + kWorkFileName;
}

QString toolCommandLine(const QString &appFolder, const QString &port, ToolRun run)
{
    const QChar quote = QLatin1Char('"');
    return quote + appFolder + kFlashTool + quote + QLatin1Char(' ') + quote + appFolder +
           kWorkFileName + quote + QLatin1String(kToolPortOptions) + port +
           QLatin1String(run == ToolRun::ReadIdentity ? kReadIdentityOptions : kWriteImageOptions);
}

ToolReport device::runTool(const QString &port, ToolRun run, KeepAwake::Shutdown shutdown)
{
    const KeepAwake awake(shutdown, m_window);
    const QString commandLine = toolCommandLine(m_appFolder, port, run);
    return {commandLine, runHidden(commandLine, m_wine, m_heldLock)};
}

IdentityRead device::downloadData(qint16 port)
{
    // A work file left behind by an earlier run that was cut short must not
    // pass for this run's dump.
    if (QString staleError = removeForced(workFilePath()); !staleError.isEmpty())
        return {std::nullopt, staleError, std::nullopt};
    const ToolReport tool =
        runTool(QString::number(port), ToolRun::ReadIdentity, KeepAwake::Shutdown::Allowed);
    const CommandResult &run = tool.result;
    if (!run.started)
        return {std::nullopt, run.errorText, tool};
    if (run.exitCode != 0 || run.cutShort) {
        removeForced(workFilePath());
        return {std::nullopt, {}, tool};
    }
    if (!QFile::exists(workFilePath()))
        return {std::nullopt, {}, tool};

    QByteArray dump;
    const QString readError = readWhole(workFilePath(), &dump);
    const QString removeError = removeForced(workFilePath());
    if (!readError.isEmpty() || !removeError.isEmpty())
        return {std::nullopt, readError.isEmpty() ? removeError : readError, tool};
    return {QString::fromLatin1(dump.mid(kSystemNumberOffset, kSystemNumberLength)), {}, tool};
}

// The image, with the device's identity written into it, is moved into place
// as the work file: nothing is copied. After a failed run it goes back under
// its own name for another try; after a flash the work file goes.
ImageWrite device::uploadData(const deviceFile &objDF, const QByteArray &identityRecord,
                              const QString &port)
{
    QString error = objDF.rebuildIdentity(identityRecord);
    if (error.isEmpty())
        error = removeForced(workFilePath());
    if (QFile image(objDF.path()); error.isEmpty() && !image.rename(workFilePath()))
        error = image.errorString();
    if (!error.isEmpty())
        return {false, error, std::nullopt};
    // A shutdown now would leave a half-written device.
    const ToolReport tool = runTool(port, ToolRun::WriteImage, KeepAwake::Shutdown::Blocked);
    const CommandResult &run = tool.result;
    const bool flashed = run.started && run.exitCode == 0 && !run.cutShort;
    if (!flashed)
        QFile::rename(workFilePath(), objDF.path());
    const QString removeError = removeForced(workFilePath());
    return {flashed, run.started ? removeError : run.errorText, tool};
}

bool canWriteWorkFile(const QString &appFolder)
{
    // A name of its own, so that nothing of the user's or a work file is touched.
    QTemporaryFile probe(QDir(appFolder).filePath(QStringLiteral("nf-XXXXXX.tmp")));
    probe.setAutoRemove(false);
    return probe.open() && probe.remove();
}

} // namespace brimo
