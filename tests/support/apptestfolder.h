#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// An application folder for the device link: a link to the stand-in flash tool
// (which takes the folder it was started from as its own, so it reads its
// faults and writes its log here) and the work file's place. A throw-away one
// has a blank in its path, as Windows program folders have, which every command
// line must quote; this test program's folder is where the window looks.
class AppTestFolder {
public:
    enum Tool { WithTool, WithoutTool };
    enum Place { ThrowAway, ThisProgram };

    explicit AppTestFolder(Tool tool = WithTool, Place place = ThrowAway)
    {
        if (place == ThrowAway)
            m_own = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/brimo app-XXXXXX");
        m_path = m_own ? m_own->path() : QCoreApplication::applicationDirPath();
        for (const char *name : {"sirfflashcl.faults", "sirfflashcl.log", "nf.dat"})
            QFile::remove(filePath(QLatin1String(name)));
        if (tool == WithTool && !QFile::exists(toolPath()))
            QFile::link(QStringLiteral(BRIMO_APP_DIR "/sirfflashcl.exe"), toolPath());
    }

    QString path() const { return m_path; }
    QString filePath(const QString &name) const { return QDir(m_path).filePath(name); }
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
    std::unique_ptr<QTemporaryDir> m_own;
    QString m_path;
};
