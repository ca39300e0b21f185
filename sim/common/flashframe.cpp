#include "flashframe.h"

namespace brimo::sim::flash {
namespace {

constexpr qsizetype kHeaderSize = 4; // start, length (2), command
constexpr qsizetype kCrcSize = 2;

quint16 crcOf(const QByteArray &bytes)
{
    return qChecksum(QByteArrayView(bytes), Qt::ChecksumIso3309);
}

} // namespace

void appendU16(QByteArray &out, quint16 value)
{
    out.append(static_cast<char>(value >> 8));
    out.append(static_cast<char>(value & 0xFF));
}

void appendU32(QByteArray &out, quint32 value)
{
    appendU16(out, static_cast<quint16>(value >> 16));
    appendU16(out, static_cast<quint16>(value & 0xFFFF));
}

quint16 readU16(const QByteArray &in, qsizetype at)
{
    return static_cast<quint16>((static_cast<quint8>(in.at(at)) << 8) |
                                static_cast<quint8>(in.at(at + 1)));
}

quint32 readU32(const QByteArray &in, qsizetype at)
{
    return (quint32{readU16(in, at)} << 16) | readU16(in, at + 2);
}

QByteArray encodeFrame(Command command, const QByteArray &payload)
{
    Q_ASSERT(payload.size() <= kMaxPayload);
    QByteArray body;
    appendU16(body, static_cast<quint16>(payload.size()));
    body.append(static_cast<char>(command));
    body.append(payload);
    QByteArray frame(1, kStartByte);
    frame.append(body);
    appendU16(frame, crcOf(body));
    return frame;
}

void FrameDecoder::feed(const QByteArray &bytes)
{
    m_buffer.append(bytes);
}

FrameDecoder::Check FrameDecoder::check(qsizetype at, Frame *frame, qsizetype *total) const
{
    if (m_buffer.size() - at < kHeaderSize)
        return Check::Incomplete;
    const quint16 length = readU16(m_buffer, at + 1);
    if (length > kMaxPayload)
        return Check::Invalid;
    *total = kHeaderSize + length + kCrcSize;
    if (m_buffer.size() - at < *total)
        return Check::Incomplete;
    const QByteArray body = m_buffer.mid(at + 1, kHeaderSize - 1 + length);
    if (crcOf(body) != readU16(m_buffer, at + *total - kCrcSize))
        return Check::Invalid;
    frame->command = static_cast<Command>(static_cast<quint8>(body.at(2)));
    frame->payload = body.mid(3);
    return Check::Valid;
}

std::optional<Frame> FrameDecoder::next()
{
    for (;;) {
        const qsizetype start = m_buffer.indexOf(kStartByte);
        if (start < 0) {
            m_buffer.clear();
            return std::nullopt;
        }
        m_buffer.remove(0, start);
        Frame frame;
        qsizetype total = 0;
        switch (check(0, &frame, &total)) {
        case Check::Valid:
            m_buffer.remove(0, total);
            return frame;
        case Check::Invalid:
            m_buffer.remove(0, 1);
            continue;
        case Check::Incomplete:
            break;
        }
        // A start byte in noise can announce a long frame that never comes;
        // a whole frame behind it shows that it was noise.
        qsizetype later = 0;
        for (later = m_buffer.indexOf(kStartByte, 1); later > 0;
             later = m_buffer.indexOf(kStartByte, later + 1)) {
            if (check(later, &frame, &total) == Check::Valid)
                break;
        }
        if (later <= 0)
            return std::nullopt;
        m_buffer.remove(0, later);
    }
}

} // namespace brimo::sim::flash
