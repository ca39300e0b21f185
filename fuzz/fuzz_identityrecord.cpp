// The identity record rebuild on any image, system number and tail. The first
// byte (taken from the end of the input) shapes the case: a system number of
// exactly 8 characters or of any length, a tail of 16 hexadecimal digits or
// any text, an identity record start planted in the image or not.

#include "device/identityrecord.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <string>

namespace {

constexpr std::size_t kRecordLength = 46;
const std::string kStart = "S31500080010";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isHexDigits(const std::string &text)
{
    for (const char c : text) {
        if (hexValue(c) < 0)
            return false;
    }
    return true;
}

std::string upperHex(const std::string &bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0f];
    }
    return out;
}

// A data record is sound when its count names the bytes that follow it and
// all its bytes, checksum included, add up to 0xFF in their low 8 bits.
bool isSoundRecord(const std::string &record)
{
    if (record.size() < 4 || record.size() % 2 != 0 || record.compare(0, 2, "S3") != 0)
        return false;
    unsigned sum = 0;
    for (std::size_t i = 2; i < record.size(); i += 2) {
        const int high = hexValue(record[i]);
        const int low = hexValue(record[i + 1]);
        if (high < 0 || low < 0)
            return false;
        sum += static_cast<unsigned>(high * 16 + low);
    }
    const auto count = static_cast<std::size_t>(hexValue(record[2]) * 16 + hexValue(record[3]));
    return count * 2 + 4 == record.size() && (sum & 0xFFu) == 0xFFu;
}

std::size_t countFromStart(const std::string &text, const std::string &part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size()))
        ++count;
    return count;
}

struct Case {
    std::string systemNumber;
    std::string regEnd;
    std::string image;
};

Case makeCase(FuzzedDataProvider &in)
{
    const auto shape = in.ConsumeIntegral<std::uint8_t>();
    Case c;
    c.systemNumber =
        (shape & 1) != 0 ? in.ConsumeBytesAsString(8) : in.ConsumeRandomLengthString(12);
    if ((shape & 2) != 0) {
        c.regEnd = upperHex(in.ConsumeBytesAsString(8));
        if ((shape & 8) != 0)
            for (char &digit : c.regEnd)
                digit = static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
    } else {
        c.regEnd = in.ConsumeRandomLengthString(24);
    }
    c.image = in.ConsumeRemainingBytesAsString();
    if ((shape & 4) != 0)
        c.image.insert(c.image.size() * (shape >> 4) / 16, kStart);
    return c;
}

void checkRecord(const Case &c, const std::string &record)
{
    const bool fits = c.systemNumber.size() == 8 && c.regEnd.size() == 16 && isHexDigits(c.regEnd);
    FUZZ_CHECK(record.empty() != fits);
    if (!fits)
        return;
    FUZZ_CHECK(record.size() == kRecordLength);
    FUZZ_CHECK(record.compare(0, kStart.size(), kStart) == 0);
    FUZZ_CHECK(record.compare(12, 16, upperHex(c.systemNumber)) == 0);
    FUZZ_CHECK(record.compare(28, 16, c.regEnd) == 0);
    FUZZ_CHECK(isSoundRecord(record));
}

void checkRewrite(const Case &c, const std::string &record, const QByteArray &image,
                  const brimo::IdentityRewrite &result)
{
    const QByteArray rewritten = brimo::rewrittenImage(image, result);
    const std::string out = rewritten.toStdString();
    const std::size_t at = c.image.find(kStart);
    if (at == std::string::npos || record.empty()) {
        FUZZ_CHECK(out.empty() && !result.error.isEmpty());
        return;
    }
    FUZZ_CHECK(result.error.isEmpty());
    // Every copy of the old record, counted as a replace from the start sees
    // them, grows or shrinks the image by the difference in length.
    const std::string oldRecord = c.image.substr(at, kRecordLength);
    const std::size_t copies = countFromStart(c.image, oldRecord);
    FUZZ_CHECK(copies >= 1);
    FUZZ_CHECK(out.size() + copies * oldRecord.size() == c.image.size() + copies * kRecordLength);
    FUZZ_CHECK(out.compare(0, at, c.image, 0, at) == 0);
    FUZZ_CHECK(out.compare(at, kRecordLength, record) == 0);
    // Written in slices, the image comes out as a replace of the whole would
    // leave it.
    FUZZ_CHECK(rewritten == QByteArray(image).replace(result.oldRecord, result.newRecord));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const Case c = makeCase(in);
    const QByteArray systemNumber = QByteArray::fromStdString(c.systemNumber);
    const QByteArray regEnd = QByteArray::fromStdString(c.regEnd);

    const std::string record = brimo::identityRecord(systemNumber, regEnd).toStdString();
    checkRecord(c, record);
    const QByteArray image = QByteArray::fromStdString(c.image);
    checkRewrite(c, record, image, brimo::rewriteIdentity(image, systemNumber, regEnd));
    return 0;
}
