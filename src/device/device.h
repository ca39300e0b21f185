#pragma once

#include "image/devicefile.h"
#include "platform/commandrunner.h"
#include "platform/keepawake.h"
#include "platform/places.h"

#include <QString>

#include <optional>

namespace brimo {

// The flash tool's two runs.
enum class ToolRun { ReadIdentity, WriteImage };

// The command line of a run of the flash tool on COM `port`, exactly as the
// system is handed it (the tool parses it itself): the tool and the work file
// in `appFolder`, which ends in the system's separator, each in double
// quotes, then the options with single blanks.
QString toolCommandLine(const QString &appFolder, const QString &port, ToolRun run);

// One run of the flash tool, for whoever helps the user: the command line it
// was handed, and how it ended.
struct ToolReport {
    QString commandLine;
    CommandResult result;
};

// What an identity read came to: the device's system number, or none; the
// words of a failure that has any, for the log; the tool's run, if it ran.
struct IdentityRead {
    std::optional<QString> systemNumber;
    QString failure;
    std::optional<ToolReport> tool;
};

// What a write came to: true when the tool ended with exit code 0; the words
// of a failure that has any, for the log; the tool's run, if it ran.
struct ImageWrite {
    bool written = false;
    QString failure;
    std::optional<ToolReport> tool;
};

// The Brimo device as the update session reaches it: its identity read, an
// image written. Both return only when the device is done with.
class DeviceLink {
public:
    virtual ~DeviceLink() = default;
    // Reads the identity block from the device on COM `port`.
    virtual IdentityRead downloadData(qint16 port) = 0;
    // Writes the image, every copy of its identity record replaced by
    // `identityRecord`, to the device on COM `port` (the port's text as the
    // command line takes it).
    virtual ImageWrite uploadData(const deviceFile &objDF, const QByteArray &identityRecord,
                                  const QString &port) = 0;

protected:
    DeviceLink() = default;
    DeviceLink(const DeviceLink &) = default;
    DeviceLink &operator=(const DeviceLink &) = default;
};

// The link through the flash tool "sirfflashcl.exe" in the program's folder,
// the PC kept awake through each of its runs. It keeps nothing between runs.
class device : public DeviceLink {
public:
    // window: the native handle of the window for which the system shows why
    // a shutdown waits; 0 where there is none. heldLock: the single-copy
    // lock, handed on to the tool (SingleInstance::handle()).
    explicit device(const Places &places, quintptr window = 0, qintptr heldLock = -1);

    IdentityRead downloadData(qint16 port) override;
    ImageWrite uploadData(const deviceFile &objDF, const QByteArray &identityRecord,
                          const QString &port) override;

private:
    QString workFilePath() const;
    // One run of the flash tool on the port, the PC kept awake meanwhile.
    ToolReport runTool(const QString &port, ToolRun run, KeepAwake::Shutdown shutdown);

    QString m_appFolder;
    Wine m_wine;
    quintptr m_window;
    qintptr m_heldLock;
};

// True when a file can be made and removed again in the application folder,
// where the work file goes: without that no read or flash can succeed.
bool canWriteWorkFile(const QString &appFolder);

} // namespace brimo
