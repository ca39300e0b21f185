#pragma once

#include "common/flashframe.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <functional>

namespace brimo::sim {

class FlashMemory;

// The device's side of the flash protocol: takes what arrives on the line,
// answers each whole frame and applies a write session to the flash when it
// is committed.
class FlashResponder {
public:
    explicit FlashResponder(FlashMemory &memory) : m_memory(memory) {}

    // Bytes from the line in, reply bytes out (empty while a frame is incomplete).
    QByteArray receive(const QByteArray &bytes);
    // Forgets a half-received frame and any write session, as a reset does.
    void reset();

    // Called after a committed write with the number of data records it held.
    std::function<void(int records)> onFlashed;

private:
    QByteArray answer(const flash::Frame &frame);
    QByteArray hello() const;
    QByteArray read(const QByteArray &payload) const;
    QByteArray begin(const QByteArray &payload);
    QByteArray write(const QByteArray &payload);
    QByteArray commit(const QByteArray &payload);

    FlashMemory &m_memory;
    flash::FrameDecoder m_decoder;
    QElapsedTimer m_sinceLastByte;
    bool m_inSession = false;
    QByteArray m_pending; // the flash as the session has written it so far
    int m_records = 0;
    quint32 m_byteCount = 0;
    quint32 m_byteSum = 0;
};

} // namespace brimo::sim
