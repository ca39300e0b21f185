// The flash protocol as the device speaks it: framing, recovery from noise,
// and the rules of a write session.
#include "common/flashframe.h"
#include "flashmemory.h"
#include "flashresponder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace brimo::sim;
using namespace brimo::sim::flash;

namespace {

QByteArray payloadOf(Command command, quint32 address, const QByteArray &data)
{
    QByteArray payload;
    appendU32(payload, address);
    if (command == Command::Read)
        appendU16(payload, static_cast<quint16>(data.size()));
    else
        payload += data;
    return payload;
}

QByteArray u32Payload(quint32 a, quint32 b)
{
    QByteArray payload;
    appendU32(payload, a);
    appendU32(payload, b);
    return payload;
}

std::optional<Frame> decodeOne(const QByteArray &bytes)
{
    FrameDecoder decoder;
    decoder.feed(bytes);
    return decoder.next();
}

} // namespace

class FlashProtocolTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath(QStringLiteral("flash")));
        QString error;
        QVERIFY2(m_memory.open(m_dir.filePath(QStringLiteral("flash")), "AB12CD34",
                               QByteArray::fromHex("0011223344556677"), &error),
                 qPrintable(error));
    }

    void decoderFindsFramesAmongNoise_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("chunk"); // bytes fed at a time, 0 for all at once
        const QByteArray frame = encodeFrame(Command::Write, QByteArray(300, 'x'));
        QByteArray damaged = frame;
        damaged[10] = 'y';
        QTest::newRow("clean") << QByteArray() << QByteArray() << 0;
        QTest::newRow("byte by byte") << QByteArray() << QByteArray() << 1;
        QTest::newRow("NMEA before")
            << QByteArrayLiteral("$GPGGA,1,2*00\r\n$GP") << QByteArray() << 7;
        QTest::newRow("stray start bytes")
            << QByteArrayLiteral("\xA5\xA5\x00") << QByteArray() << 0;
        QTest::newRow("length too large")
            << QByteArrayLiteral("\xA5\xFF\xFF\x01") << QByteArray() << 0;
        QTest::newRow("damaged frame first") << damaged << QByteArrayLiteral("tail") << 0;
        QTest::newRow("start byte announcing a long frame")
            << QByteArrayLiteral("\xA5\x10\x00\x01") << QByteArray() << 5;
    }

    void decoderFindsFramesAmongNoise()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(int, chunk);
        const QByteArray payload = QByteArray(300, 'x');
        const QByteArray stream = before + encodeFrame(Command::Write, payload) + after;
        FrameDecoder decoder;
        QList<Frame> frames;
        const qsizetype step = chunk > 0 ? chunk : stream.size();
        for (qsizetype at = 0; at < stream.size(); at += step) {
            decoder.feed(stream.mid(at, step));
            while (auto frame = decoder.next())
                frames << *frame;
        }
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.first().command, Command::Write);
        QCOMPARE(frames.first().payload, payload);
    }

    void decoderRejectsEveryDamagedByte()
    {
        const QByteArray frame = encodeFrame(Command::Read, payloadOf(Command::Read, 0x80000, {}));
        for (qsizetype i = 1; i < frame.size(); ++i) {
            QByteArray damaged = frame;
            damaged[i] = static_cast<char>(damaged.at(i) ^ 0x04);
            const auto decoded = decodeOne(damaged);
            QVERIFY2(!decoded, qPrintable(QStringLiteral("byte %1").arg(i)));
        }
    }

    void responderAnswers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray identity =
            FlashMemory::erasedImage("AB12CD34", QByteArray::fromHex("0011223344556677"))
                .mid(0x80000, 32);
        QByteArray info(1, '\x01');
        appendU32(info, 0x100000);
        QTest::newRow("hello") << encodeFrame(Command::Hello) << encodeFrame(Command::Info, info);
        QTest::newRow("identity read")
            << encodeFrame(Command::Read, payloadOf(Command::Read, 0x80000, QByteArray(32, 0)))
            << encodeFrame(Command::Data, payloadOf(Command::Data, 0x80000, identity));
        QTest::newRow("read past the end")
            << encodeFrame(Command::Read, payloadOf(Command::Read, 0xFFFF0, QByteArray(32, 0)))
            << encodeFrame(Command::Nak, QByteArrayLiteral("\x02\x03"));
        QTest::newRow("short read request")
            << encodeFrame(Command::Read, QByteArray(3, 0))
            << encodeFrame(Command::Nak, QByteArrayLiteral("\x02\x02"));
        QTest::newRow("write without session")
            << encodeFrame(Command::Write, payloadOf(Command::Write, 0, "abc"))
            << encodeFrame(Command::Nak, QByteArrayLiteral("\x04\x04"));
        QTest::newRow("unknown command")
            << encodeFrame(Command(0x7E))
            << encodeFrame(Command::Nak, QByteArrayLiteral("\x7E\x01"));
    }

    void responderAnswers()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        FlashResponder responder(m_memory);
        QCOMPARE(responder.receive(request).toHex(), reply.toHex());
    }

    void committedSessionIsStoredAndCounted()
    {
        FlashResponder responder(m_memory);
        int flashedRecords = -1;
        responder.onFlashed = [&](int records) { flashedRecords = records; };
        QByteArray begin;
        appendU32(begin, 2);
        QCOMPARE(responder.receive(encodeFrame(Command::Begin, begin)),
                 encodeFrame(Command::Ack, QByteArrayLiteral("\x03")));
        responder.receive(
            encodeFrame(Command::Write, payloadOf(Command::Write, 0x80010, "ZZ99YY88")));
        QCOMPARE(m_memory.systemNumber(), QByteArrayLiteral("AB12CD34")); // not before the commit
        QCOMPARE(flashedRecords, -1);
        const quint32 sum = 2 * 'Z' + 2 * '9' + 2 * 'Y' + 2 * '8';
        QCOMPARE(responder.receive(encodeFrame(Command::Commit, u32Payload(8, sum))),
                 encodeFrame(Command::Ack, QByteArrayLiteral("\x05")));
        QCOMPARE(flashedRecords, 2);
        QCOMPARE(m_memory.systemNumber(), QByteArrayLiteral("ZZ99YY88"));

        FlashMemory reopened; // what a restarted device finds
        QString error;
        QVERIFY(reopened.open(m_memory.path(), "XXXXXXXX", "", &error));
        QCOMPARE(reopened.systemNumber(), QByteArrayLiteral("ZZ99YY88"));
        QCOMPARE(reopened.tail(), QByteArray::fromHex("0011223344556677"));
    }

    void commitWithWrongSumChangesNothing()
    {
        FlashResponder responder(m_memory);
        bool flashed = false;
        responder.onFlashed = [&](int) { flashed = true; };
        responder.receive(encodeFrame(Command::Begin, QByteArray(4, 0)));
        responder.receive(encodeFrame(Command::Write, payloadOf(Command::Write, 0x80010, "ZZ")));
        QCOMPARE(responder.receive(encodeFrame(Command::Commit, u32Payload(2, 1))),
                 encodeFrame(Command::Nak, QByteArrayLiteral("\x05\x05")));
        QVERIFY(!flashed);
        QCOMPARE(m_memory.systemNumber(), QByteArrayLiteral("AB12CD34"));
    }

    void sessionCutShortLeavesTheFlashAlone()
    {
        FlashResponder responder(m_memory);
        responder.receive(encodeFrame(Command::Begin, QByteArray(4, 0)));
        responder.receive(encodeFrame(Command::Write, payloadOf(Command::Write, 0x80010, "ZZ")));
        responder.reset(); // the port was closed or the mode switched
        QCOMPARE(responder.receive(encodeFrame(Command::Commit, u32Payload(2, 2 * 'Z'))),
                 encodeFrame(Command::Nak, QByteArrayLiteral("\x05\x04")));
        QCOMPARE(m_memory.systemNumber(), QByteArrayLiteral("AB12CD34"));
    }

private:
    QTemporaryDir m_dir;
    FlashMemory m_memory;
};

QTEST_GUILESS_MAIN(FlashProtocolTest)
#include "tst_flashprotocol.moc"
