#include "platform/commandrunner_p.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QProcess>

#include <memory>
#include <string>

#include <windows.h>

namespace brimo {

// A Windows program gets its command line as one text and splits it itself.
// Rebuilt from the split arguments it would differ from what the utility wrote
// (Qt quotes by its own rules and puts two blanks after the program's path),
// so the process is created from the command line as written.
QString preparePlatformRun(QProcess &process, const QString &commandLine, const RunWith &,
                           QString &program, QStringList &arguments)
{
    Q_UNUSED(program)
    Q_UNUSED(arguments)
    // The system may write into the text it is given, so it gets a copy of its own.
    const auto text = std::make_shared<std::wstring>(commandLine.toStdWString());
    process.setCreateProcessArgumentsModifier([text](QProcess::CreateProcessArguments *args) {
        args->arguments = text->data();
        // The flash tool is a console program: keep its console window hidden.
        args->flags |= CREATE_NO_WINDOW;
        // It inherits the single-copy lock and holds it while it runs.
        args->inheritHandles = true;
    });
    return {};
}

namespace {

// Before the program answers the end of the session, the flash tool has
// ended: Windows would end it with every other program of the session.
class WaitAtSessionEnd : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray &, void *message, qintptr *) override
    {
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam) {
            if (QProcess *tool = runningCommand())
                tool->waitForFinished(-1);
        }
        return false;
    }
};

} // namespace

void waitForCommandsAtSessionEnd()
{
    static WaitAtSessionEnd filter;
    QCoreApplication::instance()->installNativeEventFilter(&filter);
}

} // namespace brimo
