#include "devsimoptions.h"

#include <QDir>
#include <QRegularExpression>

namespace brimo::sim {
namespace {

// The 8 bytes of 16 hexadecimal digits; empty when the text is anything else.
QByteArray tailBytes(const QString &digits)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-Fa-f]{16}$"));
    return form.match(digits).hasMatch() ? QByteArray::fromHex(digits.toLatin1()) : QByteArray();
}

// Takes the value of an option that has one; false for an unknown option.
bool setValue(const QString &name, const QString &value, DevSimOptions *options, QString *portText)
{
    if (name == u"--com-dir")
        options->comDir = value;
    else if (name == u"--port")
        *portText = value;
    else if (name == u"--flash")
        options->flashPath = value;
    else if (name == u"--system-number")
        options->systemNumber = value.toLatin1();
    else if (name == u"--tail")
        options->tail = tailBytes(value);
    else if (name == u"--mode")
        options->mode = value;
    else if (name == u"--power")
        options->power = value;
    else
        return false;
    return true;
}

bool checkOptions(const DevSimOptions &options, const QString &portText, QString *error)
{
    bool numeric = false;
    const int port = portText.toInt(&numeric);
    static const QRegularExpression systemNumber(QStringLiteral("^[\\x21-\\x7E]{8}$"));
    if (options.comDir.isEmpty() || portText.isEmpty())
        *error = QStringLiteral("--com-dir and --port are required");
    else if (!numeric || port < 1 || port > 255)
        *error = QStringLiteral("--port must be a number from 1 to 255");
    else if (!systemNumber.match(QString::fromLatin1(options.systemNumber)).hasMatch())
        *error = QStringLiteral("--system-number must be 8 printable characters");
    else if (options.tail.size() != 8)
        *error = QStringLiteral("--tail must be 16 hexadecimal digits");
    else if (options.mode != u"normal" && options.mode != u"dl" && options.mode != u"camera")
        *error = QStringLiteral("--mode must be normal, dl or camera");
    else if (options.power != u"on" && options.power != u"off")
        *error = QStringLiteral("--power must be on or off");
    return error->isEmpty();
}

} // namespace

QString DevSimOptions::linkPath() const
{
    return QDir(comDir).absoluteFilePath(QStringLiteral("com%1").arg(port));
}

QString devSimUsage()
{
    return QStringLiteral(
        "usage: brimo-devsim --com-dir DIR --port N [--flash FILE] [--system-number AB12CD34]\n"
        "                    [--tail 0011223344556677] [--mode normal|dl|camera]\n"
        "                    [--power on|off] [--panel]\n"
        "       brimo-devsim --send DIR/comN.ctl \"COMMAND\"\n");
}

bool parseDevSimOptions(const QStringList &arguments, DevSimOptions *options, QString *error)
{
    error->clear();
    QString portText;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &name = arguments.at(i);
        if (name == u"--panel") {
            options->panel = true;
        } else if (name == u"--send") {
            if (i + 2 >= arguments.size()) {
                *error = QStringLiteral("--send needs a socket and a command");
                return false;
            }
            options->sendTo = arguments.at(++i);
            options->sendCommand = arguments.at(++i);
        } else if (i + 1 >= arguments.size()) {
            *error = name + QStringLiteral(" needs a value");
            return false;
        } else if (!setValue(name, arguments.at(++i), options, &portText)) {
            *error = QStringLiteral("unknown option ") + name;
            return false;
        }
    }
    if (!options->sendTo.isEmpty())
        return true;
    if (!checkOptions(*options, portText, error))
        return false;
    options->port = portText.toInt();
    if (options->flashPath.isEmpty())
        options->flashPath = options->linkPath() + QStringLiteral(".flash");
    return true;
}

} // namespace brimo::sim
