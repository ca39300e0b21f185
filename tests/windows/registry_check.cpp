// Checks the settings store (the utility's own sources, built without Qt)
// against the real Windows registry. Prints one line per check and a closing
// "N passed, M failed"; exits non-zero on a failure. It replaces and removes
// HKEY_LOCAL_MACHINE\Software\Brimo, so it runs only where
// BRIMO_REGISTRY_SCRATCH=1 says the registry is a throw-away one.

#include "platform/registry_win.h"
#include "settings/registryvalue.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace brimo;

namespace {

constexpr std::uint32_t kMachine = 0x80000002u;
const std::string kKeyPath = "Software\\Brimo";
// Where a 64-bit program sees what 32-bit programs keep below Software.
const std::string kKeyPathSeenBy64Bit = "Software\\WOW6432Node\\Brimo";

int g_passed = 0;
int g_failed = 0;

void checkText(const std::string &what, const std::string &got, const std::string &expected)
{
    const bool ok = got == expected;
    ++(ok ? g_passed : g_failed);
    const std::string detail = ok ? "" : ": got \"" + got + "\", expected \"" + expected + "\"";
    std::printf("%s %s%s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.c_str());
}

HKEY machine()
{
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(kMachine)));
}

// Raw access with an explicit view, bypassing the store. Only the first size
// bytes of the buffer are handed over.
void rawSet(REGSAM view, const std::string &path, const std::string &name, DWORD type,
            const std::string &buffer, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(machine(), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE *>(buffer.data()), size);
    RegCloseKey(key);
}

// The value's type number and bytes, as "1:text"; "missing" when there is
// none. An empty name gives the number of values in the key instead.
std::string rawGet(REGSAM view, const std::string &path, const std::string &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(machine(), path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "missing";
    DWORD type = 0;
    DWORD size = 0;
    std::string bytes = "missing";
    if (name.empty()) {
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &size, nullptr,
                         nullptr, nullptr, nullptr);
        bytes = std::to_string(size);
    } else if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) ==
               ERROR_SUCCESS) {
        bytes.assign(size, '\x7f');
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(&bytes[0]),
                         &size);
        bytes = std::to_string(type) + ":" + bytes.substr(0, size);
    }
    RegCloseKey(key);
    return bytes;
}

std::string get(const std::string &name, const std::string &defaultText = std::string())
{
    WinRegistry registry;
    return getRegistryValue(registry, kMachine, kKeyPath, name, defaultText);
}

void set(const std::string &name, const std::string &text)
{
    WinRegistry registry;
    setRegistryValue(registry, kMachine, kKeyPath, name, text);
}

void missingKey()
{
    RegDeleteKeyExA(machine(), kKeyPath.c_str(), KEY_WOW64_32KEY, 0);
    checkText("no key: the key is really missing", rawGet(KEY_WOW64_32KEY, kKeyPath, "COMPort"),
              "missing");
    checkText("no key: a value reads as the empty text, not the default", get("COMPort", "d"), "");
}

// The first write creates the key; every text is stored as a string with its
// NUL and read back as written.
void writtenValues()
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"COMPort", "3"},
        {"COMPort", ""},
        {"ProxyPort", "80ab"},
        {"ProxyServer", " proxy.example.net  x "},
    };
    for (const auto &[name, text] : cases) {
        set(name, text);
        checkText(name + " \"" + text + "\" is stored as a string",
                  rawGet(KEY_WOW64_32KEY, kKeyPath, name), "1:" + text + '\0');
        checkText(name + " \"" + text + "\" reads back", get(name, "d"), text);
    }
}

struct StoredCase {
    const char *what;
    DWORD type;
    std::string buffer; // what lies in memory when the value is stored
    DWORD size;         // how many bytes of it are handed over
    const char *defaultText;
    const char *expected;
};

void storedValues()
{
    const std::string dword("\x03\x00\x00\x00", 4);
    const std::vector<StoredCase> cases = {
        {"number type reads as the empty text", REG_DWORD, dword, 4, "", ""},
        {"number type reads as the caller's default", REG_DWORD, dword, 4, "7", "7"},
        {"NUL in the middle cuts the text", REG_SZ, std::string("ab\0cd", 6), 6, "", "ab"},
        {"string without terminating NUL reads in full", REG_SZ, "12X", 2, "", "12"},
        {"string of one NUL reads as the empty text", REG_SZ, std::string(1, '\0'), 1, "d", ""},
    };
    for (const StoredCase &c : cases) {
        rawSet(KEY_WOW64_32KEY, kKeyPath, "COMPort", c.type, c.buffer, c.size);
        // The system must hold exactly the bytes handed over, or the case
        // tests something else.
        const bool asGiven = rawGet(KEY_WOW64_32KEY, kKeyPath, "COMPort") ==
                             std::to_string(c.type) + ":" + c.buffer.substr(0, c.size);
        checkText(c.what, asGiven ? get("COMPort", c.defaultText) : "<not stored as given>",
                  c.expected);
    }
}

void repeatedWrites()
{
    const std::string before = rawGet(KEY_WOW64_32KEY, kKeyPath, "");
    for (const char *text : {"1", "2", "3"})
        set("COMPort", text);
    set("comport", "4");
    checkText("repeated writes: the last one is read", get("COMPort"), "4");
    checkText("repeated writes create no second value", rawGet(KEY_WOW64_32KEY, kKeyPath, ""),
              before);
}

void thirtyTwoBitView()
{
    rawSet(KEY_WOW64_64KEY, kKeyPathSeenBy64Bit, "ProxyServer", REG_SZ, "legacy", 7);
    checkText("a value left by a 32-bit program is read", get("ProxyServer"), "legacy");
    set("ProxyPort", "8080");
    checkText("a written value lands in the 32-bit view",
              rawGet(KEY_WOW64_64KEY, kKeyPathSeenBy64Bit, "ProxyPort"), std::string("1:8080", 7));
    checkText("a written value stays out of the 64-bit view",
              rawGet(KEY_WOW64_64KEY, kKeyPath, "ProxyPort"), "missing");
}

} // namespace

int main()
{
    const char *scratch = std::getenv("BRIMO_REGISTRY_SCRATCH");
    if (!scratch || std::string(scratch) != "1") {
        std::fprintf(stderr, "refusing to touch this registry: set BRIMO_REGISTRY_SCRATCH=1 "
                             "only for a throw-away one\n");
        return 2;
    }
    missingKey();
    writtenValues();
    storedValues();
    repeatedWrites();
    thirtyTwoBitView();
    RegDeleteKeyExA(machine(), kKeyPath.c_str(), KEY_WOW64_32KEY, 0);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
