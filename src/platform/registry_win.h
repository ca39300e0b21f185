#pragma once

#include "platform/registrybackend.h"

namespace brimo {

// The Windows registry through its ANSI functions, always in the 32-bit view:
// the earlier 32-bit utility kept its settings there and a 64-bit build must
// find them (below Software\WOW6432Node as seen by 64-bit programs). A key
// below HKEY_LOCAL_MACHINE\Software that holds no value yet first takes over
// what the user's VirtualStore holds for it, where Windows kept the earlier
// utility's settings when it ran without administrator rights.
class WinRegistry : public RegistryBackend {
public:
    long openKey(std::uint32_t root, const std::string &path, Key *key) override;
    long createKey(std::uint32_t root, const std::string &path, Key *key) override;
    long queryValue(Key key, const std::string &name, std::uint32_t *type, unsigned char *data,
                    std::uint32_t *size) override;
    long setValue(Key key, const std::string &name, std::uint32_t type, const unsigned char *data,
                  std::uint32_t size) override;
    long closeKey(Key key) override;
};

} // namespace brimo
