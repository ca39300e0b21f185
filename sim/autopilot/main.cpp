// brimo-autopilot: runs the utility's own window in this process and plays its
// user through one whole update against the stand-ins. Not part of the product.
#include "autopilot.h"
#include "platform/singleinstance.h"
#include "session/reallinks.h"
#include "session/updatesession.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdlib>

namespace {

// The options, or an empty device address when they are wrong.
brimo::sim::Autopilot::Options parseOptions(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs one whole update in the utility's window against the simulated "
                       "device and the vendor service on $BRIMO_SERVICE_HOST, then checks the "
                       "device."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("device"), QStringLiteral("The device's control interface."),
         QStringLiteral("HOST:PORT")},
        {QStringLiteral("flash"), QStringLiteral("The device's flash file."),
         QStringLiteral("FILE")},
        {QStringLiteral("out"), QStringLiteral("Folder for the pictures of the pages."),
         QStringLiteral("DIR"), QStringLiteral("demo-output")},
        {QStringLiteral("timeout"), QStringLiteral("Seconds before the run counts as failed."),
         QStringLiteral("S"), QStringLiteral("180")},
        {QStringLiteral("pace"),
         QStringLiteral("Milliseconds each page is shown before acting on it (1500 on a screen, "
                        "0 offscreen)."),
         QStringLiteral("MS")},
    });
    parser.process(app);
    const bool onScreen = QGuiApplication::platformName() != QLatin1String("offscreen");
    brimo::sim::Autopilot::Options options;
    options.device = parser.value(QStringLiteral("device"));
    options.flash = parser.value(QStringLiteral("flash"));
    options.service = qEnvironmentVariable("BRIMO_SERVICE_HOST");
    options.out = parser.value(QStringLiteral("out"));
    options.timeoutS = parser.value(QStringLiteral("timeout")).toInt();
    options.paceMs = parser.isSet(QStringLiteral("pace"))
                         ? parser.value(QStringLiteral("pace")).toInt()
                         : (onScreen ? 1500 : 0);
    if (options.flash.isEmpty() || options.service.isEmpty())
        options.device.clear();
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const brimo::sim::Autopilot::Options options = parseOptions(app);
    if (options.device.isEmpty()) {
        brimo::sim::say(
            QStringLiteral("needs --device HOST:PORT, --flash FILE and "
                           "$BRIMO_SERVICE_HOST (scripts/demo --autopilot gives them)"));
        return 2;
    }
    // The places as the utility takes them from the environment.
    const brimo::Places places =
        brimo::placesFrom([](const char *name) { return qEnvironmentVariable(name); },
                          QCoreApplication::applicationDirPath());
    // One copy at a time, as the utility runs; its flash tool holds the lock too.
    brimo::SingleInstance instance(places.lockPath);
    if (instance.tryLock() != brimo::SingleInstance::Lock::Taken) {
        brimo::sim::say(QStringLiteral("another copy of the utility runs: ") + places.lockPath);
        return 2;
    }
    brimo::MainWindow window;
    brimo::RealLinks links(places, window.winId(), instance.handle());
    brimo::UpdateSession session(window, links.links());
    window.attach(session);
    window.show();
    brimo::sim::Autopilot pilot(window, options);
    // The utility ends the program by itself (exit code 0) when it gives up a
    // download: whoever runs the autopilot checks the device too.
    QObject::connect(&window, &brimo::MainWindow::ended, &app, &QCoreApplication::quit);
    QObject::connect(&pilot, &brimo::sim::Autopilot::finished, &app, [](int code) {
        // A failed run may stop deep inside a stage; unwinding it would run
        // more of the utility's steps, so it ends here.
        std::fflush(nullptr);
        if (code != 0)
            std::_Exit(code);
        QApplication::exit(0);
    });
    pilot.start();
    return QApplication::exec();
}
