#include "vendorserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using namespace brimo::sim;

namespace {

int fail(const QString &why)
{
    std::fprintf(stderr, "brimo-vendorsim: %s\n", qPrintable(why));
    return 2;
}

bool parseListen(const QString &text, QHostAddress *address, quint16 *port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? QStringLiteral("127.0.0.1") : text.left(colon);
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535 || !address->setAddress(host))
        return false;
    *port = static_cast<quint16>(number);
    return true;
}

int writeImage(const QCommandLineParser &parser)
{
    const QString systemNumber = parser.value(QStringLiteral("system-number"));
    bool ok = false;
    const qint64 size = parser.value(QStringLiteral("size")).toLongLong(&ok);
    if (systemNumber.isEmpty() || !ok || size < 0)
        return fail(QStringLiteral("--write-image needs --system-number SYSNO and --size N"));
    QString error;
    if (!writeImageFiles(parser.value(QStringLiteral("write-image")), systemNumber.toLatin1(), size,
                         parser.value(QStringLiteral("regend")).toLatin1(), &error)) {
        return fail(error);
    }
    return 0;
}

int serve(QCoreApplication &app, const QCommandLineParser &parser)
{
    ImageStore images;
    images.setDirectory(parser.value(QStringLiteral("images")));
    QString error;
    for (const QString &spec : parser.values(QStringLiteral("image"))) {
        if (!images.addGenerated(spec, &error))
            return fail(error);
    }
    const std::optional<Fault> fault = faultFromName(parser.value(QStringLiteral("fault")));
    if (!fault)
        return fail(
            QStringLiteral("unknown fault \"%1\"; one of %2")
                .arg(parser.value(QStringLiteral("fault")), faultNames().join(QLatin1Char(' '))));
    bool ok = false;
    const int slowMs = parser.value(QStringLiteral("slow-ms")).toInt(&ok);
    if (!ok || slowMs < 0)
        return fail(QStringLiteral("bad --slow-ms"));
    QHostAddress address;
    quint16 port = 0;
    if (!parseListen(parser.value(QStringLiteral("listen")), &address, &port))
        return fail(QStringLiteral("bad --listen \"%1\"; expected HOST:PORT")
                        .arg(parser.value(QStringLiteral("listen"))));

    VendorServer server(std::move(images));
    server.setStandingFault(*fault);
    server.setSlowMs(slowMs);
    if (!server.listen(address, port, &error))
        return fail(QStringLiteral("cannot listen on %1: %2")
                        .arg(parser.value(QStringLiteral("listen")), error));
    std::printf("listening %s\n", qPrintable(server.address()));
    std::fflush(stdout);
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brimo-vendorsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stand-in vendor web service for the Brimo update utility."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("listen"), QStringLiteral("Address to listen on (port 0: a free one)."),
         QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:0")},
        {QStringLiteral("images"), QStringLiteral("Folder of SYSNO.srec and SYSNO.regend files."),
         QStringLiteral("DIR")},
        {QStringLiteral("image"), QStringLiteral("Generate an image at start (repeatable)."),
         QStringLiteral("SYSNO[:SIZE[:REGEND]]")},
        {QStringLiteral("fault"), QStringLiteral("Misbehave on every service request."),
         QStringLiteral("MODE"), QStringLiteral("none")},
        {QStringLiteral("slow-ms"), QStringLiteral("How long the slow fault spreads a body over."),
         QStringLiteral("MS"), QStringLiteral("5000")},
        {QStringLiteral("write-image"),
         QStringLiteral("Write an image file and its .regend, then exit."), QStringLiteral("FILE")},
        {QStringLiteral("system-number"), QStringLiteral("System number of the written image."),
         QStringLiteral("SYSNO")},
        {QStringLiteral("size"), QStringLiteral("Least size of the written image in characters."),
         QStringLiteral("N")},
        {QStringLiteral("regend"), QStringLiteral("REGEND of the written image."),
         QStringLiteral("HEX"), QString::fromLatin1(ImageStore::kDefaultRegend)},
    });
    // Every bad command line ends the same way: one line, exit code 2.
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.isSet(QStringLiteral("write-image")))
        return writeImage(parser);
    return serve(app, parser);
}
