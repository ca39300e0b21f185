#pragma once

#include <QString>
#include <QTemporaryDir>
#include <cstdint>

// An application folder whose "sirfflashcl.exe" is the stamp tool: a flash
// run there ends at once and leaves the instant it started and the size of
// the work file it found.
class StampedFolder {
public:
    struct Stamp {
        std::int64_t startedNs = -1; // -1: the tool did not run
        qint64 workFileSize = -1;
    };

    // `stampTool` is the built brimo-bench-flashstamp; `under` the folder to
    // make the temporary folder in, so the work file lands on that disk.
    StampedFolder(const QString &stampTool, const QString &under);

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    // The stamp of the last run, removed so the next run leaves a fresh one.
    Stamp takeStamp();

private:
    QTemporaryDir m_dir;
    QString m_stampPath;
    bool m_valid = false;
};
