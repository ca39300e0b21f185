#include "platform/commandrunner.h"

#include "platform/commandrunner_p.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

namespace brimo {

namespace {

// A program named by a path that is not there gets the same words on every
// system, rather than whatever the process launcher happens to say.
bool isMissingFile(const QString &program)
{
    const bool hasPath = program.contains(QLatin1Char('/')) || program.contains(QLatin1Char('\\'));
    return hasPath && !QFileInfo::exists(program);
}

QProcess *g_running = nullptr;

CommandResult notStarted(const QString &why)
{
    CommandResult result;
    result.errorText = why;
    return result;
}

// The loop ends early when the application is asked to quit. A tool that is
// still writing to the device must end by itself, and the process object
// would kill it as it goes.
CommandResult waitForTheEnd(QProcess &process)
{
    CommandResult result;
    result.started = true;
    while (process.state() != QProcess::NotRunning) {
        result.cutShort = true;
        process.waitForFinished(-1);
    }
    result.exitCode = process.exitCode();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.errorText = process.errorString();
        if (result.exitCode == 0)
            result.exitCode = -1;
    }
    return result;
}

} // namespace

QProcess *runningCommand()
{
    return g_running;
}

CommandResult runHidden(const QString &commandLine, const Wine &wine, qintptr heldLock)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return notStarted(QStringLiteral("File not found"));
    QString program = arguments.takeFirst();
    if (isMissingFile(program))
        return notStarted(QStringLiteral("File not found: ") + QDir::toNativeSeparators(program));

    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (const QString why =
            preparePlatformRun(process, commandLine, {wine, heldLock}, program, arguments);
        !why.isEmpty())
        return notStarted(why);

    // A local loop keeps the window painting and its timers ticking while the
    // tool runs; the caller keeps its stage buttons out of reach meanwhile.
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return notStarted(process.errorString());
    g_running = &process;
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    const CommandResult result = waitForTheEnd(process);
    g_running = nullptr;
    return result;
}

} // namespace brimo
