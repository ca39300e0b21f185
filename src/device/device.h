#pragma once

#include "device/identityrecord.h"
#include "image/devicefile.h"
#include "platform/commandrunner.h"
#include "platform/keepawake.h"

#include <QString>

namespace brimo {

class WindowLink;

// The flash tool's two runs.
enum class ToolRun { ReadIdentity, WriteImage };

// The command line of a run of the flash tool on COM `port`, exactly as the
// system is handed it (the tool parses it itself): the tool and the work file
// in `appFolder`, which ends in the system's separator, each in double
// quotes, then the options with single blanks.
QString toolCommandLine(const QString &appFolder, const QString &port, ToolRun run);

// The link to the Brimo device through the flash tool "sirfflashcl.exe":
// reading the identity block and flashing an update image.
class device {
public:
    // appFolder: where the flash tool is and the work file goes, the folder
    // of the program's executable.
    device(WindowLink &window, const QString &appFolder);

    deviceFile objDF;

    // Reads the identity block from the device on COM comPortNumber.
    bool downloadData(qint16 comPortNumber);
    // Flashes objDF's image to the port stored in "COMPort" when the link was
    // made; without one, to COM comPortNumber, where the device was found.
    bool uploadData(qint16 comPortNumber);

    QString SystemNumber() const { return m_systemNumber; }
    void SystemNumber(const QString &Sno) { m_systemNumber = Sno; }

private:
    QString workFilePath() const;
    // One run of the flash tool on the port, the PC kept awake meanwhile.
    CommandResult runTool(const QString &port, ToolRun run, KeepAwake::Shutdown shutdown);
    // Writes the image to the work file and runs the write command on it.
    bool flash(const QByteArray &image, const IdentityRewrite &rewrite, const QString &port);
    // Logs why and gives the failure result.
    bool fail(const QString &why);

    WindowLink &m_window;
    QString m_appFolder;
    QString m_flashPort;
    QString m_systemNumber;
};

// True when a file can be made and removed again in the application folder,
// where the work file goes: without that no read or flash can succeed.
bool canWriteWorkFile(const QString &appFolder);

} // namespace brimo
