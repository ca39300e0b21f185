#pragma once

#include <cstdint>
#include <string>

namespace brimo {

// The string value type and the result codes with the numbers the Windows
// registry uses, so a backend can hand them through unchanged.
inline constexpr std::uint32_t kRegSz = 1;

inline constexpr long kRegOk = 0;
inline constexpr long kRegNotFound = 2;
inline constexpr long kRegAccessDenied = 5;
inline constexpr long kRegInvalidHandle = 6;
inline constexpr long kRegInvalidData = 13;
inline constexpr long kRegInvalidParameter = 87;
inline constexpr long kRegMoreData = 234;

// The raw registry primitives the settings store is written against: on
// Windows the system registry itself, elsewhere a file standing in for it.
// Every call returns kRegOk or a non-zero error code. Names and data are bytes
// in the system's 8-bit code page. Kept free of Qt so that the store and the
// Windows backend build with a plain Windows compiler.
class RegistryBackend {
public:
    using Key = std::uintptr_t; // 0 is no key

    virtual ~RegistryBackend() = default;

    // On failure *key becomes 0.
    virtual long openKey(std::uint32_t root, const std::string &path, Key *key) = 0;
    virtual long createKey(std::uint32_t root, const std::string &path, Key *key) = 0;
    // With data null only the type and the size are reported. With a buffer
    // too small for the data, the result is kRegMoreData and *size the size needed.
    virtual long queryValue(Key key, const std::string &name, std::uint32_t *type,
                            unsigned char *data, std::uint32_t *size) = 0;
    virtual long setValue(Key key, const std::string &name, std::uint32_t type,
                          const unsigned char *data, std::uint32_t size) = 0;
    virtual long closeKey(Key key) = 0;
};

} // namespace brimo
