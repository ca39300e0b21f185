// A Windows build of the flash tool's outside, for checking how the utility
// starts a Windows "sirfflashcl.exe" through Wine. It accepts the utility's two
// command lines, records how they arrived, and handles the named work file as
// the real tool does: the read writes a 32-byte identity dump into it, the
// write opens and reads the whole image from it. It never talks to a device.
//
// Beside itself it keeps "sirfflashcl.log" (per run: the command line as
// Windows hands it over, the arguments, what happened to the work file, the
// exit code) and reads "sirfflashcl.faults" (one line consumed per run: "ok"
// or "exit N", which exits N at once). BRIMO_FLASHTOOL_FAULT applies to every
// run. The system number in the dump is BRIMO_FLASHTOOL_SYSTEM, else W64T00L1.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kUsageExit = 2;
constexpr int kFileExit = 4;
constexpr DWORD kIdentitySize = 32;
constexpr std::size_t kSystemNumberOffset = 16;

using Arguments = std::vector<std::string>;

std::string ownFolder()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string self(path, length);
    return self.substr(0, self.find_last_of("\\/") + 1);
}

class RunLog {
public:
    explicit RunLog(const std::string &folder) : m_path(folder + "sirfflashcl.log") {}

    void add(const std::string &line) { m_text += line + "\n"; }

    void write() const
    {
        if (std::FILE *file = std::fopen(m_path.c_str(), "ab")) {
            std::fputs(m_text.c_str(), file);
            std::fclose(file);
        }
    }

private:
    std::string m_path;
    std::string m_text;
};

// The first line of the faults file, which is removed; the environment wins.
std::string takeFault(const std::string &folder)
{
    if (const char *fault = std::getenv("BRIMO_FLASHTOOL_FAULT"))
        return fault;
    const std::string path = folder + "sirfflashcl.faults";
    std::string text;
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        char buffer[512];
        std::size_t count = 0;
        while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, count);
        std::fclose(file);
    }
    const std::size_t end = text.find('\n');
    if (end == std::string::npos) {
        std::remove(path.c_str());
        return text;
    }
    if (std::FILE *file = std::fopen(path.c_str(), "wb")) {
        std::fputs(text.substr(end + 1).c_str(), file);
        std::fclose(file);
    }
    return text.substr(0, end);
}

// The exit code a fault asks for, or -1 to work normally.
int faultExitCode(const std::string &fault)
{
    if (fault.rfind("exit ", 0) != 0)
        return -1;
    return std::atoi(fault.c_str() + 5);
}

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

// The port after -l may be any number; an empty pattern accepts it.
bool isReadCommand(const Arguments &args)
{
    return matches(args, {"-b", "57600", "-l", "", "-r", "-f", "0x080000", "-t", "0x080020"});
}

bool isWriteCommand(const Arguments &args)
{
    return matches(args, {"-b", "57600", "-l", "", "-o", "0", "-c", "0"});
}

std::string systemError(const char *what)
{
    return std::string(what) + ": error " + std::to_string(GetLastError());
}

// Header, system number, tail: the block's bytes in address order. The header
// holds a line feed and a NUL, so a dump written as text would show.
int writeIdentity(const std::string &path, RunLog &log)
{
    std::string block("BRIMO\n\0ID-BLOCK", 15);
    block.resize(kSystemNumberOffset, '\xFF');
    const char *systemNumber = std::getenv("BRIMO_FLASHTOOL_SYSTEM");
    block += systemNumber ? systemNumber : "W64T00L1";
    block.resize(kIdentitySize, '\x5A');

    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        log.add(systemError("cannot create the dump"));
        return kFileExit;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, block.data(), kIdentitySize, &written, nullptr);
    CloseHandle(file);
    log.add("wrote " + std::to_string(written) + " bytes");
    return ok && written == kIdentitySize ? 0 : kFileExit;
}

int readImage(const std::string &path, RunLog &log)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        log.add(systemError("cannot open the image"));
        return kFileExit;
    }
    unsigned long long total = 0;
    char buffer[65536];
    DWORD count = 0;
    BOOL ok = TRUE;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &count, nullptr)) && count > 0)
        total += count;
    CloseHandle(file);
    log.add("read " + std::to_string(total) + " bytes");
    return ok && total > 0 ? 0 : kFileExit;
}

// Like many Windows programs, the tool works on the file's full path name: a
// path only Wine's file functions understand would not survive this.
std::string fullPath(const std::string &path, RunLog &log)
{
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    const std::string result = length > 0 && length < MAX_PATH ? std::string(full, length) : path;
    log.add("work file: " + result);
    return result;
}

// Opens COM n as the real tool does before it talks to the device, and sets
// the line to 57600,N,8,1. A port that cannot be opened is only logged: no
// device answers this tool anyway.
void openPort(const std::string &port, RunLog &log)
{
    const std::string name = "COM" + port;
    const HANDLE line = CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (line == INVALID_HANDLE_VALUE) {
        log.add("port: " + systemError(name.c_str()));
        return;
    }
    DCB settings = {};
    settings.DCBlength = sizeof settings;
    const bool set = GetCommState(line, &settings) && [&] {
        settings.BaudRate = 57600;
        settings.ByteSize = 8;
        settings.Parity = NOPARITY;
        settings.StopBits = ONESTOPBIT;
        return SetCommState(line, &settings) != FALSE;
    }();
    CloseHandle(line);
    log.add("port: " + (set ? name + " at 57600" : systemError(name.c_str())));
}

int run(const Arguments &args, const std::string &folder, RunLog &log)
{
    const int faultExit = faultExitCode(takeFault(folder));
    if (faultExit >= 0)
        return faultExit;
    if (isReadCommand(args) || isWriteCommand(args))
        openPort(args[4], log);
    if (isReadCommand(args))
        return writeIdentity(fullPath(args[0], log), log);
    if (isWriteCommand(args))
        return readImage(fullPath(args[0], log), log);
    std::fprintf(stderr, "usage: sirfflashcl.exe FILE -b 57600 -l N -r -f 0x080000 -t 0x080020\n"
                         "       sirfflashcl.exe FILE -b 57600 -l N -o 0 -c 0\n");
    return kUsageExit;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string folder = ownFolder();
    RunLog log(folder);
    log.add(std::string("command line: ") + GetCommandLineA());
    Arguments args(argv + 1, argv + argc);
    std::string listed = "arguments:";
    for (const std::string &arg : args)
        listed += " [" + arg + "]";
    log.add(listed);

    const int code = run(args, folder, log);
    log.add("exit " + std::to_string(code));
    log.write();
    return code;
}
