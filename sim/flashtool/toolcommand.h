#pragma once

#include <QString>
#include <QStringList>

namespace brimo::sim {

// One of the two command lines the tool accepts.
struct ToolCommand {
    enum class Kind { ReadIdentity, WriteImage };
    Kind kind = Kind::ReadIdentity;
    QString file;
    int port = 0;
};

// Parses the arguments after the program name; false when they are not
// exactly one of the accepted command lines.
bool parseToolCommand(const QStringList &arguments, ToolCommand *command);

QString toolUsage();

} // namespace brimo::sim
