// brimo-devsim: a Brimo device on a pseudo-terminal, for tests and demonstrations.
#include "device.h"
#include "panel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

using namespace brimo::sim;

namespace {

struct Options {
    QString link;
    QString flash;
    QByteArray systemNumber;
    QByteArray tail;
    QString mode;
    QString power;
    quint16 controlPort = 0;
    bool panel = false;
};

// The link is removed on SIGTERM and SIGINT too: nothing else is needed then.
char g_link[4096] = {};

extern "C" void stopOnSignal(int)
{
    ::unlink(g_link);
    ::_exit(0);
}

bool matches(const char *pattern, const QString &text)
{
    return QRegularExpression(QString::fromLatin1(pattern)).match(text).hasMatch();
}

const char kUsage[] = "usage: brimo-devsim --com-dir DIR --port N [--flash FILE] "
                      "[--system-number AB12CD34] [--tail 0011223344556677] "
                      "[--mode normal|dl|camera] [--power on|off] [--control-port PORT] [--panel]";

// The options as given and checked; the reason in *error when they are not.
Options parseOptions(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    for (const char *name :
         {"com-dir", "port", "flash", "system-number", "tail", "mode", "power", "control-port"})
        parser.addOption({QLatin1String(name), QString(), QStringLiteral("value")});
    parser.addOption({QStringLiteral("panel"), QString()});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return {};
    }
    const auto value = [&parser](const char *name, const char *fallback = "") {
        const QString option = QLatin1String(name);
        return parser.isSet(option) ? parser.value(option) : QString::fromLatin1(fallback);
    };
    const int port = value("port").toInt();
    Options options;
    options.link = QDir(value("com-dir")).absoluteFilePath(QStringLiteral("com%1").arg(port));
    options.flash = value("flash", "");
    if (options.flash.isEmpty())
        options.flash = options.link + QStringLiteral(".flash");
    options.systemNumber = value("system-number", "AB12CD34").toLatin1();
    const QString tail = value("tail", "0011223344556677");
    options.tail = QByteArray::fromHex(tail.toLatin1());
    options.mode = value("mode", "normal");
    options.power = value("power", "on");
    bool controlNumeric = false;
    options.controlPort = value("control-port", "0").toUShort(&controlNumeric);
    options.panel = parser.isSet(QStringLiteral("panel"));
    if (value("com-dir").isEmpty() || port < 1 || port > 255)
        *error = QStringLiteral("--com-dir DIR and --port N (1 to 255) are required");
    else if (!matches("^[\\x21-\\x7E]{8}$", QString::fromLatin1(options.systemNumber)))
        *error = QStringLiteral("--system-number must be 8 printable characters");
    else if (!matches("^[0-9A-Fa-f]{16}$", tail))
        *error = QStringLiteral("--tail must be 16 hexadecimal digits");
    else if (!matches("^(normal|dl|camera)$", options.mode) ||
             !matches("^(on|off)$", options.power))
        *error = QStringLiteral("--mode must be normal, dl or camera, --power on or off");
    else if (!controlNumeric)
        *error = QStringLiteral("--control-port must be a port number");
    return options;
}

// The control interface: one command per line, one reply line each.
void serveControl(QTcpServer &server, Device &device)
{
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &device] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &device] {
                while (socket->canReadLine()) {
                    const QString command = QString::fromUtf8(socket->readLine());
                    socket->write(device.execute(command).toUtf8() + '\n');
                    socket->flush();
                }
                if (socket->bytesAvailable() > 4096)
                    socket->abort();
            });
        }
    });
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
    QString error;
    const Options options = parseOptions(arguments, &error);
    if (!error.isEmpty())
        return fail(error + u'\n' + QLatin1String(kUsage), 2);
    std::unique_ptr<QCoreApplication> app(options.panel ? new QApplication(argc, argv)
                                                        : new QCoreApplication(argc, argv));
    Device device(options.link);
    QTcpServer control;
    if (!device.start(options.flash, options.systemNumber, options.tail, &error))
        return fail(error, 1);
    if (!control.listen(QHostAddress::LocalHost, options.controlPort))
        return fail(QStringLiteral("control port: ") + control.errorString(), 1);
    device.execute(QStringLiteral("mode ") + options.mode);
    device.execute(QStringLiteral("power ") + options.power);
    serveControl(control, device);
    QObject::connect(&device, &Device::quitRequested, app.get(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    std::strncpy(g_link, QFile::encodeName(options.link).constData(), sizeof g_link - 1);
    std::signal(SIGTERM, stopOnSignal);
    std::signal(SIGINT, stopOnSignal);

    std::unique_ptr<QWidget> panel;
    if (options.panel) {
        panel.reset(makePanel(device, QStringLiteral("Brimo device on ") + options.link));
        panel->show();
    }
    std::printf("ready %s 127.0.0.1:%d\n", qPrintable(options.link), control.serverPort());
    std::fflush(stdout);
    return app->exec();
}
