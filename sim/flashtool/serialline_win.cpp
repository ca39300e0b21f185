#include "serialline.h"

#include "platform/comport.h"

#include <windows.h>

namespace brimo::sim {

// Plain blocking reads and writes with a time-out, as a Windows flash tool
// does. Qt's serial port waits for the port's events instead, which Wine does
// not give for a pseudo-terminal such as the simulated device's.
struct SerialLine::Port {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

SerialLine::SerialLine() : m_port(std::make_unique<Port>()) {}

SerialLine::~SerialLine()
{
    if (m_port->handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_port->handle);
}

bool SerialLine::open(int port, QString *error)
{
    const QString name = QStringLiteral("\\\\.\\") + comPortSystemName(port);
    m_port->handle =
        CreateFileW(reinterpret_cast<const wchar_t *>(name.utf16()), GENERIC_READ | GENERIC_WRITE,
                    0, nullptr, OPEN_EXISTING, 0, nullptr);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (m_port->handle == INVALID_HANDLE_VALUE || !GetCommState(m_port->handle, &dcb)) {
        *error = name + QStringLiteral(": ") + qt_error_string();
        return false;
    }
    dcb.BaudRate = 57600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(m_port->handle, &dcb);
    PurgeComm(m_port->handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return true;
}

bool SerialLine::write(const QByteArray &bytes)
{
    DWORD written = 0;
    return WriteFile(m_port->handle, bytes.constData(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr);
}

QByteArray SerialLine::read(int timeoutMs)
{
    // Short reads: Wine waits out the whole time-out unless the buffer fills.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 10;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(qBound(1, timeoutMs, 50));
    QByteArray bytes(4096, '\0');
    DWORD got = 0;
    if (!SetCommTimeouts(m_port->handle, &timeouts) ||
        !ReadFile(m_port->handle, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        got = 0;
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}

} // namespace brimo::sim
