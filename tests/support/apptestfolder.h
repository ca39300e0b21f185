#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// A throw-away application folder for the device link: a link to the stand-in
// flash tool (which takes the folder it was started from as its own, so it
// reads its faults and writes its log here), the work file's place, and what
// the tool is told to do wrong and what it says it did.
class AppTestFolder {
public:
    enum Tool { WithTool, WithoutTool };

    explicit AppTestFolder(Tool tool = WithTool)
    {
        if (tool == WithTool)
            QFile::link(QStringLiteral(BRIMO_APP_DIR "/sirfflashcl.exe"), toolPath());
    }

    bool isValid() const
    {
        return m_dir.isValid() && QFile::exists(QStringLiteral(BRIMO_APP_DIR "/sirfflashcl.exe"));
    }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString toolPath() const { return filePath(QStringLiteral("sirfflashcl.exe")); }
    QString workFilePath() const { return filePath(QStringLiteral("nf.dat")); }

    // One fault per run, in order: "ok", "exit N", "crash", "nofile",
    // "emptyfile", "delay MS".
    void setFaults(const QStringList &faults) const
    {
        QFile file(filePath(QStringLiteral("sirfflashcl.faults")));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(faults.join(QLatin1Char('\n')).toUtf8() + '\n');
    }

    // One line per run of the tool: its arguments in [ ], then " -> exit N".
    QStringList logLines() const
    {
        QFile file(filePath(QStringLiteral("sirfflashcl.log")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    // A blank in the path, as in most Windows program folders, so that every
    // command line the utility builds must quote it.
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/brimo app-XXXXXX")};
};
