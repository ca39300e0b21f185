// The settings store over its file: reads and writes, and the file's safety against
// corrupt content, obstacles, writers in other processes and a writer killed mid-write.

#include "childscenario.h"
#include "platform/registrybackend.h"
#include "platform/registrydocument.h"
#include "settings/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace brimo;

namespace {

const std::string kKeyPath = "Software\\Brimo";
constexpr int kEachWriter = 150;
const char *const kWrites = "BRIMO_TEST_WRITES";

// Every read passes "d" as its default: only a value of another type gives it.
QString get(const QString &name)
{
    return getRegistryValue(kHkeyLocalMachine, kSettingsKey, name, QStringLiteral("d"));
}

void set(const QString &name, const QString &text)
{
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, name, text);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Writes "other0" = "0", "other1" = "1", ... as many as $BRIMO_TEST_WRITES says.
test::Scenarios scenarios()
{
    return {{"write", [] {
                 for (int i = 0; i < qEnvironmentVariableIntValue(kWrites); ++i)
                     set("other" + QString::number(i), QString::number(i));
                 return 0;
             }}};
}

} // namespace

class TstRegistry : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readsWhatTheStoreHolds_data();
    void readsWhatTheStoreHolds();
    void writesTextWithItsTerminatingNul_data();
    void writesTextWithItsTerminatingNul();
    void corruptFileIsKeptAndReadAsEmpty_data();
    void corruptFileIsKeptAndReadAsEmpty();
    void unwritableStoreDropsTheWrite_data();
    void unwritableStoreDropsTheWrite();
    void writersInTwoProcessesDropNoChange();
    void crashWhileWritingLeavesAWholeFile();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TstRegistry::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // A folder that does not exist yet: the first write makes it.
    m_file = m_dir->filePath("config/brimo/registry");
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(m_file));
}

void TstRegistry::cleanup()
{
    QFile::setPermissions(QFileInfo(m_file).absolutePath(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TstRegistry::readsWhatTheStoreHolds_data()
{
    QTest::addColumn<uint>("root");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected");
    const uint local = kHkeyLocalMachine;
    const QByteArray port = "COMPort";
    const QByteArray number("\x03\x00\x00\x00", 4);
    QTest::newRow("terminated") << local << port << kRegSz << QByteArray("3", 2) << "3";
    QTest::newRow("NUL in the middle") << local << port << kRegSz << QByteArray("ab\0c", 5) << "ab";
    QTest::newRow("no terminating NUL") << local << port << kRegSz << QByteArray("12") << "12";
    QTest::newRow("empty") << local << port << kRegSz << QByteArray() << QString();
    QTest::newRow("number type: the default") << local << port << kRegDword << number << "d";
    QTest::newRow("missing value")
        << local << QByteArray("x") << kRegSz << QByteArray("3", 2) << QString();
    QTest::newRow("missing key") << 0x80000001u << port << kRegSz << QByteArray("3", 2)
                                 << QString();
}

void TstRegistry::readsWhatTheStoreHolds()
{
    QFETCH(uint, root);
    QFETCH(QByteArray, name);
    QFETCH(uint, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);
    RegistryDocument document;
    RegistryDocument::setValue(document.ensureKey(root, kKeyPath),
                               {name.toStdString(), type, data.toStdString()});
    writeFile(m_file, document.toText());
    QCOMPARE(get("COMPort"), expected);
}

void TstRegistry::writesTextWithItsTerminatingNul_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("texts"); // written in this order
    QTest::newRow("port") << "COMPort" << QStringList{"16"};
    QTest::newRow("empty text replaces a port") << "COMPort" << QStringList{"5", ""};
    QTest::newRow("port with letters") << "ProxyPort" << QStringList{"80ab"};
    QTest::newRow("8-bit text") << "ProxyServer" << QStringList{QString::fromUtf8("Grüß")};
    QTest::newRow("repeated writes") << "COMPort" << QStringList{"1", "2", "3"};
}

void TstRegistry::writesTextWithItsTerminatingNul()
{
    QFETCH(QString, name);
    QFETCH(QStringList, texts);
    for (const QString &text : texts)
        set(name, text);
    QCOMPARE(get(name), texts.last());
    // One string value, with its NUL: the empty text is stored, not missing.
    const auto document = RegistryDocument::parse(fileBytes(m_file));
    const RegistryKeyRecord *key =
        document ? document->findKey(kHkeyLocalMachine, kKeyPath) : nullptr;
    QVERIFY(key);
    QCOMPARE(key->values.size(), std::size_t(1));
    QCOMPARE(key->values.front().type, kRegSz);
    QCOMPARE(QByteArray::fromStdString(key->values.front().data),
             texts.last().toLocal8Bit() + '\0');
}

void TstRegistry::corruptFileIsKeptAndReadAsEmpty_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("earlierCopy"); // a file kept aside before is in the way
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("not the format") << QByteArray("COMPort=1\n") << true;
    QTest::newRow("cut off") << QByteArray("brimo-registry 1\nkey 80000002 Software\\Brimo\n")
                             << true;
}

void TstRegistry::corruptFileIsKeptAndReadAsEmpty()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, earlierCopy);
    writeFile(m_file, content);
    if (earlierCopy)
        writeFile(m_file + ".corrupt", "earlier");

    QCOMPARE(get("COMPort"), QString());
    QCOMPARE(fileBytes(m_file), content);

    set("ProxyPort", "8080");
    QCOMPARE(fileBytes(m_file + (earlierCopy ? ".corrupt.2" : ".corrupt")), content);
    if (earlierCopy)
        QCOMPARE(fileBytes(m_file + ".corrupt"), QByteArray("earlier"));
    QCOMPARE(get("ProxyPort"), QStringLiteral("8080"));
}

void TstRegistry::unwritableStoreDropsTheWrite_data()
{
    QTest::addColumn<QString>("obstacle");
    for (const char *obstacle : {"folder is a file", "settings file is a pipe", "read-only folder"})
        QTest::newRow(obstacle) << QString::fromLatin1(obstacle);
}

void TstRegistry::unwritableStoreDropsTheWrite()
{
    QFETCH(QString, obstacle);
    const QString folder = QFileInfo(m_file).absolutePath();
    QString expected;
    if (obstacle == "folder is a file") {
        writeFile(folder, "x");
    } else if (obstacle == "settings file is a pipe") {
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::mkfifo(QFile::encodeName(m_file).constData(), 0600), 0);
    } else {
        if (geteuid() == 0)
            QSKIP("file permissions do not bind the superuser");
        set("COMPort", "1");
        expected = QStringLiteral("1");
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    set("COMPort", "9");
    QCOMPARE(get("COMPort"), expected);
}

void TstRegistry::writersInTwoProcessesDropNoChange()
{
    QProcess other;
    test::startScenario(other, "write", {kWrites + QStringLiteral("=%1").arg(kEachWriter)});
    QVERIFY(other.waitForStarted());
    for (int i = 0; i < kEachWriter; ++i)
        set("mine" + QString::number(i), QString::number(i));
    QVERIFY(other.waitForFinished());
    QCOMPARE(other.exitCode(), 0);
    for (const QString prefix : {"mine", "other"})
        for (int i = 0; i < kEachWriter; ++i)
            QVERIFY2(get(prefix + QString::number(i)) == QString::number(i),
                     qPrintable(prefix + QString::number(i) + " lost"));
}

void TstRegistry::crashWhileWritingLeavesAWholeFile()
{
    QProcess writer;
    test::startScenario(writer, "write", {kWrites + QStringLiteral("=1000000")});
    QVERIFY(writer.waitForStarted());
    // Well into its writes, so that the kill lands in the middle of one.
    QTRY_COMPARE_WITH_TIMEOUT(get("other50"), QStringLiteral("50"), 20000);
    writer.kill();
    QVERIFY(writer.waitForFinished());

    QVERIFY(RegistryDocument::parse(fileBytes(m_file)));
    QCOMPARE(get("other50"), QStringLiteral("50"));
    // Neither a lock nor a temporary file left by the dead writer stops the next write.
    set("ProxyServer", "after");
    QCOMPARE(get("ProxyServer"), QStringLiteral("after"));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (const auto code = test::runRequestedScenario(scenarios()))
        return *code;
    TstRegistry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry.moc"
