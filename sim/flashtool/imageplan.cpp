#include "imageplan.h"

#include "common/flashframe.h"
#include "common/srec.h"

namespace brimo::sim {
namespace {

bool isData(char type)
{
    return type == '1' || type == '2' || type == '3';
}

bool isEnd(char type)
{
    return type == '7' || type == '8' || type == '9';
}

void addToPlan(const SRecord &record, ImagePlan *plan)
{
    ++plan->records;
    plan->byteCount += static_cast<quint32>(record.data.size());
    for (char c : record.data)
        plan->byteSum += static_cast<quint8>(c);
    if (!plan->blocks.isEmpty()) {
        FlashBlock &last = plan->blocks.last();
        if (last.address + static_cast<quint32>(last.data.size()) == record.address &&
            last.data.size() + record.data.size() <= flash::kBlockSize) {
            last.data += record.data;
            return;
        }
    }
    plan->blocks.append({record.address, record.data});
}

// Checks one parsed record against the image so far; empty when it is fine.
QString checkRecord(const SRecord &record, const ImagePlan &plan, bool ended)
{
    if (ended)
        return QStringLiteral("record after the end record");
    if (isData(record.type) && quint64{record.address} + static_cast<quint64>(record.data.size()) >
                                   quint64{flash::kFlashSize})
        return QStringLiteral("address 0x%1 lies outside the 1 MiB flash")
            .arg(record.address, 8, 16, QChar(u'0'));
    if ((record.type == '5' || record.type == '6') &&
        record.address != static_cast<quint32>(plan.records))
        return QStringLiteral("record count %1 does not match the %2 data records before it")
            .arg(record.address)
            .arg(plan.records);
    return QString();
}

} // namespace

bool planImage(const QByteArray &text, ImagePlan *plan, QString *error)
{
    *plan = ImagePlan();
    const QList<QByteArray> lines = text.split('\n');
    bool ended = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        SRecord record;
        QString why;
        if (parseSRecord(line, &record, &why))
            why = checkRecord(record, *plan, ended);
        if (!why.isEmpty()) {
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return false;
        }
        if (isData(record.type))
            addToPlan(record, plan);
        ended = ended || isEnd(record.type);
    }
    if (plan->records == 0) {
        *error = QStringLiteral("the image holds no data records");
        return false;
    }
    return true;
}

} // namespace brimo::sim
