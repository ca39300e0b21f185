#include "settings/registryvalue.h"

namespace brimo {

std::string getRegistryValue(RegistryBackend &registry, std::uint32_t rootKey,
                             const std::string &keyPath, const std::string &valueName,
                             const std::string &defaultText)
{
    std::string result = defaultText;
    RegistryBackend::Key key = 0;
    // Not tested on purpose: a missing key leaves the handle null and the
    // query below fails, which reads as the empty text.
    registry.openKey(rootKey, keyPath, &key);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (registry.queryValue(key, valueName, &type, nullptr, &size) != kRegOk) {
        result.clear();
    } else if (type == kRegSz) {
        // The reported size may exceed what the second query delivers; the
        // spaces then stay behind the string's NUL and are cut off with it.
        std::string buffer(size, ' ');
        registry.queryValue(key, valueName, &type, reinterpret_cast<unsigned char *>(buffer.data()),
                            &size);
        // Single-byte and double-byte code pages never use a NUL byte inside a
        // character, so cutting the bytes equals cutting the converted text.
        result = buffer.substr(0, buffer.find('\0'));
    }
    registry.closeKey(key);
    return result;
}

void setRegistryValue(RegistryBackend &registry, std::uint32_t rootKey, const std::string &keyPath,
                      const std::string &valueName, const std::string &text)
{
    RegistryBackend::Key key = 0;
    registry.createKey(rootKey, keyPath, &key);
    registry.setValue(key, valueName, kRegSz, reinterpret_cast<const unsigned char *>(text.c_str()),
                      static_cast<std::uint32_t>(text.size() + 1));
    registry.closeKey(key);
}

} // namespace brimo
