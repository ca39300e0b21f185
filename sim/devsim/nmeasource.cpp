#include "nmeasource.h"

#include <QtMath>

namespace brimo::sim {
namespace {

constexpr int kSentencesPerFix = 7;
constexpr int kIntervalMs = 1000 / kSentencesPerFix;

// A slow drift around a fixed point, so successive fixes differ a little.
struct Position {
    QByteArray latitude;  // ddmm.mmmm
    QByteArray longitude; // dddmm.mmmm
};

Position positionAt(const QDateTime &utc)
{
    const double phase = static_cast<double>(utc.toSecsSinceEpoch() % 600) / 600.0 * 2 * M_PI;
    const double latMinutes = 7.0380 + 0.0150 * qSin(phase);
    const double lonMinutes = 31.0000 + 0.0150 * qCos(phase);
    return {"48" + QByteArray::number(latMinutes, 'f', 4).rightJustified(7, '0'),
            "011" + QByteArray::number(lonMinutes, 'f', 4).rightJustified(7, '0')};
}

} // namespace

NmeaSource::NmeaSource(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &NmeaSource::sendNext);
}

void NmeaSource::start()
{
    m_fix.clear();
    m_next = 0;
    m_timer.start();
    sendNext();
}

void NmeaSource::stop()
{
    m_timer.stop();
}

void NmeaSource::sendNext()
{
    if (m_next >= m_fix.size()) {
        m_fix = fixSentences(QDateTime::currentDateTimeUtc());
        m_next = 0;
    }
    emit sentenceReady(m_fix.at(m_next++));
}

QByteArray NmeaSource::sentence(const QByteArray &body)
{
    quint8 sum = 0;
    for (char c : body)
        sum ^= static_cast<quint8>(c);
    return '$' + body + '*' + QByteArray::number(sum, 16).rightJustified(2, '0').toUpper() + "\r\n";
}

QList<QByteArray> NmeaSource::fixSentences(const QDateTime &utc)
{
    const QByteArray time = utc.toString(QStringLiteral("hhmmss.00")).toLatin1();
    const QByteArray date = utc.toString(QStringLiteral("ddMMyy")).toLatin1();
    const Position pos = positionAt(utc);
    const QByteArray where = pos.latitude + ",N," + pos.longitude + ",E";
    return {
        sentence("GPGGA," + time + ',' + where + ",1,08,0.9,545.4,M,46.9,M,,"),
        sentence("GPGSA,A,3,04,05,09,12,17,24,25,29,,,,,1.8,0.9,1.5"),
        sentence("GPGSV,3,1,11,04,41,253,43,05,19,301,38,09,64,112,45,12,37,058,41"),
        sentence("GPGSV,3,2,11,17,22,145,36,24,55,208,44,25,12,318,31,29,70,034,47"),
        sentence("GPGSV,3,3,11,02,05,040,,10,08,170,,20,03,275,"),
        sentence("GPRMC," + time + ",A," + where + ",000.4,084.4," + date + ",003.1,W"),
        sentence("GPVTG,084.4,T,087.5,M,000.4,N,000.7,K"),
    };
}

} // namespace brimo::sim
