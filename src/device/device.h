#pragma once

#include "device/identityrecord.h"
#include "image/devicefile.h"

#include <QString>

namespace brimo {

class WindowLink;

// The link to the Brimo device through the flash tool "sirfflashcl.exe":
// reading the identity block and flashing an update image.
class device {
public:
    // comPortNumber is the program's shared current port, read at each
    // identity read. appFolder defaults to the folder of the executable.
    device(WindowLink &window, const qint16 &comPortNumber, const QString &appFolder = QString());

    deviceFile objDF;

    bool downloadData();
    bool uploadData();

    QString SystemNumber() const { return m_systemNumber; }
    void SystemNumber(const QString &Sno) { m_systemNumber = Sno; }

    // For tests and the log: the exact command lines the tool is started with.
    QString readCommandLine() const;
    QString writeCommandLine() const;
    QString workFilePath() const;

private:
    QString toolCommandLine(const QString &port) const;
    // Writes the image to the work file and runs the write command on it.
    bool flash(const QByteArray &image, const IdentityRewrite &rewrite);
    // Logs why and gives the failure result.
    bool fail(const QString &why);

    WindowLink &m_window;
    const qint16 &m_comPortNumber;
    QString m_appFolder;
    QString m_workFileName = QStringLiteral("nf.dat");
    QString m_flashPort;
    QString m_systemNumber;
};

} // namespace brimo
