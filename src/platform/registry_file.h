#pragma once

#include "platform/registrybackend.h"
#include "platform/registrydocument.h"

#include <QString>
#include <functional>
#include <map>
#include <optional>

namespace brimo {

// Stands in for the Windows registry where there is none: one file holding
// every key with its values' types and raw bytes (see RegistryDocument).
// A read reads the file once, as its first key is opened, and answers from
// what it read then until its last key is closed, so that opening a key and
// querying a value twice cost one read of the file; the next read reads it
// afresh. Each change reads the file afresh too and rewrites it whole through
// a temporary file and a rename, under a lock on "<file>.lock" (which stays),
// so readers in other processes see either the old or the new file and never
// a part of one, and writers in several processes drop no change.
//
// A file that cannot be parsed, or one larger than 64 KiB, reads as holding
// nothing and no read touches it. The next change moves it aside as
// "<file>.corrupt", in place of any earlier one, and starts a new file, so
// what it held can still be looked at.
// A change that cannot be written (folder not writable, lock not obtained,
// corrupt file that cannot be moved) is dropped and the file stays as it was.
class FileRegistry : public RegistryBackend {
public:
    explicit FileRegistry(QString filePath);

    long openKey(std::uint32_t root, const std::string &path, Key *key) override;
    long createKey(std::uint32_t root, const std::string &path, Key *key) override;
    long queryValue(Key key, const std::string &name, std::uint32_t *type, unsigned char *data,
                    std::uint32_t *size) override;
    long setValue(Key key, const std::string &name, std::uint32_t type, const unsigned char *data,
                  std::uint32_t size) override;
    long closeKey(Key key) override;

private:
    struct KeyPath {
        std::uint32_t root = 0;
        std::string path;
    };

    // What the file held when the read under way began, or why it held nothing.
    struct Snapshot {
        long result = kRegNotFound;
        RegistryDocument document;
    };

    long load(RegistryDocument *document) const;
    const Snapshot &snapshot();
    long change(const KeyPath &where, const std::function<void(RegistryKeyRecord &)> &edit);
    long changeLocked(const KeyPath &where, const std::function<void(RegistryKeyRecord &)> &edit);
    bool setAsideCorruptFile() const;
    bool save(const RegistryDocument &document) const;
    Key remember(const KeyPath &where);

    QString m_filePath;
    std::optional<Snapshot> m_snapshot;
    std::map<Key, KeyPath> m_openKeys;
    Key m_nextKey = 1;
};

} // namespace brimo
