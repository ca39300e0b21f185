#include "platform/commandrunner_p.h"

#include <QProcess>

#include <windows.h>

namespace brimo {

QString preparePlatformRun(QProcess &process, QString &program, QStringList &arguments)
{
    Q_UNUSED(program)
    Q_UNUSED(arguments)
    // The flash tool is a console program: keep its console window hidden.
    process.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments *args) { args->flags |= CREATE_NO_WINDOW; });
    return {};
}

} // namespace brimo
