#include "ptyline.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace brimo::sim {
namespace {

// How soon a program that opens or closes the port is noticed.
constexpr int kHolderPollMs = 10;
// A program that holds the port but stops reading loses what does not fit,
// as it would with a real UART.
constexpr qsizetype kMaxOutgoing = 16 * 1024;

QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

PtyLine::PtyLine(const QString &linkPath, QObject *parent) : QObject(parent), m_linkPath(linkPath)
{
    m_holderTimer.setInterval(kHolderPollMs);
    connect(&m_holderTimer, &QTimer::timeout, this, &PtyLine::checkHolder);
}

PtyLine::~PtyLine()
{
    unplug();
}

bool PtyLine::plug(QString *error)
{
    if (isPlugged())
        return true;
    const int master = openPseudoTerminal(error);
    if (master < 0)
        return false;
    if (!linkTo(m_slavePath, error)) {
        ::close(master);
        return false;
    }
    m_master = master;
    m_readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyLine::readMaster);
    m_writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyLine::writePending);
    m_held = false;
    setNotifiers();
    m_holderTimer.start();
    checkHolder();
    return true;
}

int PtyLine::openPseudoTerminal(QString *error)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        *error = QStringLiteral("cannot open a pseudo-terminal: ") + systemError();
        if (master >= 0)
            ::close(master);
        return -1;
    }
    m_slavePath = ptsname(master);
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio); // on the master this sets the slave's line discipline
    tcsetattr(master, TCSANOW, &tio);
    // Until the slave has been opened once the master does not report it
    // closed; open and close it so that "nobody holds it" can be seen.
    const int slave = ::open(m_slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0)
        ::close(slave);
    return master;
}

bool PtyLine::linkTo(const QByteArray &target, QString *error)
{
    // Made aside and renamed, so a program never finds a half-made link.
    const QByteArray link = QFile::encodeName(m_linkPath);
    const QByteArray temp = link + ".new";
    ::unlink(temp.constData());
    if (::symlink(target.constData(), temp.constData()) == 0 &&
        ::rename(temp.constData(), link.constData()) == 0)
        return true;
    *error = QStringLiteral("cannot link %1: %2").arg(m_linkPath, systemError());
    ::unlink(temp.constData());
    return false;
}

void PtyLine::unplug()
{
    if (!isPlugged())
        return;
    m_holderTimer.stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    removeLink();
    ::close(m_master); // the slave side hangs up
    m_master = -1;
    m_outgoing.clear();
    if (m_held) {
        m_held = false;
        emit heldChanged(false);
    }
}

void PtyLine::removeLink()
{
    // Only our own link: another device may have taken the name meanwhile.
    if (QFileInfo(m_linkPath).symLinkTarget() == QFile::decodeName(m_slavePath))
        QFile::remove(m_linkPath);
}

bool PtyLine::slaveHungUp() const
{
    pollfd fd{m_master, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLHUP);
}

void PtyLine::checkHolder()
{
    const bool held = !slaveHungUp();
    if (held == m_held)
        return;
    m_held = held;
    if (!held) {
        m_outgoing.clear();
        flushSlaveInput();
        tcflush(m_master, TCIFLUSH);
    }
    setNotifiers();
    emit heldChanged(held);
}

void PtyLine::setNotifiers()
{
    // A hung-up master is always readable (with an error): listen only while held.
    m_readNotifier->setEnabled(m_held);
    m_writeNotifier->setEnabled(m_held && !m_outgoing.isEmpty());
}

void PtyLine::readMaster()
{
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n > 0) {
        emit received(QByteArray(buffer, n));
        return;
    }
    if (n < 0 && errno == EAGAIN)
        return;
    checkHolder(); // EIO: the program has closed the port
}

void PtyLine::send(const QByteArray &bytes)
{
    if (!isPlugged() || !m_held || slaveHungUp() || m_outgoing.size() > kMaxOutgoing)
        return;
    m_outgoing += bytes;
    writePending();
}

void PtyLine::writePending()
{
    while (!m_outgoing.isEmpty()) {
        const ssize_t n =
            ::write(m_master, m_outgoing.constData(), static_cast<size_t>(m_outgoing.size()));
        if (n < 0 && errno != EAGAIN) {
            checkHolder(); // the program closed the port meanwhile
            return;
        }
        if (n <= 0)
            break;
        m_outgoing.remove(0, n);
    }
    setNotifiers();
}

void PtyLine::discard()
{
    m_outgoing.clear();
    if (!isPlugged())
        return;
    flushSlaveInput();
    setNotifiers();
}

void PtyLine::flushSlaveInput()
{
    // Flushing from the master does not reach data already queued for the
    // slave; only the slave's own input flush does.
    const int slave = ::open(m_slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0)
        return;
    tcflush(slave, TCIFLUSH);
    ::close(slave);
}

} // namespace brimo::sim
