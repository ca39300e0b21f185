#include "flashclient.h"

#include "imageplan.h"

#include <QDeadlineTimer>
#include <QIODevice>

namespace brimo::sim {
namespace {

using flash::Command;

constexpr int kHelloIntervalMs = 250;
constexpr int kReplyTimeoutMs = 2000;
constexpr int kCommitTimeoutMs = 10000; // the device stores the whole flash

QString nakText(const QByteArray &payload)
{
    const int reason = payload.size() > 1 ? static_cast<quint8>(payload.at(1)) : 0;
    return QStringLiteral("the device refused the request (reason %1)").arg(reason);
}

} // namespace

bool FlashClient::fail(const QString &why)
{
    m_error = why;
    return false;
}

bool FlashClient::send(Command command, const QByteArray &payload)
{
    const QByteArray frame = flash::encodeFrame(command, payload);
    if (m_line.write(frame) != frame.size())
        return fail(QStringLiteral("cannot write to the port: ") + m_line.errorString());
    m_line.waitForBytesWritten(kReplyTimeoutMs);
    return true;
}

std::optional<flash::Frame> FlashClient::await(int timeoutMs, bool skipInfo)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // A late answer to an earlier hello is not the answer awaited now.
        while (auto frame = m_decoder.next()) {
            if (!skipInfo || frame->command != Command::Info)
                return frame;
        }
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || !m_line.waitForReadyRead(static_cast<int>(left)))
            return std::nullopt;
        m_decoder.feed(m_line.readAll());
    }
}

bool FlashClient::handshake(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!send(Command::Hello, QByteArray()))
            return false;
        const auto wait =
            static_cast<int>(qMin<qint64>(kHelloIntervalMs, deadline.remainingTime()));
        const auto reply = await(qMax(wait, 1), false);
        if (reply && reply->command == Command::Info && reply->payload.size() == 5) {
            m_flashSize = flash::readU32(reply->payload, 1);
            return true;
        }
    }
    return fail(QStringLiteral("no answer from the device"));
}

bool FlashClient::read(quint32 address, quint16 length, QByteArray *bytes)
{
    QByteArray request;
    flash::appendU32(request, address);
    flash::appendU16(request, length);
    if (!send(Command::Read, request))
        return false;
    const auto reply = await(kReplyTimeoutMs);
    if (!reply)
        return fail(QStringLiteral("the device stopped answering"));
    if (reply->command == Command::Nak)
        return fail(nakText(reply->payload));
    if (reply->command != Command::Data || reply->payload.size() != 4 + length ||
        flash::readU32(reply->payload, 0) != address)
        return fail(QStringLiteral("the device answered the read with something else"));
    *bytes = reply->payload.mid(4);
    return true;
}

bool FlashClient::expectAck(Command command, int timeoutMs)
{
    const auto reply = await(timeoutMs);
    if (!reply)
        return fail(QStringLiteral("the device stopped answering"));
    if (reply->command == Command::Nak)
        return fail(nakText(reply->payload));
    if (reply->command != Command::Ack ||
        reply->payload != QByteArray(1, static_cast<char>(command)))
        return fail(QStringLiteral("unexpected answer from the device"));
    return true;
}

bool FlashClient::write(const ImagePlan &plan)
{
    QByteArray begin;
    flash::appendU32(begin, static_cast<quint32>(plan.records));
    if (!send(Command::Begin, begin) || !expectAck(Command::Begin, kReplyTimeoutMs))
        return false;
    for (const FlashBlock &block : plan.blocks) {
        QByteArray payload;
        flash::appendU32(payload, block.address);
        payload += block.data;
        if (!send(Command::Write, payload) || !expectAck(Command::Write, kReplyTimeoutMs))
            return false;
    }
    QByteArray commit;
    flash::appendU32(commit, plan.byteCount);
    flash::appendU32(commit, plan.byteSum);
    return send(Command::Commit, commit) && expectAck(Command::Commit, kCommitTimeoutMs);
}

} // namespace brimo::sim
