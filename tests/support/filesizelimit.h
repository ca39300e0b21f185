#pragma once

#include <csignal>
#include <sys/resource.h>

// Lowers the process's file size limit for one scope. A write past it fails
// where a full disk would fail it, only with "File too large" in place of "No
// space left on device"; the signal such a write raises is ignored, so the
// write returns its error as it does on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_applied = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isApplied() const { return m_applied; }

private:
    rlimit m_old{};
    bool m_applied = false;
    void (*m_oldHandler)(int) = SIG_DFL;
};
