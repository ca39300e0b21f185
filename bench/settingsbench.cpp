#include "benchcommands.h"
#include "monotonic.h"

#include "platform/registry_file.h"
#include "settings/registryvalue.h"
#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>

namespace {

const QByteArray kHead = "brimo-registry 1\n";
// The utility's own key last, so that a reader finds it after every other.
const QByteArray kTail =
    "key 80000002 Software\\Brimo\nvalue 00000001 3300 COMPort\n"
    "value 00000001 00 ProxyServer\nvalue 00000001 3800303800 ProxyPort\nend\n";

// A whole settings file of at most `size` bytes, filled up with keys of one
// value each.
QByteArray settingsFile(qsizetype size)
{
    QByteArray text = kHead;
    for (int i = 0;; ++i) {
        const QByteArray key = "key 80000002 Software\\Other\\" + QByteArray::number(i) +
                               "\nvalue 00000001 3100 Value\n";
        if (text.size() + key.size() + kTail.size() > size)
            return text + kTail;
        text += key;
    }
}

// The three settings, each read as the utility reads one: a read of the file each.
QString comPortAfterAStoreRead(const QString &path)
{
    brimo::FileRegistry registry(path);
    const auto stored = [&registry](const QString &name) {
        return QString::fromStdString(brimo::getRegistryValue(registry, brimo::kHkeyLocalMachine,
                                                              brimo::kSettingsKey.toStdString(),
                                                              name.toStdString()));
    };
    stored(brimo::kProxyServerValue);
    stored(brimo::kProxyPortValue);
    return stored(brimo::kComPortValue);
}

} // namespace

int runSettings(const QStringList &arguments)
{
    if (arguments.size() != 2)
        return 2;
    // The largest file that is read, and one of about 1 MiB, which is refused
    // unread: its port reads as none.
    const struct {
        const char *name;
        qsizetype size;
        QString comPort;
    } files[] = {{"settings_64kib_ms", 64 * 1024, QStringLiteral("3")},
                 {"settings_1mib_ms", (1 << 20) - 100, QString()}};
    for (const auto &file : files) {
        const QString path = QDir(arguments[0]).filePath(QString::fromLatin1(file.name));
        QFile out(path);
        const QByteArray text = settingsFile(file.size);
        if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
            return 1;
        out.close();
        for (int run = 0; run < arguments[1].toInt(); ++run) {
            const std::int64_t startNs = monotonicNs();
            const QString comPort = comPortAfterAStoreRead(path);
            report(file.name, msBetween(startNs, monotonicNs()));
            if (comPort != file.comPort)
                return 1;
        }
        QFile::remove(path);
    }
    return 0;
}
