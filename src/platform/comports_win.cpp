#include "platform/comports_p.h"

#include <QSerialPortInfo>

#include <windows.h>

namespace brimo {

// The system's list of serial ports; only the COMn among them are COM ports.
std::map<int, QString> systemComPorts(const QString &)
{
    std::map<int, QString> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        bool numbered = false;
        const int number = name.mid(3).toInt(&numbered);
        if (name.startsWith(QLatin1String("COM")) && numbered && number > 0)
            ports[number] = name;
    }
    return ports;
}

// Windows' COM ports are exclusive: it answers an open of a port another
// program holds with access denied (a sharing violation says the same).
ComPortState openState(const QString &systemName)
{
    const std::wstring path = (QStringLiteral("\\\\.\\") + systemName).toStdWString();
    const HANDLE port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return ComPortState::Free;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? ComPortState::InUse
                                                                            : ComPortState::Missing;
}

} // namespace brimo
