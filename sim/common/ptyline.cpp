#include "common/ptyline.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace brimo::sim {
namespace {

// How soon a program that opens or closes the port is noticed.
constexpr int kHolderPollMs = 10;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Flushing from the master does not reach data queued for the slave; only
// the slave's own input flush does.
void flushSlaveInput(const QByteArray &slavePath)
{
    const int slave = ::open(slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        tcflush(slave, TCIFLUSH);
        ::close(slave);
    }
}

} // namespace

PtyLine::PtyLine(QString linkPath, QObject *parent)
    : QObject(parent), m_linkPath(std::move(linkPath))
{
    m_holderPoll.setInterval(kHolderPollMs);
    connect(&m_holderPoll, &QTimer::timeout, this, &PtyLine::checkHolder);
}

PtyLine::~PtyLine()
{
    close();
}

bool PtyLine::open(QString *error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error = QStringLiteral("cannot open a pseudo-terminal: ") + systemError();
        return false;
    }
    m_slavePath = ptsname(m_master);
    termios tio{};
    tcgetattr(m_master, &tio);
    cfmakeraw(&tio); // on the master this sets the slave's line discipline
    tcsetattr(m_master, TCSANOW, &tio);
    // Until the slave has been opened once the master does not report it
    // closed; open and close it so that "nobody holds it" can be seen.
    flushSlaveInput(m_slavePath);

    // Made aside and renamed, so a program never finds a half-made link.
    const QByteArray link = QFile::encodeName(m_linkPath);
    const QByteArray aside = link + ".new";
    ::unlink(aside.constData());
    if (::symlink(m_slavePath.constData(), aside.constData()) != 0 ||
        ::rename(aside.constData(), link.constData()) != 0) {
        *error = QStringLiteral("cannot link %1: %2").arg(m_linkPath, systemError());
        return false;
    }
    m_reader = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    m_reader->setEnabled(false);
    connect(m_reader, &QSocketNotifier::activated, this, &PtyLine::readMaster);
    m_holderPoll.start();
    return true;
}

void PtyLine::close()
{
    if (m_master < 0)
        return;
    m_holderPoll.stop();
    delete m_reader;
    m_reader = nullptr;
    // Only our own link: another device may have taken the name meanwhile.
    if (QFileInfo(m_linkPath).symLinkTarget() == QFile::decodeName(m_slavePath))
        QFile::remove(m_linkPath);
    ::close(m_master);
    m_master = -1;
}

void PtyLine::checkHolder()
{
    pollfd fd{m_master, POLLIN, 0};
    const bool held = !(::poll(&fd, 1, 0) > 0 && (fd.revents & POLLHUP));
    if (held == m_held)
        return;
    m_held = held;
    if (!held)
        discard();
    // A hung-up master is always readable (with an error): listen only while held.
    m_reader->setEnabled(held);
    emit heldChanged(held);
}

void PtyLine::readMaster()
{
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n > 0)
        emit received(QByteArray(buffer, n));
    else if (n == 0 || errno != EAGAIN)
        checkHolder(); // EIO: the program has closed the port
}

void PtyLine::send(const QByteArray &bytes)
{
    if (!m_held)
        return;
    [[maybe_unused]] const ssize_t n =
        ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
}

termios PtyLine::settings() const
{
    termios line{};
    tcgetattr(m_master, &line);
    return line;
}

void PtyLine::discard()
{
    if (m_master < 0)
        return;
    tcflush(m_master, TCIFLUSH);
    flushSlaveInput(m_slavePath);
}

} // namespace brimo::sim
