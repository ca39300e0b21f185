#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace brimo {

struct RegistryValueRecord {
    std::string name;
    std::uint32_t type = 0;
    std::string data; // raw bytes, exactly as stored
};

struct RegistryKeyRecord {
    std::uint32_t root = 0;
    std::string path;
    std::vector<RegistryValueRecord> values;
};

// The content of the settings file: keys by root and path, each with its
// values' names, type codes and raw bytes. Names and paths compare without
// regard to ASCII case, as in the Windows registry.
//
// Text form, one item per line, every line ending in LF:
//     brimo-registry 1
//     key <root, 8 hex digits> <path>
//     value <type, 8 hex digits> <data as hex digits, "-" when empty> <name>
//     end
// Paths and names run to the end of the line and cannot hold CR or LF. The
// closing "end" makes a cut-off file detectable.
class RegistryDocument {
public:
    // Anything that is not exactly this form (including a second key or value
    // of the same name) gives no document.
    static std::optional<RegistryDocument> parse(const QByteArray &text);
    QByteArray toText() const;

    static bool isValidName(const std::string &name);

    const RegistryKeyRecord *findKey(std::uint32_t root, const std::string &path) const;
    RegistryKeyRecord &ensureKey(std::uint32_t root, const std::string &path);
    static const RegistryValueRecord *findValue(const RegistryKeyRecord &key,
                                                const std::string &name);
    // Replaces any value of that name.
    static void setValue(RegistryKeyRecord &key, const RegistryValueRecord &value);

private:
    bool parseLine(const QByteArray &line, std::unordered_set<std::string> &names);

    std::vector<RegistryKeyRecord> m_keys;
};

} // namespace brimo
