#pragma once

// Runs a named scenario of this test program in a child process, for code that
// ends the program. main() asks runRequestedScenario() first: in a child it runs
// the scenario its environment names; in the parent it gives nothing and the
// tests run, which start children with runScenario() or startScenario().

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace brimo::test {

inline const QString kScenarioVariable = QStringLiteral("BRIMO_TEST_SCENARIO");
using Scenarios = std::map<QString, std::function<int()>>;

inline std::optional<int> runRequestedScenario(const Scenarios &scenarios)
{
    const QString name = qEnvironmentVariable(kScenarioVariable.toLatin1().constData());
    if (name.isEmpty())
        return std::nullopt;
    const auto found = scenarios.find(name);
    const int code = found == scenarios.end() ? 127 : found->second();
    std::fflush(nullptr);
    return code;
}

// A child of a test dies with it, however it ends (killed at its time-out too).
inline void endWithThisTest([[maybe_unused]] QProcess &child)
{
#ifdef Q_OS_LINUX
    child.setChildProcessModifier([test = getpid()] {
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != test)
            _exit(127);
    });
#endif
}

// extra holds further environment variables ("NAME=value"); a wrapper (a
// program and its arguments) starts the child.
inline void startScenario(QProcess &child, const QString &name, const QStringList &extra = {},
                          const QStringList &wrapper = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kScenarioVariable, name);
    for (const QString &assignment : extra)
        environment.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    endWithThisTest(child);
    const QStringList command = wrapper + QStringList{QCoreApplication::applicationFilePath()};
    child.start(command.first(), command.mid(1));
}

// The child's exit code; -1 when it crashed or was still running after
// `timeoutMs` (then killed).
inline int runScenario(const QString &name, const QStringList &extra = {}, int timeoutMs = 60000,
                       const QStringList &wrapper = {})
{
    QProcess child;
    startScenario(child, name, extra, wrapper);
    const bool finished = child.waitForStarted() && child.waitForFinished(timeoutMs);
    if (!finished)
        child.kill(), child.waitForFinished();
    return finished && child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

} // namespace brimo::test
