#include "benchcommands.h"

#include <QCoreApplication>
#include <QHash>
#include <functional>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QHash<QString, std::function<int(const QStringList &)>> commands{
        {QStringLiteral("fetch"), runFetch},   {QStringLiteral("upload"), runUpload},
        {QStringLiteral("memory"), runMemory}, {QStringLiteral("probe"), runProbe},
        {QStringLiteral("check"), runCheck},   {QStringLiteral("settings"), runSettings},
    };
    QStringList arguments = app.arguments().mid(1);
    const auto command = commands.find(arguments.value(0));
    if (command == commands.end()) {
        QTextStream(stderr)
            << "usage: brimo-bench fetch|upload|memory|check|probe|settings ... (see "
               "bench/benchcommands.h)\n";
        return 2;
    }
    arguments.removeFirst();
    return command.value()(arguments);
}
