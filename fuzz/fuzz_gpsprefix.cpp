// The probe's search for "$GP" over the pieces a port delivers: after every
// piece the watch must agree with a plain search of everything received so
// far, so a prefix split over any number of reads is found and nothing else is.

#include "device/gpsprefixwatch.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    brimo::GpsPrefixWatch watch;
    std::string received;
    bool found = false;
    while (in.remaining_bytes() > 0) {
        const std::string piece =
            in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 8));
        received += piece;
        const bool nowFound = watch.append(QByteArray::fromStdString(piece));
        FUZZ_CHECK(nowFound == (received.find("$GP") != std::string::npos));
        FUZZ_CHECK(nowFound || !found);
        found = nowFound;
    }
    return 0;
}
