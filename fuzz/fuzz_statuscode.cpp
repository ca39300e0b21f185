// The status code taken from an answer's header text. Any text: never a crash,
// 0 unless the three characters after the first space read as a number. A
// status line as the transfer control writes it for a status of three digits
// gives that status back, whatever the reason text and headers after it.

#include "fuzzcheck.h"
#include "webservice/statuscode.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

namespace {

bool isThreeDigits(const QByteArray &text)
{
    if (text.size() != 3)
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

void checkAnyText(const QByteArray &text)
{
    const qint16 code = brimo::statusCode(text);
    const qsizetype space = text.indexOf(' ');
    if (space < 0) {
        FUZZ_CHECK(code == 0);
        return;
    }
    const QByteArray field = text.mid(space + 1, 3);
    FUZZ_CHECK(code >= -99 && code <= 999);
    if (isThreeDigits(field))
        FUZZ_CHECK(code == field.toInt());
    if (code != 0)
        FUZZ_CHECK(field.contains(QByteArray::number(code < 0 ? -code : code)));
}

void checkStatusLine(FuzzedDataProvider &in)
{
    const int status = in.ConsumeIntegralInRange(100, 999);
    const std::string reason = in.ConsumeRandomLengthString(40);
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' +
                            QByteArray::fromStdString(reason) + "\r\n" +
                            QByteArray::fromStdString(rest);
    FUZZ_CHECK(brimo::statusCode(text) == status);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkAnyText(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    FuzzedDataProvider in(data, size);
    checkStatusLine(in);
    return 0;
}
