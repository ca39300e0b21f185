#include "flashresponder.h"

#include "flashmemory.h"

#include <climits>

namespace brimo::sim {
namespace {

using flash::Command;
using flash::NakReason;

// A frame that stops arriving half-way is noise from an earlier session.
constexpr qint64 kFrameGapMs = 500;

QByteArray ack(Command command)
{
    return flash::encodeFrame(Command::Ack, QByteArray(1, static_cast<char>(command)));
}

QByteArray nak(Command command, NakReason reason)
{
    QByteArray payload(1, static_cast<char>(command));
    payload.append(static_cast<char>(reason));
    return flash::encodeFrame(Command::Nak, payload);
}

bool inFlash(quint32 address, qsizetype length)
{
    return quint64{address} + static_cast<quint64>(length) <= quint64{flash::kFlashSize};
}

} // namespace

QByteArray FlashResponder::receive(const QByteArray &bytes)
{
    if (m_sinceLastByte.isValid() && m_sinceLastByte.elapsed() > kFrameGapMs)
        m_decoder.clear();
    m_sinceLastByte.start();
    m_decoder.feed(bytes);
    QByteArray replies;
    while (auto frame = m_decoder.next())
        replies += answer(*frame);
    return replies;
}

void FlashResponder::reset()
{
    m_decoder.clear();
    m_inSession = false;
    m_pending.clear();
}

QByteArray FlashResponder::answer(const flash::Frame &frame)
{
    switch (frame.command) {
    case Command::Hello:
        return hello();
    case Command::Read:
        return read(frame.payload);
    case Command::Begin:
        return begin(frame.payload);
    case Command::Write:
        return write(frame.payload);
    case Command::Commit:
        return commit(frame.payload);
    default:
        return nak(frame.command, NakReason::UnknownCommand);
    }
}

QByteArray FlashResponder::hello() const
{
    QByteArray payload(1, static_cast<char>(flash::kProtocolVersion));
    flash::appendU32(payload, flash::kFlashSize);
    return flash::encodeFrame(Command::Info, payload);
}

QByteArray FlashResponder::read(const QByteArray &payload) const
{
    if (payload.size() != 6)
        return nak(Command::Read, NakReason::BadPayload);
    const quint32 address = flash::readU32(payload, 0);
    const quint16 length = flash::readU16(payload, 4);
    if (length > flash::kBlockSize || !inFlash(address, length))
        return nak(Command::Read, NakReason::OutOfRange);
    QByteArray reply;
    flash::appendU32(reply, address);
    reply += m_memory.read(address, length);
    return flash::encodeFrame(Command::Data, reply);
}

QByteArray FlashResponder::begin(const QByteArray &payload)
{
    if (payload.size() != 4)
        return nak(Command::Begin, NakReason::BadPayload);
    m_inSession = true;
    m_pending = m_memory.contents();
    m_records = static_cast<int>(qMin(flash::readU32(payload, 0), quint32{INT_MAX}));
    m_byteCount = 0;
    m_byteSum = 0;
    return ack(Command::Begin);
}

QByteArray FlashResponder::write(const QByteArray &payload)
{
    if (!m_inSession)
        return nak(Command::Write, NakReason::NoSession);
    if (payload.size() < 4 || payload.size() > 4 + flash::kBlockSize)
        return nak(Command::Write, NakReason::BadPayload);
    const quint32 address = flash::readU32(payload, 0);
    const QByteArray data = payload.mid(4);
    if (!inFlash(address, data.size()))
        return nak(Command::Write, NakReason::OutOfRange);
    m_pending.replace(address, data.size(), data);
    m_byteCount += static_cast<quint32>(data.size());
    for (char c : data)
        m_byteSum += static_cast<quint8>(c);
    return ack(Command::Write);
}

QByteArray FlashResponder::commit(const QByteArray &payload)
{
    if (!m_inSession)
        return nak(Command::Commit, NakReason::NoSession);
    if (payload.size() != 8)
        return nak(Command::Commit, NakReason::BadPayload);
    m_inSession = false;
    if (flash::readU32(payload, 0) != m_byteCount || flash::readU32(payload, 4) != m_byteSum)
        return nak(Command::Commit, NakReason::VerifyFailed);
    QString error;
    if (!m_memory.store(m_pending, &error)) {
        qWarning("brimo-devsim: cannot store the flash: %s", qPrintable(error));
        return nak(Command::Commit, NakReason::StoreFailed);
    }
    m_pending.clear();
    if (onFlashed)
        onFlashed(m_records);
    return ack(Command::Commit);
}

} // namespace brimo::sim
