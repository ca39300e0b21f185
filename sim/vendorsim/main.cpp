// brimo-vendorsim: the stand-in vendor web service, on loopback.
#include "service.h"

#include "common/srec.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using brimo::sim::VendorService;

namespace {

int fail(const QString &why)
{
    std::fprintf(stderr, "brimo-vendorsim: %s\n", qPrintable(why));
    return 2;
}

// "SYSNO[:SIZE[:REGEND]]": an image of at least SIZE characters (by default
// 1 MiB; never shorter than it takes to reach the identity record), its data
// a fixed function of the system number, its identity record erased.
bool addImage(const QString &image, QHash<QByteArray, VendorService::Image> *images)
{
    const QStringList parts = image.split(u':');
    bool numeric = true;
    const qint64 size = parts.value(1).isEmpty() ? 1 << 20 : parts[1].toLongLong(&numeric);
    const QByteArray regend = parts.size() > 2 ? parts[2].toLatin1() : "0011223344556677";
    if (parts[0].isEmpty() || parts.size() > 3 || !numeric || size < 0 || regend.contains('\r') ||
        regend.contains('\n'))
        return false;
    quint32 seed = 2166136261u; // FNV-1a, so each device gets its own data
    for (char c : parts[0].toLatin1())
        seed = (seed ^ static_cast<quint8>(c)) * 16777619u;
    images->insert(parts[0].toLatin1(),
                   {brimo::sim::makeImage(size, QByteArray(16, '\xFF'), seed), regend});
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stand-in vendor web service."));
    parser.addHelpOption();
    const QStringList faults = VendorService::kAnswerFaults + VendorService::kDownloadFaults;
    parser.addOptions({
        {QStringLiteral("listen"), QStringLiteral("Address to listen on (port 0: a free one)."),
         QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:0")},
        {QStringLiteral("image"), QStringLiteral("An image to serve (repeatable)."),
         QStringLiteral("SYSNO[:SIZE[:REGEND]]")},
        {QStringLiteral("fault"),
         QStringLiteral("Misbehave on every request: ") + faults.join(u' '),
         QStringLiteral("MODE")},
        {QStringLiteral("slow-ms"), QStringLiteral("How long the slow fault spreads a body over."),
         QStringLiteral("MS"), QStringLiteral("5000")},
    });
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected ") + parser.positionalArguments().join(u' '));
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);

    QHash<QByteArray, VendorService::Image> images;
    for (const QString &image : parser.values(QStringLiteral("image"))) {
        if (!addImage(image, &images))
            return fail(
                QStringLiteral("bad --image %1: expected SYSNO[:SIZE[:REGEND]]").arg(image));
    }
    const QString fault = parser.value(QStringLiteral("fault"));
    if (!fault.isEmpty() && !faults.contains(fault))
        return fail(QStringLiteral("unknown fault %1; one of %2").arg(fault, faults.join(u' ')));
    bool numeric = false;
    const int slowMs = parser.value(QStringLiteral("slow-ms")).toInt(&numeric);
    const QString listen = parser.value(QStringLiteral("listen"));
    const QHostAddress host(listen.section(u':', 0, -2));
    const uint port = listen.section(u':', -1).toUInt();
    if (!numeric || slowMs < 0 || host.isNull() || port > 65535)
        return fail(QStringLiteral("bad --slow-ms or --listen HOST:PORT"));

    VendorService service(std::move(images), slowMs);
    service.setStandingFault(fault);
    QString error;
    if (!service.listen(host, static_cast<quint16>(port), &error))
        return fail(QStringLiteral("cannot listen on %1: %2").arg(listen, error));
    std::printf("listening %s\n", qPrintable(service.address()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
