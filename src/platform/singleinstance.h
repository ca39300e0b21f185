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
// On Linux and macOS a lock on a file (Places::lockPath); on Windows a named
// object in the session's own namespace, named after that path.
class SingleInstance {
public:
    explicit SingleInstance(const QString &lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // False only when another copy, or a flash tool one started, holds the
    // lock. A lock that cannot be made at all (no such folder) does not keep
    // the utility from running.
    bool tryLock();

private:
    QString m_path;
    qintptr m_handle = -1; // the lock held: a descriptor, or a Windows handle
};

} // namespace brimo
