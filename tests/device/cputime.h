#pragma once

#include <QtGlobal>

#include <sys/resource.h>

// CPU time this process has used so far, user and system, in milliseconds.
inline qint64 cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}
