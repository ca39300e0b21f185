#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

// A serial line the test drives itself: a pseudo-terminal whose slave side is
// linked as DIR/comN, so the utility opens it as COM N. The test writes what
// the device would send on the master side and can hang the line up.
class PtyLine {
public:
    PtyLine(const QString &comDir, int port)
        : m_link(comDir + QStringLiteral("/com") + QString::number(port))
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        termios raw{};
        if (tcgetattr(m_master, &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(m_master, TCSANOW, &raw);
        }
        QFile::link(slavePath(), m_link);
    }
    ~PtyLine()
    {
        hangUp();
        QFile::remove(m_link);
    }
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    bool isValid() const { return m_master >= 0 && QFileInfo(m_link).isSymLink(); }
    QString slavePath() const { return QString::fromLocal8Bit(ptsname(m_master)); }

    // The line's settings as whoever holds its other end set them.
    termios settings() const
    {
        termios line{};
        tcgetattr(m_master, &line);
        return line;
    }

    bool send(const QByteArray &bytes) const
    {
        return m_master >= 0 && ::write(m_master, bytes.constData(),
                                        static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // As a pulled adapter: whoever holds the line open sees it go away.
    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    QString m_link;
    int m_master = -1;
};
