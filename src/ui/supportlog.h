#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

namespace brimo {

// The activity log of each update, kept on disk for whoever helps the user:
// one file per update started, "update-<yyyyMMdd-HHmmss>.log" in the user's
// own data folder ("logs" in QStandardPaths::AppLocalDataLocation), UTF-8,
// lines separated by CR LF as in the log, the newest 20 kept (by modification
// time; never the file in use), folder and files private to the user. The
// file gets every line and every run of dots as the log does, also what the
// log drops when it starts afresh, and each goes to the system at once: the
// program may end at any moment without an orderly exit.
class SupportLog {
public:
    static constexpr int kFilesKept = 20;

    // Starts the file of an update begun at `start`, after the previous one's.
    // Returns one line saying why no file can be kept, or the empty text.
    QString begin(const QDateTime &start);
    // A line of the log, and text that lengthens its last line.
    void addLine(const QString &line);
    void append(const QString &text);

private:
    void write(const QString &text);

    QFile m_file;
    bool m_empty = true;
};

} // namespace brimo
