#pragma once

// Runs one named scenario of the same test program in a child process, for
// cases where the code under test ends the program (it never returns).
//
// The test program's main() first asks runRequestedScenario(): in the child
// the environment names a scenario, which runs and gives the exit code; in
// the parent it gives nothing and the QtTest cases run. A test then calls
// runScenario("name") and checks the child's exit code and output, or
// startScenario() for a child that runs beside the test.
//
//     int main(int argc, char *argv[])
//     {
//         QApplication app(argc, argv);
//         if (const auto code = brimo::test::runRequestedScenario(scenarios()))
//             return *code;
//         MyTest test;
//         return QTest::qExec(&test, argc, argv);
//     }

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>

namespace brimo::test {

// The environment variable that names the scenario a child runs.
inline const QString kScenarioVariable = QStringLiteral("BRIMO_TEST_SCENARIO");

// Exit code of a child asked for a scenario it does not know.
inline constexpr int kUnknownScenario = 127;

using Scenarios = std::map<QString, std::function<int()>>;

struct ChildResult {
    bool finished = false; // false: still running when the time was up (then killed)
    QProcess::ExitStatus exitStatus = QProcess::NormalExit;
    int exitCode = -1;
    QString output; // standard output and standard error, interleaved
};

// In a child: runs the scenario its environment names and returns its exit
// code. In the parent (no scenario named): std::nullopt.
inline std::optional<int> runRequestedScenario(const Scenarios &scenarios)
{
    const QString name = qEnvironmentVariable(kScenarioVariable.toLatin1().constData());
    if (name.isEmpty())
        return std::nullopt;
    const auto found = scenarios.find(name);
    if (found == scenarios.end()) {
        std::fprintf(stderr, "unknown scenario %s\n", qPrintable(name));
        return kUnknownScenario;
    }
    const int code = found->second();
    std::fflush(stdout);
    std::fflush(stderr);
    return code;
}

// Prints one line of the child's report on standard output, flushed at once
// (the program may end right after it).
inline void report(const QString &line)
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Starts this test program again with the scenario named, without waiting for
// it; extra holds further environment variables ("NAME=value").
inline void startScenario(QProcess &child, const QString &name, const QStringList &extra = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kScenarioVariable, name);
    for (const QString &assignment : extra) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        environment.insert(assignment.left(equals), assignment.mid(equals + 1));
    }
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {});
}

// Runs this test program again with the scenario named and waits for its end.
inline ChildResult runScenario(const QString &name, const QStringList &extra = {},
                               int timeoutMs = 60000)
{
    QProcess child;
    startScenario(child, name, extra);

    ChildResult result;
    result.finished = child.waitForStarted() && child.waitForFinished(timeoutMs);
    if (!result.finished) {
        child.kill();
        child.waitForFinished();
    }
    result.exitStatus = child.exitStatus();
    result.exitCode = child.exitCode();
    result.output = QString::fromLocal8Bit(child.readAll());
    return result;
}

} // namespace brimo::test
