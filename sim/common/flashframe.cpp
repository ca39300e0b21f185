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

std::optional<Frame> FrameDecoder::next()
{
    for (;;) {
        const qsizetype start = m_buffer.indexOf(kStartByte);
        if (start < 0) {
            m_buffer.clear();
            return std::nullopt;
        }
        m_buffer.remove(0, start);
        if (m_buffer.size() < kHeaderSize)
            return std::nullopt;
        const quint16 length = readU16(m_buffer, 1);
        if (length > kMaxPayload) {
            m_buffer.remove(0, 1);
            continue;
        }
        const qsizetype total = kHeaderSize + length + kCrcSize;
        if (m_buffer.size() < total)
            return std::nullopt;
        const QByteArray body = m_buffer.mid(1, kHeaderSize - 1 + length);
        if (crcOf(body) != readU16(m_buffer, total - kCrcSize)) {
            m_buffer.remove(0, 1);
            continue;
        }
        Frame frame;
        frame.command = static_cast<Command>(static_cast<quint8>(body.at(2)));
        frame.payload = body.mid(3);
        m_buffer.remove(0, total);
        return frame;
    }
}

} // namespace brimo::sim::flash
