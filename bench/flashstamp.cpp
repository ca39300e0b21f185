#include "monotonic.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Takes the flash tool's place when only the way up to its start is timed:
// notes the instant it began and the size of the work file it was handed in
// the file that $BRIMO_BENCH_STAMP names, and exits at once with success.
// It needs nothing but the C library, so that its own start costs little and
// varies little from run to run.
int main(int argc, char *argv[])
{
    const std::int64_t startedNs = monotonicNs();
    const char *stampPath = std::getenv("BRIMO_BENCH_STAMP");
    if (stampPath == nullptr || argc < 2)
        return 2;
    struct stat info {};
    const long long size = stat(argv[1], &info) == 0 ? static_cast<long long>(info.st_size) : -1;
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "%lld %lld\n", static_cast<long long>(startedNs), size);
    const int stamp = open(stampPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = stamp >= 0 && write(stamp, line, static_cast<size_t>(length)) == length;
    return written && close(stamp) == 0 ? 0 : 3;
}
