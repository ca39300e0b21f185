#pragma once

#include "common/flashframe.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QIODevice;

namespace brimo::sim {

struct ImagePlan;

// The tool's side of the flash protocol over an open serial line. Each call
// waits for the device's answer; false with a reason in error() if none came.
class FlashClient {
public:
    explicit FlashClient(QIODevice &line) : m_line(line) {}

    // Says hello until the device answers or `timeoutMs` has passed.
    bool handshake(int timeoutMs);
    bool read(quint32 address, quint16 length, QByteArray *bytes);
    bool write(const ImagePlan &plan);

    QString error() const { return m_error; }
    quint32 flashSize() const { return m_flashSize; }

private:
    bool send(flash::Command command, const QByteArray &payload);
    std::optional<flash::Frame> await(int timeoutMs, bool skipInfo = true);
    bool expectAck(flash::Command command, int timeoutMs);
    bool fail(const QString &why);

    QIODevice &m_line;
    flash::FrameDecoder m_decoder;
    QString m_error;
    quint32 m_flashSize = 0;
};

} // namespace brimo::sim
