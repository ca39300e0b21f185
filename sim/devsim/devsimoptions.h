#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace brimo::sim {

struct DevSimOptions {
    QString comDir;
    int port = 0;
    QString flashPath;
    QByteArray systemNumber = "AB12CD34";
    QByteArray tail = QByteArray::fromHex("0011223344556677");
    QString mode = QStringLiteral("normal");
    QString power = QStringLiteral("on");
    bool panel = false;
    // --send SOCKET COMMAND: act as a client of a running device instead.
    QString sendTo;
    QString sendCommand;

    QString linkPath() const;
    QString controlPath() const { return linkPath() + QStringLiteral(".ctl"); }
};

// Parses the command line; false with a message in *error when it is wrong.
bool parseDevSimOptions(const QStringList &arguments, DevSimOptions *options, QString *error);

QString devSimUsage();

} // namespace brimo::sim
