#include "platform/registry_file.h"
#include "platform/systemregistry.h"

#include "platform/registrydocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace brimo {

namespace {

constexpr qint64 kMaxFileSize = 64 * 1024;

// An exclusive lock on a file beside the settings file, held for one
// read-change-write. The system drops it when its holder dies, so a crash
// leaves no stale lock, and the only holders are copies of this program
// doing one small write: waiting in the kernel is safe. Polling instead lets
// a busy writer take the lock again between two polls and starve the other
// one. Gives the open descriptor, or -1.
int takeLock(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

} // namespace

FileRegistry::FileRegistry(QString filePath) : m_filePath(std::move(filePath)) {}

long FileRegistry::openKey(std::uint32_t root, const std::string &path, Key *key)
{
    *key = 0;
    const Snapshot &read = snapshot();
    if (read.result != kRegOk)
        return read.result;
    if (!read.document.findKey(root, path))
        return kRegNotFound;
    *key = remember({root, path});
    return kRegOk;
}

long FileRegistry::createKey(std::uint32_t root, const std::string &path, Key *key)
{
    *key = 0;
    const KeyPath where{root, path};
    if (const long result = change(where, [](RegistryKeyRecord &) {}); result != kRegOk)
        return result;
    *key = remember(where);
    return kRegOk;
}

long FileRegistry::queryValue(Key key, const std::string &name, std::uint32_t *type,
                              unsigned char *data, std::uint32_t *size)
{
    const auto open = m_openKeys.find(key);
    if (open == m_openKeys.end())
        return kRegInvalidHandle;
    const Snapshot &read = snapshot();
    if (read.result != kRegOk)
        return read.result;
    const RegistryKeyRecord *record = read.document.findKey(open->second.root, open->second.path);
    const RegistryValueRecord *value =
        record ? RegistryDocument::findValue(*record, name) : nullptr;
    if (!value)
        return kRegNotFound;

    *type = value->type;
    const auto needed = static_cast<std::uint32_t>(value->data.size());
    if (data && *size < needed) {
        *size = needed;
        return kRegMoreData;
    }
    if (data)
        std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return kRegOk;
}

long FileRegistry::setValue(Key key, const std::string &name, std::uint32_t type,
                            const unsigned char *data, std::uint32_t size)
{
    const auto open = m_openKeys.find(key);
    if (open == m_openKeys.end())
        return kRegInvalidHandle;
    if (!RegistryDocument::isValidName(name) || (!data && size > 0))
        return kRegInvalidParameter;
    const RegistryValueRecord value{name, type,
                                    std::string(reinterpret_cast<const char *>(data), size)};
    return change(open->second,
                  [&](RegistryKeyRecord &record) { RegistryDocument::setValue(record, value); });
}

long FileRegistry::closeKey(Key key)
{
    const bool open = m_openKeys.erase(key) == 1;
    // The last key closed ends the read: the next one reads the file afresh.
    if (m_openKeys.empty())
        m_snapshot.reset();
    return open ? kRegOk : kRegInvalidHandle;
}

long FileRegistry::load(RegistryDocument *document) const
{
    const QFileInfo info(m_filePath);
    if (!info.exists())
        return kRegNotFound;
    // A folder, a device or a pipe named as the settings file is never read,
    // nor moved aside as corrupt.
    if (!info.isFile())
        return kRegAccessDenied;
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return kRegAccessDenied;
    // Far beyond any settings file; a larger one is not ours. One byte more
    // than the limit is read, so that a file that grows meanwhile counts too.
    const QByteArray text = file.read(kMaxFileSize + 1);
    std::optional<RegistryDocument> parsed =
        text.size() > kMaxFileSize ? std::nullopt : RegistryDocument::parse(text);
    if (!parsed)
        return kRegInvalidData;
    *document = std::move(*parsed);
    return kRegOk;
}

const FileRegistry::Snapshot &FileRegistry::snapshot()
{
    if (!m_snapshot) {
        m_snapshot.emplace();
        m_snapshot->result = load(&m_snapshot->document);
    }
    return *m_snapshot;
}

long FileRegistry::change(const KeyPath &where,
                          const std::function<void(RegistryKeyRecord &)> &edit)
{
    if (!RegistryDocument::isValidName(where.path))
        return kRegInvalidParameter;
    m_snapshot.reset();
    if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath()))
        return kRegAccessDenied;
    // Without the lock two processes could each read the file, change it and
    // save it, and the second would drop the first one's change.
    const int lock = takeLock(m_filePath + QStringLiteral(".lock"));
    if (lock < 0)
        return kRegAccessDenied;
    const long result = changeLocked(where, edit);
    ::close(lock);
    return result;
}

long FileRegistry::changeLocked(const KeyPath &where,
                                const std::function<void(RegistryKeyRecord &)> &edit)
{
    RegistryDocument document;
    const long loaded = load(&document);
    if (loaded == kRegAccessDenied || (loaded == kRegInvalidData && !setAsideCorruptFile()))
        return kRegAccessDenied;
    edit(document.ensureKey(where.root, where.path));
    return save(document) ? kRegOk : kRegAccessDenied;
}

bool FileRegistry::setAsideCorruptFile() const
{
    const QString copy = m_filePath + QStringLiteral(".corrupt");
    QFile::remove(copy);
    return QFile::rename(m_filePath, copy);
}

bool FileRegistry::save(const RegistryDocument &document) const
{
    // Unbuffered, so that a write cut short by a full disk shows in write()'s
    // result. Buffered, the failure would come only with the flush inside
    // commit(), which does not look at it and puts the cut file in place.
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray text = document.toText();
    if (file.write(text) != text.size())
        return false;
    return file.commit();
}

RegistryBackend::Key FileRegistry::remember(const KeyPath &where)
{
    const Key key = m_nextKey++;
    m_openKeys.emplace(key, where);
    return key;
}

std::unique_ptr<RegistryBackend> systemRegistry(const QString &settingsFile)
{
    return std::make_unique<FileRegistry>(settingsFile);
}

} // namespace brimo
