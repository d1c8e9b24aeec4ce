#pragma once

#include <sys/resource.h>

// While it lives, no file of this process may grow beyond the given size: a write past it fails
// with EFBIG, as on a full disk, even for root. The signal that would end the process for it is
// ignored meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
