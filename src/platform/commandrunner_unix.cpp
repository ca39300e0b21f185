#include "platform/commandrunner_p.h"

#include <QFile>
#include <QProcess>

namespace brimo {

namespace {

bool isWindowsProgram(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "MZ";
}

} // namespace

void preparePlatformRun(QProcess &process, QString &program, QStringList &arguments)
{
    Q_UNUSED(process)
    // Paths are handed to wine as they are: it maps the root folder to drive
    // Z:, so a Windows tool opens "/x/nf.dat" as "Z:\x\nf.dat".
    if (isWindowsProgram(program)) {
        arguments.prepend(program);
        program = QStringLiteral("wine");
    }
}

} // namespace brimo
