#include "platform/serialcontrol.h"

#include "platform/comport.h"

#include <QSerialPort>

namespace brimo {

namespace {

QSerialPort::Parity parityFromLetter(const QString &letter)
{
    const QString upper = letter.trimmed().toUpper();
    if (upper == QLatin1String("E"))
        return QSerialPort::EvenParity;
    if (upper == QLatin1String("O"))
        return QSerialPort::OddParity;
    if (upper == QLatin1String("M"))
        return QSerialPort::MarkParity;
    if (upper == QLatin1String("S"))
        return QSerialPort::SpaceParity;
    return QSerialPort::NoParity;
}

QSerialPort::StopBits stopBitsFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("2"))
        return QSerialPort::TwoStop;
    if (trimmed == QLatin1String("1.5"))
        return QSerialPort::OneAndHalfStop;
    return QSerialPort::OneStop;
}

QSerialPort::DataBits dataBitsFromText(const QString &text)
{
    switch (text.trimmed().toInt()) {
    case 5:
        return QSerialPort::Data5;
    case 6:
        return QSerialPort::Data6;
    case 7:
        return QSerialPort::Data7;
    default:
        return QSerialPort::Data8;
    }
}

} // namespace

SerialControl::SerialControl(const QString &comFolder, QObject *parent)
    : QObject(parent), m_serial(new QSerialPort(this)), m_comFolder(comFolder)
{
    // A line that goes away while open (an adapter pulled out, a hung-up
    // terminal) reports a resource or read error on every later look; left
    // open, it would keep the event loop busy. Close it once the failing read
    // has unwound: reads then give nothing.
    connect(m_serial, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) {
                if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
                    QMetaObject::invokeMethod(this, &SerialControl::closeLostPort,
                                              Qt::QueuedConnection);
            });
}

SerialControl::~SerialControl() = default;

void SerialControl::setSettings(const QString &settings)
{
    m_settings = settings;
    applySettings();
}

void SerialControl::setCommPort(qint16 port)
{
    m_commPort = port;
}

bool SerialControl::portOpen() const
{
    return m_serial->isOpen();
}

void SerialControl::setPortOpen(bool open)
{
    if (!open) {
        if (m_serial->isOpen())
            m_serial->close();
        return;
    }
    if (m_serial->isOpen())
        return;
    m_serial->setPortName(comPortSystemName(m_commPort, m_comFolder));
    applySettings();
    m_serial->open(QIODevice::ReadWrite);
}

QByteArray SerialControl::input()
{
    if (!m_serial->isOpen())
        return {};
    return m_serial->readAll();
}

void SerialControl::closeLostPort()
{
    if (m_serial->isOpen())
        m_serial->close();
}

void SerialControl::applySettings()
{
    const QStringList parts = m_settings.split(QLatin1Char(','));
    bool numeric = false;
    const qint32 speed = parts.value(0).trimmed().toInt(&numeric);
    if (numeric && speed > 0)
        m_serial->setBaudRate(speed);
    m_serial->setParity(parityFromLetter(parts.value(1)));
    m_serial->setDataBits(dataBitsFromText(parts.value(2)));
    m_serial->setStopBits(stopBitsFromText(parts.value(3)));
    m_serial->setFlowControl(QSerialPort::NoFlowControl);
}

} // namespace brimo
