// The settings store over its file: reads and writes, and the file's safety against
// corrupt content, obstacles, writers in other processes and a writer killed mid-write.

#include "childscenario.h"
#include "filesizelimit.h"
#include "platform/registry_file.h"
#include "platform/registrybackend.h"
#include "platform/registrydocument.h"
#include "settings/registryvalue.h"
#include "settings/settingsstore.h"

#include <QTest>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace brimo;

namespace {

const std::string kKeyPath = "Software\\Brimo";
constexpr int kEachWriter = 150;
const char *const kWrites = "BRIMO_TEST_WRITES";

// The settings file of this test and of the writers it starts.
QString settingsFile()
{
    return qEnvironmentVariable("BRIMO_REGISTRY_FILE");
}

// Every read passes "d" as its default: only a value of another type gives it.
QString get(const QString &name)
{
    FileRegistry registry(settingsFile());
    return QString::fromStdString(
        getRegistryValue(registry, kHkeyLocalMachine, kKeyPath, name.toStdString(), "d"));
}

void set(const QString &name, const QString &text)
{
    RegistryStore(settingsFile()).setValue(name, text);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// `document` with a key after its head whose path makes it `size` bytes long.
QByteArray filledTo(QByteArray document, qsizetype size)
{
    const QByteArray key = "key 00000000 ";
    const qsizetype fill = size - document.size() - key.size() - 1;
    return document.insert(document.indexOf('\n') + 1, key + QByteArray(fill, 'x') + '\n');
}

// Writes "other0" = "0", "other1" = "1", ... as many as $BRIMO_TEST_WRITES says.
int writeOthers()
{
    for (int i = 0; i < qEnvironmentVariableIntValue(kWrites); ++i)
        set("other" + QString::number(i), QString::number(i));
    return 0;
}

} // namespace

class TstRegistry : public QObject {
    Q_OBJECT

private slots:
    void init();
    void readsWhatTheStoreHolds_data();
    void readsWhatTheStoreHolds();
    void writesTextWithItsTerminatingNul();
    void corruptFileIsKeptAndReadAsEmpty_data();
    void corruptFileIsKeptAndReadAsEmpty();
    void unwritableStoreDropsTheWrite_data();
    void unwritableStoreDropsTheWrite();
    void writersInTwoProcessesDropNoChangeAndSurviveAKill();

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

// A value of type 4 is a number, which no setting is.
void TstRegistry::readsWhatTheStoreHolds_data()
{
    QTest::addColumn<uint>("root");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected");
    const uint local = kHkeyLocalMachine;
    const QByteArray port = "COMPort";
    QTest::newRow("terminated") << local << port << kRegSz << QByteArray("3", 2) << "3";
    QTest::newRow("NUL in the middle") << local << port << kRegSz << QByteArray("ab\0c", 5) << "ab";
    QTest::newRow("no terminating NUL") << local << port << kRegSz << QByteArray("12") << "12";
    QTest::newRow("empty") << local << port << kRegSz << QByteArray() << QString();
    QTest::newRow("number type: the default") << local << port << 4u << QByteArray(4, 3) << "d";
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

// Each text is one string value with its NUL: the empty text is stored, not
// missing, and each write replaces the one before.
void TstRegistry::writesTextWithItsTerminatingNul()
{
    // A store as earlier versions wrote it reads the same, up to 64 KiB; one
    // that holds nothing yet is a store too, not a file to set aside.
    writeFile(m_file, filledTo("brimo-registry 1\nkey 80000002 Software\\Brimo\nvalue 00000001 "
                               "3300 COMPort\nend\n",
                               64 * 1024));
    // A store kept for the whole run reads what another one wrote since.
    RegistryStore kept(m_file);
    QCOMPARE(kept.value("COMPort"), QStringLiteral("3"));
    writeFile(m_file, RegistryDocument().toText());
    for (const QString &text : {QString("16"), QString(), QString::fromUtf8("Grüß")}) {
        set("COMPort", text);
        QCOMPARE(get("COMPort"), text);
        QCOMPARE(kept.value("COMPort"), text);
        const auto document = RegistryDocument::parse(fileBytes(m_file));
        const RegistryKeyRecord *key =
            document ? document->findKey(kHkeyLocalMachine, kKeyPath) : nullptr;
        QVERIFY(key && key->values.size() == 1 && key->values.front().type == kRegSz);
        QCOMPARE(QByteArray::fromStdString(key->values.front().data), text.toLocal8Bit() + '\0');
    }
    QVERIFY(!QFile::exists(m_file + ".corrupt"));
}

void TstRegistry::corruptFileIsKeptAndReadAsEmpty_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("earlierCopy"); // a file kept aside before, which this one replaces
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("not the format") << QByteArray("COMPort=1\n") << true;
    const QByteArray key = "brimo-registry 1\nkey 80000002 Software\\Brimo\n";
    QTest::newRow("cut off") << key << true;
    // A name twice, in any case: which would count is anybody's guess.
    const QByteArray value = "value 00000001 3300 COMPort\n";
    QTest::newRow("a value named twice") << key + value + "value 00000001 3400 comport\nend\n"
                                         << false;
    QTest::newRow("a key named twice") << key + value + "key 80000002 software\\brimo\nend\n"
                                       << false;
    QTest::newRow("a byte over 64 KiB") << filledTo(key + value + "end\n", 64 * 1024 + 1) << true;
    // An editor's line end, a root or a value's bytes not in hex digits.
    QTest::newRow("a CR") << key + "value 00000001 3300 COMPort\r\nend\n" << false;
    QTest::newRow("a root not in hex") << key.left(17) + "key 8000000x Software\\Brimo\nend\n"
                                       << false;
    QTest::newRow("data not in hex") << key + "value 00000001 33z0 COMPort\nend\n" << false;
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
    QCOMPARE(fileBytes(m_file + ".corrupt"), content);
    QCOMPARE(get("ProxyPort"), QStringLiteral("8080"));
    QCOMPARE(QDir(QFileInfo(m_file).absolutePath()).entryList(QDir::Files),
             QStringList({"registry", "registry.corrupt", "registry.lock"}));
}

void TstRegistry::unwritableStoreDropsTheWrite_data()
{
    QTest::addColumn<QString>("obstacle");
    for (const char *obstacle :
         {"folder is a file", "settings file is a pipe", "read-only folder", "disk full"})
        QTest::newRow(obstacle) << QString::fromLatin1(obstacle);
}

// Where a value was stored before, it stays, and no part-written file is left.
void TstRegistry::unwritableStoreDropsTheWrite()
{
    QFETCH(QString, obstacle);
    const QString folder = QFileInfo(m_file).absolutePath();
    const bool storedBefore = obstacle == "read-only folder" || obstacle == "disk full";
    if (storedBefore)
        set("COMPort", "1");
    std::optional<FileSizeLimit> limit;
    if (obstacle == "folder is a file") {
        writeFile(folder, "x");
    } else if (obstacle == "settings file is a pipe") {
        QVERIFY(QDir().mkpath(folder) &&
                ::mkfifo(QFile::encodeName(m_file).constData(), 0600) == 0);
    } else if (obstacle == "disk full") {
        QVERIFY(limit.emplace(16).isApplied());
    } else if (geteuid() == 0) {
        QSKIP("file permissions do not bind the superuser");
    } else {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    set("COMPort", "9" + QString(64, 'x'));
    limit.reset();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(get("COMPort"), storedBefore ? QStringLiteral("1") : QString());
    if (storedBefore)
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({"registry", "registry.lock"}));
}

// A writer in another process, killed in the middle of one of its endless
// writes: no write of either process is lost, the file stays whole and
// neither its lock nor a temporary file stops the next write.
void TstRegistry::writersInTwoProcessesDropNoChangeAndSurviveAKill()
{
    QProcess other;
    test::startScenario(other, "write", {kWrites + QStringLiteral("=1000000")});
    QVERIFY(other.waitForStarted());
    for (int i = 0; i < kEachWriter; ++i)
        set("mine" + QString::number(i), QString::number(i));
    QTRY_COMPARE_WITH_TIMEOUT(get("other" + QString::number(kEachWriter)),
                              QString::number(kEachWriter), 20000);
    other.kill();
    QVERIFY(other.waitForFinished());
    QVERIFY(RegistryDocument::parse(fileBytes(m_file)));
    for (const QString prefix : {"mine", "other"})
        for (int i = 0; i <= kEachWriter - (prefix == "mine"); ++i)
            QVERIFY2(get(prefix + QString::number(i)) == QString::number(i),
                     qPrintable(prefix + QString::number(i) + " lost"));
    set("ProxyServer", "after");
    QCOMPARE(get("ProxyServer"), QStringLiteral("after"));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (const auto code = test::runRequestedScenario({{"write", writeOthers}}))
        return *code;
    TstRegistry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry.moc"
