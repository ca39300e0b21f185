#pragma once

#include "device/identityrecord.h"
#include "image/devicefile.h"
#include "platform/commandrunner.h"
#include "platform/keepawake.h"

#include <QString>

#include <optional>

namespace brimo {

class Reporter;

// The flash tool's two runs.
enum class ToolRun { ReadIdentity, WriteImage };

// The command line of a run of the flash tool on COM `port`, exactly as the
// system is handed it (the tool parses it itself): the tool and the work file
// in `appFolder`, which ends in the system's separator, each in double
// quotes, then the options with single blanks.
QString toolCommandLine(const QString &appFolder, const QString &port, ToolRun run);

// The link to the Brimo device through the flash tool "sirfflashcl.exe":
// reading the identity block and flashing an update image. It keeps nothing
// between its runs but where the tool is.
class device {
public:
    // appFolder: where the flash tool is and the work file goes, the folder
    // of the program's executable.
    device(Reporter &report, const QString &appFolder);

    // Reads the identity block from the device on COM port: its system
    // number, or nothing when the read failed (the failure's words logged
    // where it has any).
    std::optional<QString> downloadData(qint16 port);
    // Flashes the image, with the device's own identity in it, to COM port
    // (the port's text as the command line takes it). True when the tool
    // reported success.
    bool uploadData(const deviceFile &objDF, const QString &systemNumber, const QString &port);

private:
    QString workFilePath() const;
    // One run of the flash tool on the port, the PC kept awake meanwhile.
    CommandResult runTool(const QString &port, ToolRun run, KeepAwake::Shutdown shutdown);
    // Makes the image with the device's identity record the work file and
    // runs the write command on it.
    bool flash(const deviceFile &objDF, const QByteArray &record, const QString &port);
    // Log why and give the failure result.
    bool fail(const QString &why);
    std::nullopt_t readFailed(const QString &why);

    Reporter &m_report;
    QString m_appFolder;
};

// True when a file can be made and removed again in the application folder,
// where the work file goes: without that no read or flash can succeed.
bool canWriteWorkFile(const QString &appFolder);

} // namespace brimo
