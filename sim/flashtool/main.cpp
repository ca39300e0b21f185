// sirfflashcl.exe: the flash tool's stand-in. It reads the identity block of
// the simulated device or writes an S-record image to it over the serial line.
// For tests, sirfflashcl.faults beside it makes one run misbehave per line;
// every run leaves one line in sirfflashcl.log beside it.
#include "flashrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// The folder the tool was started from. A link to the tool is its own folder:
// tests place one in a folder of their own.
QString toolFolder(const char *argv0)
{
    const QString invoked = QFile::decodeName(argv0);
    if (invoked.contains(u'/'))
        return QFileInfo(invoked).absolutePath();
    return QCoreApplication::applicationDirPath();
}

// The first line of the faults file, which keeps the rest (or goes when
// that was all); without the file, $BRIMO_FLASHTOOL_FAULT.
QString takeFault(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return qEnvironmentVariable("BRIMO_FLASHTOOL_FAULT").simplified();
    const QByteArray text = file.readAll();
    file.close();
    const qsizetype end = text.indexOf('\n');
    const QByteArray rest = end < 0 ? QByteArray() : text.mid(end + 1);
    QSaveFile out(path);
    if (rest.trimmed().isEmpty())
        QFile::remove(path);
    else if (out.open(QIODevice::WriteOnly) && out.write(rest) == rest.size())
        out.commit();
    return QString::fromUtf8(end < 0 ? text : text.left(end)).simplified();
}

// On Windows the command line as the system handed it over, which the real
// tool parses itself; elsewhere the arguments, each in brackets.
void appendLog(const QString &folder, const QStringList &arguments, const QString &outcome)
{
#ifdef Q_OS_WIN
    Q_UNUSED(arguments)
    const QString line = QString::fromWCharArray(GetCommandLineW()) + u' ';
#else
    QString line;
    for (const QString &argument : arguments)
        line += u'[' + argument + QStringLiteral("] ");
#endif
    QFile log(QDir(folder).filePath(QStringLiteral("sirfflashcl.log")));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write((line + QStringLiteral("-> ") + outcome + u'\n').toUtf8());
}

// "ok", "exit N", "crash", "nofile", "emptyfile" or "delay MS": the exit code
// of a run the fault ends, or -1 when the run goes on.
int applyFault(const QString &fault, const QStringList &arguments)
{
    const QStringList words = fault.split(u' ');
    bool numeric = false;
    const int value = words.value(1).toInt(&numeric);
    if (words[0] == u"exit" && words.size() == 2 && numeric)
        return value;
    if (fault == u"nofile")
        return 0;
    if (fault == u"emptyfile") {
        QFile(arguments.value(0)).open(QIODevice::WriteOnly | QIODevice::Truncate);
        return 0;
    }
    if (words[0] == u"delay" && words.size() == 2 && numeric)
        QThread::msleep(static_cast<unsigned long>(qMax(value, 0)));
    else if (!fault.isEmpty() && fault != u"ok")
        std::fprintf(stderr, "sirfflashcl: unknown fault \"%s\" ignored\n", qPrintable(fault));
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder = toolFolder(argv[0]);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString fault = takeFault(QDir(folder).filePath(QStringLiteral("sirfflashcl.faults")));
    if (fault == u"crash") {
        appendLog(folder, arguments, QStringLiteral("crash"));
        std::abort();
    }
    int code = applyFault(fault, arguments);
    if (code < 0)
        code = brimo::sim::runFlashTool(arguments);
    appendLog(folder, arguments, QStringLiteral("exit %1").arg(code));
    return code;
}
