#pragma once

// One scripted double of each of the update session's links. Each answers
// from a queue of replies (a default when the queue runs dry) and notes each
// call in one shared trace, in the order the session makes them, with the
// progress bar and the dots as the user sees them at that moment.

#include "common/srec.h"
#include "device/detect.h"
#include "device/device.h"
#include "session/pauses.h"
#include "settings/settingsstore.h"
#include "webservice/webservice.h"

#include <QMap>
#include <QQueue>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// Every call and every line the user reads, in order. `look` says what the
// window shows as a call is made; `onCall` is the user's, or the world's,
// doing while a call runs (a close request, a port stored behind the
// program's back), handed the call as noted.
struct Trace {
    QStringList lines;
    std::function<QString()> look;
    std::function<void(const QString &call)> onCall;

    void call(const QString &what)
    {
        lines << "> " + what + (look ? ' ' + look() : QString());
        if (onCall)
            onCall(what);
    }
};

template <typename Reply> Reply next(QQueue<Reply> &replies, const Reply &otherwise)
{
    return replies.isEmpty() ? otherwise : replies.dequeue();
}

// Each double notes its calls in the one trace.
class Noting {
public:
    explicit Noting(Trace &trace) : m_trace(trace) {}

protected:
    Trace &m_trace;
};

// A read that gives the system number; a write that fails, with its words.
// The tool's run is the double's.
inline brimo::IdentityRead readsNumber(const QString &systemNumber)
{
    brimo::IdentityRead read;
    read.systemNumber = systemNumber;
    return read;
}
inline brimo::ImageWrite writeFails(const QString &failure = {})
{
    brimo::ImageWrite write;
    write.failure = failure;
    return write;
}

// Reads: a system number, or none (the tool found no device); writes: done
// unless queued otherwise. Each call stands for a run of the flash tool that
// ends with 0 when it succeeds, else with 3.
class FakeDevice : public brimo::DeviceLink, Noting {
public:
    using Noting::Noting;
    QQueue<brimo::IdentityRead> reads;
    QQueue<brimo::ImageWrite> writes;

    brimo::IdentityRead downloadData(qint16 port) override
    {
        const QString call = QStringLiteral("read COM%1").arg(port);
        m_trace.call(call);
        brimo::IdentityRead read = next(reads, {});
        read.tool = read.tool.value_or(ran(call, read.systemNumber.has_value()));
        return read;
    }
    brimo::ImageWrite uploadData(const brimo::deviceFile &objDF, const QByteArray &identityRecord,
                                 const QString &port) override
    {
        m_trace.call(QStringLiteral("write %1 bytes COM%2 %3")
                         .arg(objDF.size())
                         .arg(port, QString::fromLatin1(identityRecord)));
        brimo::ImageWrite written;
        written.written = true;
        brimo::ImageWrite write = next(writes, written);
        write.tool = write.tool.value_or(ran("write COM" + port, write.written));
        return write;
    }

private:
    static brimo::ToolReport ran(const QString &call, bool done)
    {
        brimo::CommandResult result;
        result.started = true;
        result.exitCode = done ? 0 : 3;
        return {call, result};
    }
};

// Answers, to a ping or a download: "ok" (status 200, for a download a whole
// image for any system number), or a status and words: "500 <message>" the
// service's, "0 <line>" a failed request's line for the log, "404". Each
// request reports `states` as it runs.
class FakeService : public brimo::UpdateService, Noting {
public:
    using Noting::Noting;
    QQueue<QString> pings;
    QQueue<QString> downloads;
    QList<qint16> states;
    // The image served, with its identity tail.
    static inline const QByteArray kRegEnd = "0011223344556677";
    QByteArray image = brimo::sim::makeImage(2000, QByteArray(16, '\xFF'));

    brimo::response ping(const StateListener &listener) override
    {
        m_trace.call(QStringLiteral("ping"));
        report(listener);
        return answered(next(pings, QStringLiteral("ok")));
    }
    brimo::response UpdateDevice(const QString &strSystemNo, const StateListener &listener) override
    {
        m_trace.call(QStringLiteral("download ") + strSystemNo);
        report(listener);
        const QString answer = next(downloads, QStringLiteral("ok"));
        brimo::response record = answered(answer);
        if (answer != "ok")
            return record;
        brimo::ImageReceiver receiver(m_folder.path());
        receiver.add(image);
        record.objDF = receiver.finish(kRegEnd, &record.problem);
        return record;
    }
    void cancel() override { m_trace.call(QStringLiteral("cancel")); }

private:
    static brimo::response answered(const QString &answer)
    {
        brimo::response record;
        record.iResponseCode =
            static_cast<qint16>(answer == "ok" ? 200 : answer.section(u' ', 0, 0).toInt());
        if (record.iResponseCode != 0)
            record.statusLine = QStringLiteral("HTTP/1.1 %1").arg(record.iResponseCode);
        (record.iResponseCode == 0 ? record.problem : record.strContent) = answer.section(u' ', 1);
        return record;
    }
    void report(const StateListener &listener)
    {
        for (const qint16 state : states)
            listener(state);
    }

    QTemporaryDir m_folder;
};

// The PC has the ports in `has` (COM1 to COM16 unless told), those in `inUse`
// held by another program; the device streams on those in `answering`.
class FakeProbe : public brimo::PortProbe, Noting {
public:
    explicit FakeProbe(Trace &trace) : Noting(trace)
    {
        for (int port = 1; port <= 16; ++port)
            has << brimo::ComPortInfo{
                port, QStringLiteral("/dev/ttyS%1").arg(port - 1), {}, {}, {}};
    }
    QSet<qint16> answering;
    QList<brimo::ComPortInfo> has;
    QSet<int> inUse;

    QList<brimo::ComPortInfo> ports() override { return has; }
    brimo::ComPortState state(int port) override
    {
        return inUse.contains(port) ? brimo::ComPortState::InUse : brimo::ComPortState::Free;
    }

    bool probePort(qint16 port, qint16 timeoutSeconds) override
    {
        m_trace.call(QStringLiteral("probe COM%1 %2s").arg(port).arg(timeoutSeconds));
        return answering.contains(port);
    }
    void cancel() override { m_trace.call(QStringLiteral("cancel probe")); }
};

// The settings as another program could change them at any moment.
class FakeStore : public brimo::SettingsStore, Noting {
public:
    FakeStore(Trace &trace, const QMap<QString, QString> &stored) : Noting(trace), values(stored) {}
    QMap<QString, QString> values;

    QString value(const QString &name) override { return values.value(name); }
    void setValue(const QString &name, const QString &text) override
    {
        values[name] = text;
        m_trace.call(QStringLiteral("store %1=%2").arg(name, text));
    }
};

class FakePauses : public brimo::Pauses, Noting {
public:
    using Noting::Noting;
    void pause(std::chrono::milliseconds length) override
    {
        m_trace.call(QStringLiteral("pause %1").arg(length.count()));
    }
};
