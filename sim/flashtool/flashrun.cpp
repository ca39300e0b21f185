#include "flashrun.h"

#include "flashclient.h"
#include "imageplan.h"
#include "platform/comport.h"
#include "toolcommand.h"

#include <QFile>
#include <QSerialPort>

#include <cstdio>

namespace brimo::sim {
namespace {

int complain(int code, const QString &message)
{
    std::fprintf(stderr, "sirfflashcl: %s\n", qPrintable(message));
    return code;
}

int readIdentity(FlashClient &client, const QString &file)
{
    QByteArray block;
    if (!client.read(flash::kIdentityBlock, flash::kIdentityBlockSize, &block))
        return complain(kExitTransfer, client.error());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(block) != block.size())
        return complain(kExitFile,
                        QStringLiteral("cannot write %1: %2").arg(file, out.errorString()));
    return kExitOk;
}

int talkToDevice(const ToolCommand &command, const ImagePlan &plan)
{
    const QString portName = comPortSystemName(command.port);
    QSerialPort port(portName);
    if (!port.open(QIODevice::ReadWrite))
        return complain(kExitNoDevice, QStringLiteral("cannot open COM%1 (%2): %3")
                                           .arg(command.port)
                                           .arg(portName, port.errorString()));
    port.setBaudRate(57600); // ignored by a pseudo-terminal, kept for a real line
    port.clear();
    FlashClient client(port);
    if (!client.handshake(kHandshakeTimeoutMs))
        return complain(kExitNoDevice,
                        QStringLiteral("no answer from the device on COM%1 (%2); it must be "
                                       "powered and in its D/L mode")
                            .arg(command.port)
                            .arg(portName));
    if (command.kind == ToolCommand::Kind::ReadIdentity)
        return readIdentity(client, command.file);
    if (!client.write(plan))
        return complain(kExitTransfer, QStringLiteral("writing failed: ") + client.error());
    std::printf("wrote %d records to COM%d\n", plan.records, command.port);
    return kExitOk;
}

} // namespace

int runFlashTool(const QStringList &arguments)
{
    ToolCommand command;
    if (!parseToolCommand(arguments, &command))
        return complain(kExitUsage, QStringLiteral("unexpected command line\n") + toolUsage());
    ImagePlan plan;
    if (command.kind == ToolCommand::Kind::WriteImage) {
        QFile file(command.file);
        if (!file.open(QIODevice::ReadOnly))
            return complain(
                kExitFile,
                QStringLiteral("cannot read %1: %2").arg(command.file, file.errorString()));
        QString error;
        if (!planImage(file.readAll(), &plan, &error))
            return complain(kExitBadImage, command.file + QStringLiteral(", ") + error);
    }
    return talkToDevice(command, plan);
}

} // namespace brimo::sim
