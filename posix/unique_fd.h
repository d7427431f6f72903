// The one owner of a POSIX descriptor in both programs: it closes the descriptor once, and never
// one that is not open. A descriptor opened through the file-system seam is closed through it too,
// so that a test's seam sees every close; any other is closed by the system.
#pragma once

namespace PosixFiles {

class IFileSystem;

class CUniqueFd {
  public:
    CUniqueFd() noexcept = default;
    // Closed by the system.
    explicit CUniqueFd(int fd) noexcept : m_fd(fd) {}
    // Closed through `fs`; opened later through Out().
    explicit CUniqueFd(IFileSystem& fs) noexcept : m_fs(&fs) {}
    ~CUniqueFd() { Close(); }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    CUniqueFd(CUniqueFd&& other) noexcept;
    CUniqueFd& operator=(CUniqueFd&& other) noexcept;

    // Where an open call puts the new descriptor; what was held before is closed.
    int& Out() noexcept;
    int Get() const noexcept { return m_fd; }
    bool IsOpen() const noexcept { return m_fd >= 0; }
    // Closes now, for a caller to whom the result matters: 0 or an errno value, 0 when there was
    // nothing to close. The owner holds nothing afterwards.
    int Close() noexcept;
    // Hands the descriptor over to a caller that keeps it beyond this owner's scope.
    int Release() noexcept;

  private:
    IFileSystem* m_fs = nullptr;
    int m_fd = -1;
};

}  // namespace PosixFiles
