// brimo-devsim: a Brimo device on a pseudo-terminal, for tests and demonstrations.
#include "controlserver.h"
#include "devicepanel.h"
#include "devsimoptions.h"
#include "simdevice.h"
#include "stopsignals.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <memory>

using namespace brimo::sim;

namespace {

int sendCommand(const DevSimOptions &options)
{
    QString error;
    // A relative path names a file here, not a name in the system's socket folder.
    const QFileInfo socket(options.sendTo);
    const QString path = socket.exists() ? socket.absoluteFilePath() : options.sendTo;
    const QString reply = ControlServer::request(path, options.sendCommand, &error);
    if (reply.isEmpty()) {
        std::fprintf(stderr, "brimo-devsim: %s: %s\n", qPrintable(options.sendTo),
                     qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(reply));
    return reply.startsWith(QStringLiteral("error")) ? 1 : 0;
}

int fail(const QString &message, int code)
{
    std::fprintf(stderr, "brimo-devsim: %s\n", qPrintable(message));
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    DevSimOptions options;
    QString error;
    if (!parseDevSimOptions(arguments, &options, &error))
        return fail(error + u'\n' + devSimUsage(), 2);
    if (!options.sendTo.isEmpty()) {
        QCoreApplication app(argc, argv);
        return sendCommand(options);
    }

    std::unique_ptr<QCoreApplication> app(options.panel ? new QApplication(argc, argv)
                                                        : new QCoreApplication(argc, argv));
    SimDevice device(options.linkPath());
    if (!device.start(options.flashPath, options.systemNumber, options.tail, &error))
        return fail(error, 1);
    device.execute(QStringLiteral("mode ") + options.mode);
    device.execute(QStringLiteral("power ") + options.power);

    ControlServer control([&device](const QString &command) { return device.execute(command); });
    if (!control.listen(options.controlPath(), &error))
        return fail(error, 1);

    const auto shutDown = [&] {
        control.close();
        device.line().unplug();
        QCoreApplication::quit();
    };
    QObject::connect(&device, &SimDevice::quitRequested, app.get(), shutDown, Qt::QueuedConnection);
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, app.get(), shutDown);

    std::unique_ptr<DevicePanel> panel;
    if (options.panel) {
        panel = std::make_unique<DevicePanel>(device);
        panel->show();
    }
    std::printf("ready %s\n", qPrintable(options.linkPath()));
    std::fflush(stdout);
    return app->exec();
}
