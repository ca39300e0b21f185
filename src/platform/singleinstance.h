#pragma once

#include <QString>
#include <QtGlobal>

namespace brimo {

// The test for another running copy of the utility: a lock on a file in the
// temp folder. $BRIMO_INSTANCE_LOCK names another lock file, so that tests and
// scripts can run copies side by side without meeting a user's copy.
//
// The lock belongs to the open file, and the operating system lets go of it
// when the process ends in any way. The utility ends without running
// destructors (a running flash tool must not be killed), and a copy may be
// killed; either way the next copy starts, however soon the dead copy's
// process id is given to another process. No child process, the flash tool
// included, inherits the lock.
class SingleInstance {
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // False only when another copy holds the lock. A lock file that cannot be
    // opened at all (no temp folder) does not keep the utility from running.
    bool tryLock();

    static QString defaultLockPath();

private:
    QString m_path;
    qintptr m_handle = -1; // the open lock file: a descriptor, or a Windows handle
};

} // namespace brimo
