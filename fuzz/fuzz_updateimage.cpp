// The check of a downloaded update image and the identity record rewrite on
// any answer. The first 8 bytes of the input are the device's system number,
// the next 16 the identity tail (REGEND), the rest the body. The check never
// crashes, says the same whatever pieces the body arrives in, and agrees with
// a plain reading of the format written out below; the identity records it
// finds are every one there is, and the device's own written over them leaves
// a whole image whole.

#include "device/identityrecord.h"
#include "image/imagecheck.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

// A broken promise ends the run as a crash does, so libFuzzer keeps the input.
#define FUZZ_CHECK(c)                                                                              \
    ((c) ? void()                                                                                  \
         : (std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #c), std::abort()))

namespace {

bool isHex(const std::string &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
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

// The body in pieces of 0 to 600 bytes, as a download may bring it, the
// sizes drawn from the input itself.
brimo::ImageCheck checkInPieces(const std::string &body, std::size_t seed)
{
    std::minstd_rand sizes(static_cast<std::uint_fast32_t>(seed % 2147483646u + 1u));
    brimo::ImageCheck check;
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t size = std::min<std::size_t>(sizes() % 601u, body.size() - at);
        check.add(QByteArrayView(body.data() + at, static_cast<qsizetype>(size)));
        at += size;
    }
    return check;
}

void checkRewrite(const std::string &body, const std::string &systemNumber,
                  const std::string &regEnd, const QList<qint64> &identityAt)
{
    std::vector<qint64> starts;
    for (std::size_t at = body.find("S31500080010"); at != std::string::npos;
         at = body.find("S31500080010", at + 1))
        starts.push_back(static_cast<qint64>(at));
    FUZZ_CHECK(std::vector<qint64>(identityAt.begin(), identityAt.end()) == starts);
    const QByteArray record = brimo::identityRecord(QByteArray::fromStdString(systemNumber),
                                                    QByteArray::fromStdString(regEnd));
    FUZZ_CHECK(record.size() == 46 && isRecord(record.toStdString()));
    std::string out = body;
    for (const qint64 at : identityAt)
        out.replace(static_cast<std::size_t>(at), 46, record.toStdString());
    FUZZ_CHECK(isImage(out, regEnd));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::string systemNumber = input.substr(0, 8);
    const std::string regEnd = input.size() > 8 ? input.substr(8, 16) : std::string();
    const std::string body = input.size() > 24 ? input.substr(24) : std::string();
    const QByteArray tail = QByteArray::fromStdString(regEnd);
    brimo::ImageCheck whole;
    whole.add(QByteArrayView(body.data(), static_cast<qsizetype>(body.size())));
    const QString problem = whole.finish(tail);
    FUZZ_CHECK(problem.isEmpty() == isImage(body, regEnd));
    brimo::ImageCheck pieces = checkInPieces(body, std::hash<std::string>()(input));
    FUZZ_CHECK(pieces.finish(tail) == problem && pieces.identityAt() == whole.identityAt());
    if (problem.isEmpty() && systemNumber.size() == 8)
        checkRewrite(body, systemNumber, regEnd, whole.identityAt());
    return 0;
}
