#pragma once

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

// The newest update's log file in the user's data folder, as text.
inline QString newestLogFile()
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/logs";
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    QFile file(folder + u'/' + names.value(names.size() - 1));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "no log file";
}

// The lines of a log file that the window's log (lines joined by "\n") does
// not have: what only whoever helps the user reads. The first is cut after
// the system's name, which differs from PC to PC.
inline QStringList notesIn(const QString &file, const QString &window)
{
    QStringList notes, shown = window.split(u'\n');
    for (const QString &line : file.split("\r\n")) {
        if (!shown.isEmpty() && line == shown.first())
            shown.removeFirst();
        else
            notes << (notes.isEmpty() ? line.section(", ", 0, 0) : line);
    }
    return shown.isEmpty() ? notes : QStringList{"the window's lines not all in the file"};
}
