#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace brimo::sim {

// The serial protocol between the flash tool and the device in its download
// mode. A frame is the start byte 0xA5, the payload length (2 bytes), the
// command, the payload and a CRC-16 (X.25) over length, command and payload.
// Numbers are big-endian.
namespace flash {

inline constexpr char kStartByte = '\xA5';
inline constexpr int kMaxPayload = 8192;
inline constexpr int kBlockSize = 4096; // most bytes one read or write frame carries
inline constexpr quint32 kFlashSize = 0x100000;
inline constexpr quint32 kIdentityBlock = 0x080000;
inline constexpr int kIdentityBlockSize = 32;
inline constexpr quint8 kProtocolVersion = 1;

enum class Command : quint8 {
    Hello = 0x01,  // -> Info
    Read = 0x02,   // address u32, length u16 -> Data
    Begin = 0x03,  // data records in the image u32 -> Ack; starts a write session
    Write = 0x04,  // address u32, bytes -> Ack
    Commit = 0x05, // byte count u32, byte sum u32 of all written bytes -> Ack once stored
    Ack = 0x06,    // the command acknowledged u8
    Nak = 0x15,    // the command refused u8, reason u8
    Info = 0x81,   // protocol version u8, flash size u32
    Data = 0x82,   // address u32, bytes
};

enum class NakReason : quint8 {
    UnknownCommand = 1,
    BadPayload = 2,
    OutOfRange = 3,
    NoSession = 4,
    VerifyFailed = 5,
    StoreFailed = 6,
};

struct Frame {
    Command command = Command::Hello;
    QByteArray payload;
};

QByteArray encodeFrame(Command command, const QByteArray &payload = QByteArray());

void appendU16(QByteArray &out, quint16 value);
void appendU32(QByteArray &out, quint32 value);
// Reads a big-endian number at `at`; the caller checks the size first.
quint16 readU16(const QByteArray &in, qsizetype at);
quint32 readU32(const QByteArray &in, qsizetype at);

// Collects bytes from the line and hands out whole frames whose checksum is
// right. Anything else (line noise, NMEA left in a buffer, a damaged frame) is
// skipped by hunting for the next start byte.
class FrameDecoder {
public:
    void feed(const QByteArray &bytes);
    std::optional<Frame> next();
    void clear() { m_buffer.clear(); }
    qsizetype pendingBytes() const { return m_buffer.size(); }

private:
    enum class Check { Valid, Incomplete, Invalid };
    Check check(qsizetype at, Frame *frame, qsizetype *total) const;

    QByteArray m_buffer;
};

} // namespace flash
} // namespace brimo::sim
