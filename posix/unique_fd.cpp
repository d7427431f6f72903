#include "unique_fd.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "file_system.h"

namespace PosixFiles {

CUniqueFd::CUniqueFd(CUniqueFd&& other) noexcept
    : m_fs(other.m_fs), m_fd(std::exchange(other.m_fd, -1)) {}

CUniqueFd& CUniqueFd::operator=(CUniqueFd&& other) noexcept {
    if (this != &other) {
        Close();
        m_fs = other.m_fs;
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int& CUniqueFd::Out() noexcept {
    Close();
    return m_fd;
}

int CUniqueFd::Close() noexcept {
    const int fd = std::exchange(m_fd, -1);
    if (fd < 0) {
        return 0;
    }
    if (m_fs != nullptr) {
        return m_fs->Close(fd);
    }
    // On Linux the descriptor is gone even when close reports EINTR.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

int CUniqueFd::Release() noexcept {
    return std::exchange(m_fd, -1);
}

}  // namespace PosixFiles
