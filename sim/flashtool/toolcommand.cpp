#include "toolcommand.h"

namespace brimo::sim {
namespace {

bool parsePort(const QString &text, int *port)
{
    if (text.isEmpty() || text.size() > 3 || text.front() == u'0')
        return false;
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            return false;
    }
    *port = text.toInt();
    return true;
}

} // namespace

bool parseToolCommand(const QStringList &arguments, ToolCommand *command)
{
    static const QStringList readTail = {QStringLiteral("-r"), QStringLiteral("-f"),
                                         QStringLiteral("0x080000"), QStringLiteral("-t"),
                                         QStringLiteral("0x080020")};
    static const QStringList writeTail = {QStringLiteral("-o"), QStringLiteral("0"),
                                          QStringLiteral("-c"), QStringLiteral("0")};
    if (arguments.size() < 5 || arguments.at(0).isEmpty() || arguments.at(1) != u"-b" ||
        arguments.at(2) != u"57600" || arguments.at(3) != u"-l" ||
        !parsePort(arguments.at(4), &command->port))
        return false;
    const QStringList tail = arguments.mid(5);
    if (tail == readTail)
        command->kind = ToolCommand::Kind::ReadIdentity;
    else if (tail == writeTail)
        command->kind = ToolCommand::Kind::WriteImage;
    else
        return false;
    command->file = arguments.at(0);
    return true;
}

QString toolUsage()
{
    return QStringLiteral(
        "usage: sirfflashcl.exe FILE -b 57600 -l PORT -r -f 0x080000 -t 0x080020\n"
        "         read the 32-byte identity block of the device on COM PORT into FILE\n"
        "       sirfflashcl.exe FILE -b 57600 -l PORT -o 0 -c 0\n"
        "         write the S-record image in FILE to the device on COM PORT\n");
}

} // namespace brimo::sim
