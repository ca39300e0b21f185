// sirfflashcl.exe: the flash tool's stand-in. It reads the identity block of
// the simulated device or writes an S-record image to it over the serial line.
#include "flashrun.h"
#include "toolfault.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <cstdlib>

using namespace brimo::sim;

namespace {

// The folder the tool was started from. A link to the tool is its own
// folder: tests place one in a folder of their own.
QString toolFolder(const char *argv0)
{
    const QString invoked = QFile::decodeName(argv0);
    if (invoked.contains(u'/'))
        return QFileInfo(invoked).absolutePath();
    return QCoreApplication::applicationDirPath();
}

void appendLog(const QString &folder, const QStringList &arguments, const QString &outcome)
{
    QString line;
    for (const QString &argument : arguments)
        line += u'[' + argument + QStringLiteral("] ");
    line += QStringLiteral("-> ") + outcome + u'\n';
    QFile log(QDir(folder).filePath(QStringLiteral("sirfflashcl.log")));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(line.toUtf8());
}

// Exit code of a fault that ends the run, or -1 when the run goes on.
int applyFault(const ToolFault &fault, const QStringList &arguments)
{
    switch (fault.kind) {
    case ToolFault::Kind::Exit:
        return fault.value;
    case ToolFault::Kind::NoFile:
        return 0;
    case ToolFault::Kind::EmptyFile:
        if (!arguments.isEmpty()) {
            QFile file(arguments.first());
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.close();
        }
        return 0;
    case ToolFault::Kind::Delay:
        QThread::msleep(static_cast<unsigned long>(fault.value));
        return -1;
    case ToolFault::Kind::Crash:
    case ToolFault::Kind::None:
        break;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder = toolFolder(argv[0]);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QString faultError;
    const ToolFault fault =
        takeToolFault(QDir(folder).filePath(QStringLiteral("sirfflashcl.faults")),
                      qgetenv("BRIMO_FLASHTOOL_FAULT"), &faultError);
    if (!faultError.isEmpty())
        std::fprintf(stderr, "sirfflashcl: %s\n", qPrintable(faultError));
    if (fault.kind == ToolFault::Kind::Crash) {
        appendLog(folder, arguments, QStringLiteral("crash"));
        std::abort();
    }
    int code = applyFault(fault, arguments);
    if (code < 0)
        code = runFlashTool(arguments);
    appendLog(folder, arguments, QStringLiteral("exit %1").arg(code));
    return code;
}
