#include "simdevice.h"

namespace brimo::sim {
namespace {

QString printable(const QByteArray &bytes)
{
    QString text;
    for (char c : bytes)
        text += (c >= 0x21 && c < 0x7F) ? QChar::fromLatin1(c) : QChar(u'?');
    return text;
}

} // namespace

SimDevice::SimDevice(const QString &linkPath, QObject *parent) : QObject(parent), m_line(linkPath)
{
    connect(&m_nmea, &NmeaSource::sentenceReady, &m_line, &PtyLine::send);
    connect(&m_line, &PtyLine::received, this, &SimDevice::receive);
    connect(&m_line, &PtyLine::heldChanged, this, [this] {
        applyState();
        emit changed();
    });
    m_responder.onFlashed = [this](int records) { flashed(records); };
}

bool SimDevice::start(const QString &flashPath, const QByteArray &systemNumber,
                      const QByteArray &tail, QString *error)
{
    if (!m_memory.open(flashPath, systemNumber, tail, error))
        return false;
    if (!m_line.plug(error))
        return false;
    applyState();
    return true;
}

QString SimDevice::modeName(Mode mode)
{
    switch (mode) {
    case Mode::Normal:
        return QStringLiteral("normal");
    case Mode::Download:
        return QStringLiteral("dl");
    case Mode::Camera:
        break;
    }
    return QStringLiteral("camera");
}

QString SimDevice::execute(const QString &command)
{
    const QStringList words = command.simplified().split(u' ', Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    const QString argument = words.value(1);
    if (words.size() == 2 && verb == u"mode")
        return setMode(argument);
    if (words.size() == 2 && verb == u"power")
        return setPower(argument);
    if (words.size() == 1 && verb == u"status") {
        QStringList pairs;
        for (const auto &[key, value] : status())
            pairs << key + u'=' + value;
        return pairs.join(u' ');
    }
    if (words.size() == 1 && verb == u"unplug") {
        m_line.unplug();
        applyState();
        emit changed();
        return QStringLiteral("ok");
    }
    if (words.size() == 1 && verb == u"plug")
        return plug();
    if (words.size() == 1 && verb == u"quit") {
        emit quitRequested();
        return QStringLiteral("ok");
    }
    return QStringLiteral("error unknown command: ") + command.simplified();
}

QString SimDevice::setMode(const QString &name)
{
    Mode mode = Mode::Normal;
    if (name == u"dl")
        mode = Mode::Download;
    else if (name == u"camera")
        mode = Mode::Camera;
    else if (name != u"normal")
        return QStringLiteral("error mode must be normal, dl or camera");
    return switchTo(mode, m_powered);
}

QString SimDevice::setPower(const QString &state)
{
    if (state != u"on" && state != u"off")
        return QStringLiteral("error power must be on or off");
    return switchTo(m_mode, state == u"on");
}

QString SimDevice::switchTo(Mode mode, bool powered)
{
    if (mode == m_mode && powered == m_powered)
        return QStringLiteral("ok");
    m_mode = mode;
    m_powered = powered;
    // What was sent in the old state must not reach the next reader.
    m_line.discard();
    applyState();
    emit changed();
    return QStringLiteral("ok");
}

QString SimDevice::plug()
{
    QString error;
    if (!m_line.plug(&error))
        return QStringLiteral("error ") + error;
    applyState();
    emit changed();
    return QStringLiteral("ok");
}

void SimDevice::applyState()
{
    const bool streaming = m_powered && m_mode == Mode::Normal && m_line.isHeld();
    if (streaming && !m_nmea.isRunning())
        m_nmea.start();
    else if (!streaming)
        m_nmea.stop();
    if (!(m_powered && m_mode == Mode::Download && m_line.isHeld()))
        m_responder.reset();
}

void SimDevice::receive(const QByteArray &bytes)
{
    if (!m_powered || m_mode != Mode::Download)
        return; // the receiver ignores the line in these states
    const QByteArray reply = m_responder.receive(bytes);
    if (!reply.isEmpty())
        m_line.send(reply);
}

void SimDevice::flashed(int records)
{
    ++m_writes;
    m_lastRecords = records;
    emit changed();
}

QList<QPair<QString, QString>> SimDevice::status() const
{
    return {
        {QStringLiteral("mode"), modeName(m_mode)},
        {QStringLiteral("power"), m_powered ? QStringLiteral("on") : QStringLiteral("off")},
        {QStringLiteral("system"), printable(m_memory.systemNumber())},
        {QStringLiteral("tail"), QString::fromLatin1(m_memory.tail().toHex().toUpper())},
        {QStringLiteral("writes"), QString::number(m_writes)},
        {QStringLiteral("records"), QString::number(m_lastRecords)},
        {QStringLiteral("plugged"),
         m_line.isPlugged() ? QStringLiteral("yes") : QStringLiteral("no")},
        {QStringLiteral("open"), m_line.isHeld() ? QStringLiteral("yes") : QStringLiteral("no")},
    };
}

} // namespace brimo::sim
