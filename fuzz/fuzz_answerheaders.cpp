// The header side of an answer: the header text the transfer control builds,
// the status code read back from it and the lookup of one header by name.
//
// Any text read as header text: never a crash, 0 unless the three characters
// after the first space read as a number. Any status of three digits, reason
// text and list of headers: the header text gives that status back, and the
// lookup of "REGEND" gives exactly the values of the headers of that name in
// any case, in their order, joined by ", ".

#include "fuzzcheck.h"
#include "platform/answerheaders.h"
#include "webservice/statuscode.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
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

bool isRegEndName(const QByteArray &name)
{
    static const char kName[] = "regend";
    if (name.size() != 6)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name.at(i));
        if (c >= 0x80 || std::tolower(c) != kName[i])
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

// Names are often REGEND in one case or another, so the lookup gets exercised.
QByteArray headerName(FuzzedDataProvider &in)
{
    QByteArray name = QByteArray::fromStdString(in.ConsumeRandomLengthString(12));
    if (in.ConsumeBool()) {
        name = "REGEND";
        for (char &c : name) {
            if (in.ConsumeBool())
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return name;
}

void checkAnswer(FuzzedDataProvider &in)
{
    const int status = in.ConsumeIntegralInRange(100, 999);
    const QByteArray reason = QByteArray::fromStdString(in.ConsumeRandomLengthString(40));
    brimo::HeaderList headers;
    QByteArray expected;
    while (in.remaining_bytes() > 0 && headers.size() < 16) {
        const QByteArray name = headerName(in);
        const QByteArray value = QByteArray::fromStdString(in.ConsumeRandomLengthString(24));
        headers.append({name, value});
        if (isRegEndName(name))
            expected += (expected.isEmpty() ? QByteArray() : QByteArray(", ")) + value;
    }
    const QByteArray text = brimo::headerText(status, reason, headers);
    FUZZ_CHECK(text.startsWith("HTTP/1.1 "));
    FUZZ_CHECK(brimo::statusCode(text) == status);
    FUZZ_CHECK(brimo::headerValue(headers, "REGEND") == expected);
    FUZZ_CHECK(brimo::headerValue(headers, "regend") == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkAnyText(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    FuzzedDataProvider in(data, size);
    checkAnswer(in);
    return 0;
}
