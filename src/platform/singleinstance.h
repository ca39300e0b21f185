#pragma once

#include <QString>
#include <QtGlobal>

namespace brimo {

// The test for another running copy of the utility: a lock per user that the
// system lets go of when its last holder ends in any way. A flash tool the
// utility started holds it too, for as long as it runs, so a copy started
// while an abandoned tool still writes to the device (the first copy was
// closed during the flash) ends at once rather than take the same port.
//
// On Linux and macOS a lock on a file: $XDG_RUNTIME_DIR/brimo-update.lock, or
// where that is not set brimo-update.lock beside the settings file (see
// FileRegistry::defaultFilePath). On Windows a named object in the session's
// own namespace. $BRIMO_INSTANCE_LOCK names another lock file (on Windows,
// another object), so that tests and scripts can run copies side by side
// without meeting a user's copy.
class SingleInstance {
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // False only when another copy, or a flash tool one started, holds the
    // lock. A lock that cannot be made at all (no such folder) does not keep
    // the utility from running.
    bool tryLock();

    static QString defaultLockPath();

private:
    QString m_path;
    qintptr m_handle = -1; // the lock held: a descriptor, or a Windows handle
};

} // namespace brimo
