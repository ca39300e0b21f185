#include "platform/registry_file.h"
#include "platform/registrydocument.h"
#include "settings/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace brimo;

namespace {

const std::string kKeyPath = "Software\\Brimo";
// What the endless writer in another process stores.
const QRegularExpression kWritten(QStringLiteral("^v\\d+$"));

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Leaves a value of any type in the store, as another program could.
void storeRaw(const QString &file, std::uint32_t root, const std::string &name, std::uint32_t type,
              const QByteArray &data)
{
    FileRegistry registry(file);
    RegistryBackend::Key key = 0;
    QCOMPARE(registry.createKey(root, kKeyPath, &key), kRegOk);
    QCOMPARE(registry.setValue(key, name, type,
                               reinterpret_cast<const unsigned char *>(data.data()),
                               static_cast<std::uint32_t>(data.size())),
             kRegOk);
    QCOMPARE(registry.closeKey(key), kRegOk);
}

struct RawValue {
    long result = kRegNotFound;
    std::uint32_t type = 0;
    QByteArray data;
};

RawValue queryRaw(const QString &file, const std::string &name)
{
    FileRegistry registry(file);
    RawValue raw;
    RegistryBackend::Key key = 0;
    registry.openKey(kHkeyLocalMachine, kKeyPath, &key);
    std::uint32_t size = 0;
    raw.result = registry.queryValue(key, name, &raw.type, nullptr, &size);
    if (raw.result == kRegOk) {
        raw.data.resize(size);
        raw.result = registry.queryValue(key, name, &raw.type,
                                         reinterpret_cast<unsigned char *>(raw.data.data()), &size);
    }
    registry.closeKey(key);
    return raw;
}

QString get(const QString &name, const QString &defaultText = QString())
{
    return getRegistryValue(kHkeyLocalMachine, kSettingsKey, name, defaultText);
}

void set(const QString &name, const QString &text)
{
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, name, text);
}

// Child modes, so that another process can use the same store.
int runChild(const QString &mode, const QStringList &args)
{
    if (mode == QLatin1String("--write-many") && args.size() == 2) {
        for (int i = 0; i < args.at(1).toInt(); ++i)
            set(args.at(0) + QString::number(i), QString::number(i));
        return 0;
    }
    if (mode == QLatin1String("--write-forever") && args.size() == 1) {
        // Paced a little: a writer that never lets go of the lock would starve
        // every other one into dropping its writes.
        for (int n = 0;; ++n) {
            set(args.at(0), QStringLiteral("v%1").arg(n));
            QThread::msleep(1);
        }
    }
    return 2;
}

} // namespace

class TstRegistry : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsWhatTheStoreHolds_data();
    void readsWhatTheStoreHolds();
    void missingValuesReadEmptyWhateverTheDefault_data();
    void missingValuesReadEmptyWhateverTheDefault();
    void writesTextWithItsTerminatingNul_data();
    void writesTextWithItsTerminatingNul();
    void firstWriteCreatesFolderFileAndKey();
    void repeatedWritesReplaceTheValue();
    void corruptFileIsKeptAndReadAsEmpty_data();
    void corruptFileIsKeptAndReadAsEmpty();
    void secondCorruptFileIsKeptBesideTheFirst();
    void unwritableStoreDropsTheWrite_data();
    void unwritableStoreDropsTheWrite();
    void readerBusyDuringAWriteSeesTheWholeEarlierFile();
    void writersInTwoProcessesDropNoChange();
    void crashWhileWritingLeavesAWholeFile();

private:
    void startEndlessWriter(QProcess *writer);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TstRegistry::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(QStringLiteral("registry"));
    qputenv("BRIMO_REGISTRY_FILE", m_file.toLocal8Bit());
}

void TstRegistry::cleanup()
{
    qunsetenv("BRIMO_REGISTRY_FILE");
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_dir.reset();
}

void TstRegistry::readsWhatTheStoreHolds_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("defaultText");
    QTest::addColumn<QString>("expected");

    const QByteArray dword("\x03\x00\x00\x00", 4);
    QTest::newRow("string") << uint(kRegSz) << QByteArray("3", 2) << ""
                            << "3";
    QTest::newRow("NUL in the middle") << uint(kRegSz) << QByteArray("ab\0cd", 6) << ""
                                       << "ab";
    QTest::newRow("no terminating NUL") << uint(kRegSz) << QByteArray("12") << ""
                                        << "12";
    QTest::newRow("no data at all") << uint(kRegSz) << QByteArray() << ""
                                    << "";
    QTest::newRow("only a NUL") << uint(kRegSz) << QByteArray(1, '\0') << ""
                                << "";
    QTest::newRow("8-bit text") << uint(kRegSz) << QByteArray("Gr\xc3\xbc\xc3\x9f") << ""
                                << QString::fromUtf8("Grüß");
    QTest::newRow("number") << uint(kRegDword) << dword << ""
                            << "";
    QTest::newRow("number keeps the default") << uint(kRegDword) << dword << "7"
                                              << "7";
    QTest::newRow("expandable string is no string")
        << uint(kRegExpandSz) << QByteArray("x", 2) << "d"
        << "d";
    QTest::newRow("binary") << uint(kRegBinary) << QByteArray("1", 2) << ""
                            << "";
}

void TstRegistry::readsWhatTheStoreHolds()
{
    QFETCH(uint, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, defaultText);
    QFETCH(QString, expected);

    storeRaw(m_file, kHkeyLocalMachine, "COMPort", type, data);
    QCOMPARE(get(QStringLiteral("COMPort"), defaultText), expected);
}

void TstRegistry::missingValuesReadEmptyWhateverTheDefault_data()
{
    QTest::addColumn<std::uint32_t>("root");
    QTest::addColumn<QString>("name");

    QTest::newRow("no file") << std::uint32_t(0) << "";
    QTest::newRow("other value in the key") << kHkeyLocalMachine << "ProxyServer";
    QTest::newRow("same key below another root") << std::uint32_t(0x80000001) << "COMPort";
}

void TstRegistry::missingValuesReadEmptyWhateverTheDefault()
{
    QFETCH(std::uint32_t, root);
    QFETCH(QString, name);

    if (root != 0)
        storeRaw(m_file, root, name.toStdString(), kRegSz, QByteArray("5", 2));
    QCOMPARE(get(QStringLiteral("COMPort"), QStringLiteral("default")), QString());
}

void TstRegistry::writesTextWithItsTerminatingNul_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("port") << "COMPort"
                          << "16";
    QTest::newRow("empty text") << "COMPort"
                                << "";
    QTest::newRow("port with letters") << "ProxyPort"
                                       << "80ab";
    QTest::newRow("server with blanks") << "ProxyServer"
                                        << " proxy.example.net  x ";
    QTest::newRow("8-bit text") << "ProxyServer" << QString::fromUtf8("Grüß");
}

void TstRegistry::writesTextWithItsTerminatingNul()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    set(name, text);
    QCOMPARE(get(name), text);
    // The empty text must be a real, empty string value, not a missing one.
    const RawValue raw = queryRaw(m_file, name.toStdString());
    QCOMPARE(raw.result, kRegOk);
    QCOMPARE(raw.type, kRegSz);
    QCOMPARE(raw.data, text.toLocal8Bit() + '\0');
}

void TstRegistry::firstWriteCreatesFolderFileAndKey()
{
    m_file = m_dir->filePath(QStringLiteral("config/brimo/registry"));
    qputenv("BRIMO_REGISTRY_FILE", m_file.toLocal8Bit());
    QCOMPARE(get(QStringLiteral("COMPort")), QString());
    QVERIFY(!QFile::exists(m_file));

    set(QStringLiteral("COMPort"), QStringLiteral("2"));
    FileRegistry registry(m_file);
    RegistryBackend::Key key = 0;
    QCOMPARE(registry.openKey(kHkeyLocalMachine, kKeyPath, &key), kRegOk);
    QCOMPARE(get(QStringLiteral("COMPort")), QStringLiteral("2"));
}

void TstRegistry::repeatedWritesReplaceTheValue()
{
    set(QStringLiteral("ProxyServer"), QStringLiteral("proxy"));
    for (const char *text : {"1", "2", "3"})
        set(QStringLiteral("COMPort"), QString::fromLatin1(text));
    // Value names are not case sensitive, as in the Windows registry.
    set(QStringLiteral("comport"), QStringLiteral("4"));

    const auto document = RegistryDocument::parse(fileBytes(m_file));
    QVERIFY(document);
    const RegistryKeyRecord *key = document->findKey(kHkeyLocalMachine, kKeyPath);
    QVERIFY(key);
    QCOMPARE(key->values.size(), std::size_t(2));
    QCOMPARE(get(QStringLiteral("COMPort")), QStringLiteral("4"));
    QCOMPARE(get(QStringLiteral("ProxyServer")), QStringLiteral("proxy"));
}

void TstRegistry::corruptFileIsKeptAndReadAsEmpty_data()
{
    QTest::addColumn<QByteArray>("content");

    const QByteArray body = "key 80000002 Software\\Brimo\nvalue 00000001 3100 COMPort\n";
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("not the format") << QByteArray("COMPort=1\n");
    QTest::newRow("other version") << "brimo-registry 2\n" + body + "end\n";
    QTest::newRow("cut off") << "brimo-registry 1\n" + body;
    QTest::newRow("CR LF line ends")
        << QByteArray("brimo-registry 1\r\n" + body + "end\r\n").replace("\n", "\r\n");
    QTest::newRow("odd hex digits")
        << QByteArray("brimo-registry 1\n" + body + "end\n").replace(" 3100 ", " 310 ");
    QTest::newRow("type not hex")
        << QByteArray("brimo-registry 1\n" + body + "end\n").replace("00000001", "0000000g");
    QTest::newRow("value before any key")
        << QByteArray("brimo-registry 1\nvalue 00000001 3100 COMPort\nend\n");
    QTest::newRow("same value twice")
        << "brimo-registry 1\n" + body + "value 00000001 3200 comport\nend\n";
    QTest::newRow("text after end") << "brimo-registry 1\n" + body + "end\nkey 1 x\n";
}

void TstRegistry::corruptFileIsKeptAndReadAsEmpty()
{
    QFETCH(QByteArray, content);

    writeFile(m_file, content);
    QCOMPARE(get(QStringLiteral("COMPort"), QStringLiteral("d")), QString());
    QCOMPARE(fileBytes(m_file), content);

    set(QStringLiteral("ProxyPort"), QStringLiteral("8080"));
    QCOMPARE(fileBytes(m_file + QStringLiteral(".corrupt")), content);
    QCOMPARE(get(QStringLiteral("ProxyPort")), QStringLiteral("8080"));
    QCOMPARE(get(QStringLiteral("COMPort")), QString());
}

void TstRegistry::secondCorruptFileIsKeptBesideTheFirst()
{
    writeFile(m_file, "first");
    set(QStringLiteral("COMPort"), QStringLiteral("1"));
    writeFile(m_file, "second");
    set(QStringLiteral("COMPort"), QStringLiteral("2"));

    QCOMPARE(fileBytes(m_file + QStringLiteral(".corrupt")), QByteArray("first"));
    QCOMPARE(fileBytes(m_file + QStringLiteral(".corrupt.2")), QByteArray("second"));
    QCOMPARE(get(QStringLiteral("COMPort")), QStringLiteral("2"));
}

void TstRegistry::unwritableStoreDropsTheWrite_data()
{
    QTest::addColumn<QString>("obstacle");

    QTest::newRow("folder is a file") << "file";
    QTest::newRow("settings file is a folder") << "folder";
    QTest::newRow("settings file is a pipe") << "pipe";
    QTest::newRow("read-only folder") << "read-only";
}

void TstRegistry::unwritableStoreDropsTheWrite()
{
    QFETCH(QString, obstacle);

    QString expected;
    if (obstacle == QLatin1String("file")) {
        writeFile(m_dir->filePath(QStringLiteral("plain")), "x");
        m_file = m_dir->filePath(QStringLiteral("plain/registry"));
        qputenv("BRIMO_REGISTRY_FILE", m_file.toLocal8Bit());
    } else if (obstacle == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(m_file));
    } else if (obstacle == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(m_file).constData(), 0600), 0);
    } else {
        if (geteuid() == 0)
            QSKIP("file permissions do not bind the superuser");
        set(QStringLiteral("COMPort"), QStringLiteral("1"));
        expected = QStringLiteral("1");
        QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
    }
    const QFileInfo before(m_file);

    set(QStringLiteral("COMPort"), QStringLiteral("9"));
    QCOMPARE(get(QStringLiteral("COMPort")), expected);
    const QFileInfo after(m_file);
    QCOMPARE(after.exists(), before.exists());
    QCOMPARE(after.isFile(), before.isFile());
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.lastModified(), before.lastModified());
}

void TstRegistry::readerBusyDuringAWriteSeesTheWholeEarlierFile()
{
    set(QStringLiteral("COMPort"), QStringLiteral("1"));
    const QByteArray before = fileBytes(m_file);
    QFile reader(m_file);
    QVERIFY(reader.open(QIODevice::ReadOnly));

    set(QStringLiteral("COMPort"), QStringLiteral("2"));
    QCOMPARE(reader.readAll(), before);
    QCOMPARE(get(QStringLiteral("COMPort")), QStringLiteral("2"));
}

void TstRegistry::startEndlessWriter(QProcess *writer)
{
    writer->start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--write-forever"), QStringLiteral("ProxyServer")});
    QVERIFY(writer->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(kWritten.match(get(QStringLiteral("ProxyServer"))).hasMatch(), 20000);
}

void TstRegistry::writersInTwoProcessesDropNoChange()
{
    constexpr int kEach = 150;
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--write-many"), QStringLiteral("other"), QString::number(kEach)});
    QVERIFY(other.waitForStarted());
    for (int i = 0; i < kEach; ++i)
        set(QStringLiteral("mine%1").arg(i), QString::number(i));
    QVERIFY(other.waitForFinished());
    QCOMPARE(other.exitCode(), 0);

    for (const QString &prefix : {QStringLiteral("mine"), QStringLiteral("other")}) {
        for (int i = 0; i < kEach; ++i)
            QCOMPARE(get(prefix + QString::number(i)), QString::number(i));
    }
}

void TstRegistry::crashWhileWritingLeavesAWholeFile()
{
    QProcess writer;
    startEndlessWriter(&writer);
    // Let it get well into its writes, so that the kill lands in the middle of one.
    QTRY_VERIFY_WITH_TIMEOUT(get(QStringLiteral("ProxyServer")).mid(1).toInt() > 50, 20000);
    writer.kill();
    QVERIFY(writer.waitForFinished());

    QVERIFY(RegistryDocument::parse(fileBytes(m_file)));
    QVERIFY(kWritten.match(get(QStringLiteral("ProxyServer"))).hasMatch());

    // Neither a lock nor a temporary file left by the dead writer stops the next write.
    set(QStringLiteral("ProxyServer"), QStringLiteral("after"));
    QCOMPARE(get(QStringLiteral("ProxyServer")), QStringLiteral("after"));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args.at(1).startsWith(QLatin1String("--")) &&
        args.at(1) != QLatin1String("--help"))
        return runChild(args.at(1), args.mid(2));
    TstRegistry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry.moc"
