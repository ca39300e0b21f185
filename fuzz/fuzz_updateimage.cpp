// The check of a downloaded update image and the identity record rewrite on
// any answer. The first 8 bytes of the input are the device's system number,
// the next 16 the identity tail (REGEND), the rest the body. The check never
// crashes and agrees with a plain reading of the format written out below;
// a rewrite takes only a whole, well-formed record in an image that leaves
// the device's identity to it, and leaves a whole image whole.

#include "device/identityrecord.h"
#include "image/imagecheck.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A broken promise ends the run as a crash does, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition);           \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace {

bool isHex(const std::string &text)
{
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// "S", a type whose address takes the bytes this table gives it (S4: none),
// then pairs of digits: the count of the pairs after it, at least the address
// and the checksum; all pairs add up to 0xFF in their low byte.
bool isRecord(const std::string &line)
{
    static const std::string kAddressBytes = "2234023432";
    if (line.size() < 4 || line.size() % 2 != 0 || line[0] != 'S' ||
        !std::isdigit(static_cast<unsigned char>(line[1])) || !isHex(line.substr(2)))
        return false;
    const auto address =
        static_cast<unsigned long>(kAddressBytes[static_cast<std::size_t>(line[1] - '0')] - '0');
    const unsigned long count = std::stoul(line.substr(2, 2), nullptr, 16);
    unsigned long sum = 0;
    for (std::size_t i = 2; i < line.size(); i += 2)
        sum += std::stoul(line.substr(i, 2), nullptr, 16);
    return address > 0 && count * 2 + 4 == line.size() && count > address && sum % 256 == 255;
}

// The lines of a text: each ends in LF or CR LF, the last one may end the
// text instead.
std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        if (!lines.back().empty() && lines.back().back() == '\r')
            lines.back().pop_back();
        start = end + 1;
    }
    return lines;
}

// A data record (S1, S2, S3) with a byte between 0x080010 and 0x08001F, the
// device's identity.
bool writesIdentity(const std::string &record)
{
    if (record[1] < '1' || record[1] > '3')
        return false;
    const std::size_t addressDigits = 2 * static_cast<std::size_t>(record[1] - '0' + 1);
    const unsigned long long first = std::stoull(record.substr(4, addressDigits), nullptr, 16);
    const unsigned long long bytes = (record.size() - 4 - addressDigits) / 2 - 1;
    return bytes > 0 && first <= 0x08001F && first + bytes - 1 >= 0x080010;
}

// Only copies of one whole identity record write to the identity; lines that
// are no record do not count.
bool keepsIdentity(const std::string &text)
{
    std::string identity;
    for (const std::string &line : linesOf(text)) {
        if (!isRecord(line) || !writesIdentity(line))
            continue;
        if (line.compare(0, 12, "S31500080010") != 0 || (!identity.empty() && line != identity))
            return false;
        identity = line;
    }
    return true;
}

// Every line a record, only the last a termination record; the identity kept.
bool isImage(const std::string &text, const std::string &regEnd)
{
    if (regEnd.size() != 16 || !isHex(regEnd) || text.empty())
        return false;
    const std::vector<std::string> lines = linesOf(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!isRecord(lines[i]) || (lines[i][1] >= '7') != (i + 1 == lines.size()))
            return false;
    }
    return keepsIdentity(text);
}

void checkRewrite(const std::string &body, const std::string &systemNumber,
                  const std::string &regEnd, bool whole)
{
    const QByteArray image = QByteArray::fromStdString(body);
    const brimo::IdentityRewrite rewrite = brimo::rewriteIdentity(
        image, QByteArray::fromStdString(systemNumber), QByteArray::fromStdString(regEnd));
    const std::size_t at = body.find("S31500080010");
    const std::string old = at == std::string::npos ? std::string() : body.substr(at, 46);
    const char after = at + 46 < body.size() ? body[at + 46] : '\n';
    const bool fits = old.size() == 46 && (after == '\r' || after == '\n') && isRecord(old) &&
                      keepsIdentity(body) && regEnd.size() == 16 && isHex(regEnd);
    FUZZ_CHECK(rewrite.error.isEmpty() == fits);
    if (!fits)
        return;
    FUZZ_CHECK(rewrite.oldRecord.toStdString() == old && isRecord(rewrite.newRecord.toStdString()));
    QByteArray out;
    FUZZ_CHECK(brimo::writeRewritten(image, rewrite, [&out](const char *data, qsizetype size) {
        out.append(data, size);
        return true;
    }));
    FUZZ_CHECK(out == QByteArray(image).replace(rewrite.oldRecord, rewrite.newRecord));
    FUZZ_CHECK(!whole || isImage(out.toStdString(), regEnd));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::string systemNumber = input.substr(0, 8);
    const std::string regEnd = input.size() > 8 ? input.substr(8, 16) : std::string();
    const std::string body = input.size() > 24 ? input.substr(24) : std::string();
    const bool whole = isImage(body, regEnd);
    FUZZ_CHECK(
        brimo::imageProblem(QByteArray::fromStdString(body), QByteArray::fromStdString(regEnd))
            .isEmpty() == whole);
    if (systemNumber.size() == 8)
        checkRewrite(body, systemNumber, regEnd, whole);
    return 0;
}
