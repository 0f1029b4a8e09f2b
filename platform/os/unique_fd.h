#pragma once
// File descriptors with one owner, and the small whole-file read the /proc readers
// share (one open, usually one read, into the caller's buffer).

#include <cstddef>
#include <utility>

#include <fcntl.h>

namespace ospreon::os {

class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// Reads the first `size` bytes of the file `path` (relative to `dirFd`; AT_FDCWD for
// an ordinary path) into `buffer`, all of it when shorter. Returns the byte count,
// or -errno when the file cannot be opened or read.
long ReadFileHead(int dirFd, const char* path, char* buffer, std::size_t size);

} // namespace ospreon::os
