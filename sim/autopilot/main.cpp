// brimo-autopilot: runs the utility's own window in this process and plays its
// user through one whole update against the stand-ins. Not part of the product.
#include "autopilot.h"
#include "console.h"
#include "wizard/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <cstdlib>

namespace {

bool g_verdictGiven = false;
QtMessageHandler g_defaultHandler = nullptr;

// The offscreen platform warns at every message box; that drowns the run's own lines.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    g_defaultHandler(type, context, message);
}

// The utility ends the program by itself when it gives up a download; that is
// a failed run, whatever exit code it chose.
void refuseEarlyEnd()
{
    if (g_verdictGiven)
        return;
    brimo::sim::say(QStringLiteral("FAILED: the utility ended the program before the update "
                                   "was complete"));
    std::_Exit(1);
}

brimo::sim::AutopilotOptions parseOptions(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs one whole update in the utility's window against the simulated "
                       "device on $BRIMO_COM_DIR and the vendor service on "
                       "$BRIMO_SERVICE_HOST, then checks the device."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("COM port of the simulated device."),
                                  QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Folder for the pictures of the pages."),
                                 QStringLiteral("dir"), QStringLiteral("demo-output"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Seconds before the run counts as failed."),
                                     QStringLiteral("s"), QStringLiteral("180"));
    const QCommandLineOption pace(
        QStringLiteral("pace"),
        QStringLiteral("Milliseconds each page is shown before the next click (default: 1500 "
                       "on a screen, 0 offscreen)."),
        QStringLiteral("ms"));
    parser.addOptions({port, out, timeout, pace});
    parser.process(app);

    const QDir comDir(qEnvironmentVariable("BRIMO_COM_DIR"));
    const QString com = QStringLiteral("com") + parser.value(port);
    brimo::sim::AutopilotOptions options;
    options.controlSocket = comDir.filePath(com + QStringLiteral(".ctl"));
    options.flashFile = comDir.filePath(com + QStringLiteral(".flash"));
    options.serviceHost = qEnvironmentVariable("BRIMO_SERVICE_HOST");
    options.pictureFolder = parser.value(out);
    options.timeout = std::chrono::seconds(parser.value(timeout).toInt());
    const bool onScreen = QGuiApplication::platformName() != QLatin1String("offscreen");
    options.pace = std::chrono::milliseconds(parser.isSet(pace) ? parser.value(pace).toInt()
                                                                : (onScreen ? 1500 : 0));
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_defaultHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    const brimo::sim::AutopilotOptions options = parseOptions(app);
    if (qEnvironmentVariableIsEmpty("BRIMO_COM_DIR") || options.serviceHost.isEmpty()) {
        brimo::sim::say(QStringLiteral("set BRIMO_COM_DIR and BRIMO_SERVICE_HOST "
                                       "(scripts/demo --autopilot does)"));
        return 2;
    }
    std::atexit(refuseEarlyEnd);
    std::at_quick_exit(refuseEarlyEnd);

    brimo::MainWindow window;
    window.show();
    brimo::sim::Autopilot pilot(window, options);
    int exitCode = 1;
    QObject::connect(&pilot, &brimo::sim::Autopilot::finished, &app, [&](int code) {
        exitCode = code;
        g_verdictGiven = true;
        if (code != 0) {
            // The utility may be deep inside a nested stage; unwinding it would
            // run more of its steps, so the failed run ends here.
            std::fflush(nullptr);
            std::_Exit(code);
        }
        QApplication::exit(code);
    });
    pilot.start();
    QApplication::exec();
    g_verdictGiven = true;
    return exitCode;
}
