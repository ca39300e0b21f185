#include "console.h"

#include <cstdio>

namespace brimo::sim {
namespace {

// The log's last line can still grow (the dots); narration in between breaks
// it, and the log's own line break that follows is then dropped.
bool g_logMidLine = false;
bool g_lineBroken = false;

} // namespace

void printLog(QString text)
{
    if (g_lineBroken && text.startsWith(QLatin1Char('\n')))
        text.remove(0, 1);
    if (text.isEmpty())
        return;
    std::fputs(qPrintable(text), stdout);
    std::fflush(stdout);
    g_logMidLine = !text.endsWith(QLatin1Char('\n'));
    g_lineBroken = false;
}

void say(const QString &line)
{
    if (g_logMidLine) {
        printLog(QStringLiteral("\n"));
        g_lineBroken = true;
    }
    std::fprintf(stderr, "autopilot: %s\n", qPrintable(line));
    std::fflush(stderr);
}

} // namespace brimo::sim
