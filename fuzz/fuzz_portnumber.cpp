// The COM port number read from the stored "COMPort" text, which anyone can
// edit. Any text, in a locale with a decimal point and in one with a decimal
// comma: never a crash, a number only where the text holds a digit, plain
// whole numbers read as themselves, blanks around the text change nothing,
// and a port that was read writes out to a text that reads back the same.

#include "fuzzcheck.h"
#include "wizard/localetext.h"

#include <QLocale>
#include <cstdint>
#include <optional>

namespace {

// A plain whole number of up to five digits with an optional sign, and its value.
std::optional<int> plainNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 6)
        return std::nullopt;
    qsizetype start = text.at(0) == u'+' || text.at(0) == u'-' ? 1 : 0;
    if (start == text.size())
        return std::nullopt;
    int value = 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return text.at(0) == u'-' ? -value : value;
}

bool hasDigit(const QString &text)
{
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            return true;
    }
    return false;
}

void check(const QString &text, const QLocale &locale)
{
    const std::optional<qint16> port = brimo::portNumberFromText(text, locale);
    if (port) {
        FUZZ_CHECK(hasDigit(text));
        FUZZ_CHECK(brimo::portNumberFromText(QString::number(*port), locale) == port);
    }
    if (const std::optional<int> plain = plainNumber(text)) {
        const bool fits = *plain >= -32768 && *plain <= 32767;
        FUZZ_CHECK(port.has_value() == fits);
        FUZZ_CHECK(!fits || *port == *plain);
    }
    const QString padded = QStringLiteral(" \t") + text + QStringLiteral("  ");
    FUZZ_CHECK(brimo::portNumberFromText(padded, locale) == port);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QLocale point(QLocale::C);
    static const QLocale comma(QLocale::German, QLocale::Germany);
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    check(text, point);
    check(text, comma);
    return 0;
}
