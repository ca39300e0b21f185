// A Windows build of the flash tool's outside, for checking how the utility
// starts a Windows "sirfflashcl.exe" through Wine. It accepts the utility's two
// command lines and handles the named work file as the real tool does: the
// read writes a 32-byte identity dump (system number W64T00L1) into it, the
// write reads the whole image from it. It never talks to a device. Beside
// itself it appends to "sirfflashcl.log" (the arguments, what happened to the
// work file, the exit code) and takes and removes "sirfflashcl.faults"
// ("exit N": exit N at once).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kUsageExit = 2;
constexpr int kFileExit = 4;
constexpr DWORD kIdentitySize = 32;

using Arguments = std::vector<std::string>;

std::string g_log;

void log(const std::string &line)
{
    g_log += line + "\n";
}

std::string ownFolder()
{
    char path[MAX_PATH] = {};
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return self.substr(0, self.find_last_of("\\/") + 1);
}

// The exit code the faults file asks for, or -1 to work normally.
int takeFault(const std::string &folder)
{
    const std::string path = folder + "sirfflashcl.faults";
    char fault[64] = {};
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        std::fgets(fault, sizeof fault, file);
        std::fclose(file);
        std::remove(path.c_str());
    }
    return std::string(fault).rfind("exit ", 0) == 0 ? std::atoi(fault + 5) : -1;
}

// The port after -l may be any number; an empty pattern accepts it.
bool matches(const Arguments &args, const std::vector<const char *> &options)
{
    if (args.size() != options.size() + 1)
        return false;
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i][0] != '\0' && args[i + 1] != options[i])
            return false;
    }
    return true;
}

// Header, system number, tail: the block's bytes in address order. The header
// holds a line feed and a NUL, so a dump written as text would show.
int writeIdentity(const std::string &path)
{
    std::string block("BRIMO\n\0ID-BLOCK\xFFW64T00L1", 24);
    block.resize(kIdentitySize, '\x5A');
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        log("cannot create the dump: error " + std::to_string(GetLastError()));
        return kFileExit;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, block.data(), kIdentitySize, &written, nullptr);
    CloseHandle(file);
    log("wrote " + std::to_string(written) + " bytes");
    return ok && written == kIdentitySize ? 0 : kFileExit;
}

int readImage(const std::string &path)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        log("cannot open the image: error " + std::to_string(GetLastError()));
        return kFileExit;
    }
    unsigned long long total = 0;
    char buffer[65536];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0)
        total += count;
    CloseHandle(file);
    log("read " + std::to_string(total) + " bytes");
    return total > 0 ? 0 : kFileExit;
}

int run(const Arguments &args, const std::string &folder)
{
    const int faultExit = takeFault(folder);
    if (faultExit >= 0)
        return faultExit;
    const bool read =
        matches(args, {"-b", "57600", "-l", "", "-r", "-f", "0x080000", "-t", "0x080020"});
    if (!read && !matches(args, {"-b", "57600", "-l", "", "-o", "0", "-c", "0"})) {
        return kUsageExit;
    }
    return read ? writeIdentity(args[0]) : readImage(args[0]);
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string folder = ownFolder();
    const Arguments args(argv + 1, argv + argc);
    std::string listed = "arguments:";
    for (const std::string &arg : args)
        listed += " [" + arg + "]";
    log(listed);
    const int code = run(args, folder);
    log("exit " + std::to_string(code));
    if (std::FILE *file = std::fopen((folder + "sirfflashcl.log").c_str(), "ab")) {
        std::fputs(g_log.c_str(), file);
        std::fclose(file);
    }
    return code;
}
