// The settings file on any content. The document parse never crashes, and a
// document it accepts writes out to a text that parses to the same document.
// Through the store: the three settings read as the file holds them (a string
// up to its first NUL, anything else or a file that does not parse as the
// empty text), and a value written then reads back as written, with a file
// that did not parse kept aside unchanged.

#include "fuzzcheck.h"
#include "platform/registry_file.h"
#include "platform/registrydocument.h"
#include "settings/registryvalue.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <optional>
#include <string>

namespace {

constexpr std::uint32_t kMachineRoot = 0x80000002u;
const std::string kKeyPath = "Software\\Brimo";
const char *const kNames[] = {"COMPort", "ProxyServer", "ProxyPort"};

std::string beforeNul(const std::string &text)
{
    return text.substr(0, text.find('\0'));
}

void checkDocument(const std::optional<brimo::RegistryDocument> &document)
{
    if (!document)
        return;
    const QByteArray written = document->toText();
    const std::optional<brimo::RegistryDocument> again = brimo::RegistryDocument::parse(written);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(again->toText() == written);
}

// What the store must read for `name` from a file with this document.
std::string expectedRead(const std::optional<brimo::RegistryDocument> &document,
                         const std::string &name)
{
    const brimo::RegistryKeyRecord *key =
        document ? document->findKey(kMachineRoot, kKeyPath) : nullptr;
    const brimo::RegistryValueRecord *value =
        key ? brimo::RegistryDocument::findValue(*key, name) : nullptr;
    if (!value || value->type != brimo::kRegSz)
        return {};
    return beforeNul(value->data);
}

QString workFolder()
{
    static const QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/brimo-fuzz-XXXXXX"));
    return folder.path();
}

void checkStore(const QByteArray &content, const std::optional<brimo::RegistryDocument> &document,
                const std::string &newPort)
{
    QDir(workFolder()).removeRecursively();
    QDir().mkpath(workFolder());
    const QString path = workFolder() + QStringLiteral("/registry");
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();

    brimo::FileRegistry registry(path);
    for (const char *name : kNames)
        FUZZ_CHECK(brimo::getRegistryValue(registry, kMachineRoot, kKeyPath, name) ==
                   expectedRead(document, name));

    brimo::setRegistryValue(registry, kMachineRoot, kKeyPath, "COMPort", newPort);
    FUZZ_CHECK(brimo::getRegistryValue(registry, kMachineRoot, kKeyPath, "COMPort") ==
               beforeNul(newPort));
    FUZZ_CHECK(brimo::getRegistryValue(registry, kMachineRoot, kKeyPath, "ProxyServer") ==
               expectedRead(document, "ProxyServer"));
    if (!document) {
        QFile aside(path + QStringLiteral(".corrupt"));
        FUZZ_CHECK(aside.open(QIODevice::ReadOnly) && aside.readAll() == content);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string newPort = in.ConsumeRandomLengthString(16);
    const QByteArray content = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    const std::optional<brimo::RegistryDocument> document = brimo::RegistryDocument::parse(content);
    checkDocument(document);
    checkStore(content, document, newPort);
    return 0;
}
