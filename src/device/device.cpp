#include "device/device.h"

#include "device/identityrecord.h"
#include "platform/reporter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace brimo {

namespace {

const QString kFlashTool = QStringLiteral("sirfflashcl.exe");
const QString kWorkFileName = QStringLiteral("nf.dat");
constexpr qsizetype kMinimumImageSize = 1000;
constexpr qsizetype kSystemNumberOffset = 16;

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

device::device(Reporter &report, const QString &appFolder)
    : m_report(report), m_appFolder(QDir::toNativeSeparators(appFolder) + QDir::separator())
{}

QString device::workFilePath() const
{
    return m_appFolder + kWorkFileName;
}

QString toolCommandLine(const QString &appFolder, const QString &port, ToolRun run)
{
    const QChar quote = QLatin1Char('"');
    return quote + appFolder + kFlashTool + quote + QLatin1Char(' ') + quote + appFolder +
           kWorkFileName + quote + QStringLiteral(" -b 57600 -l ") + port +
           (run == ToolRun::ReadIdentity ? QStringLiteral(" -r -f 0x080000 -t 0x080020")
                                         : QStringLiteral(" -o 0 -c 0"));
}

CommandResult device::runTool(const QString &port, ToolRun run, KeepAwake::Shutdown shutdown)
{
    const KeepAwake awake(shutdown, m_report.nativeWindow());
    return runHidden(toolCommandLine(m_appFolder, port, run));
}

std::optional<QString> device::downloadData(qint16 port)
{
    // A work file left behind by an earlier run that was cut short must not
    // pass for this run's dump.
    if (const QString staleError = removeForced(workFilePath()); !staleError.isEmpty())
        return readFailed(staleError);
    const CommandResult run =
        runTool(QString::number(port), ToolRun::ReadIdentity, KeepAwake::Shutdown::Allowed);
    if (!run.started)
        return readFailed(run.errorText);
    if (run.exitCode != 0) {
        removeForced(workFilePath());
        return std::nullopt;
    }
    if (!QFile::exists(workFilePath()))
        return std::nullopt;

    QByteArray dump;
    const QString readError = readWhole(workFilePath(), &dump);
    const QString removeError = removeForced(workFilePath());
    if (!readError.isEmpty() || !removeError.isEmpty())
        return readFailed(readError.isEmpty() ? removeError : readError);
    return QString::fromLatin1(dump.mid(kSystemNumberOffset, kSystemNumberLength));
}

bool device::uploadData(const deviceFile &objDF, const QString &systemNumber, const QString &port)
{
    m_report.addText(QStringLiteral("Checking update integrity"));
    m_report.setProgress(20);
    if (objDF.size() < kMinimumImageSize)
        return fail(QStringLiteral("Update size is incorrect"));

    m_report.addText(QStringLiteral("Checking system number"));
    m_report.setProgress(40);
    if (!objDF.hasIdentity())
        return fail(QStringLiteral("The update holds no identity record"));
    const QByteArray number = systemNumber.toLatin1();
    if (const QString problem = identityProblem(number, objDF.strRegEnd); !problem.isEmpty())
        return fail(problem);

    m_report.addText(QStringLiteral("Updating device."));
    m_report.setProgress(60);
    m_report.setDotsEnabled(true);
    const bool flashed = flash(objDF, identityRecord(number, objDF.strRegEnd), port);
    m_report.setDotsEnabled(false);
    if (!flashed)
        return false;
    m_report.addText(QStringLiteral("Cleaning up"));
    m_report.setProgress(80);
    return true;
}

// The image, with the device's identity written into it, is moved into place
// as the work file: nothing is copied. After a failed run it goes back under
// its own name for another try; after a flash the work file goes.
bool device::flash(const deviceFile &objDF, const QByteArray &record, const QString &port)
{
    QString error = objDF.rebuildIdentity(record);
    if (error.isEmpty())
        error = removeForced(workFilePath());
    if (QFile image(objDF.path()); error.isEmpty() && !image.rename(workFilePath()))
        error = image.errorString();
    if (!error.isEmpty())
        return fail(error);
    // A shutdown now would leave a half-written device.
    const CommandResult run = runTool(port, ToolRun::WriteImage, KeepAwake::Shutdown::Blocked);
    const bool flashed = run.started && run.exitCode == 0;
    if (!flashed)
        QFile::rename(workFilePath(), objDF.path());
    if (const QString removeError = removeForced(workFilePath()); !removeError.isEmpty())
        m_report.addText(removeError);
    if (!run.started)
        return fail(run.errorText);
    return flashed;
}

bool canWriteWorkFile(const QString &appFolder)
{
    // A name of its own, so that nothing of the user's or a work file is touched.
    QTemporaryFile probe(QDir(appFolder).filePath(QStringLiteral("nf-XXXXXX.tmp")));
    probe.setAutoRemove(false);
    return probe.open() && probe.remove();
}

bool device::fail(const QString &why)
{
    m_report.addText(why);
    return false;
}

std::nullopt_t device::readFailed(const QString &why)
{
    m_report.addText(why);
    return std::nullopt;
}

} // namespace brimo
