#include "sigfiles/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace vellumix::sigfiles {

namespace {

// Suffix of the temporary file written beside the target; mkstemp fills the X's.
constexpr std::string_view kTempSuffix = ".part-XXXXXX";
constexpr mode_t kNewFileMode = 0666;
// Reads a regular file in pieces of this size, so that a file that grows
// while it is read is noticed at the cap rather than read without end.
constexpr std::size_t kReadChunk = 1u << 20;

std::string Errno(std::string_view what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

ReadResult Refuse(ReadFailure failure, std::string error) {
    return {{}, failure, std::move(error)};
}

std::string NotRegularText(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "is a directory";
    }
    if (S_ISFIFO(mode)) {
        return "is a pipe (FIFO), not a regular file";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "is a device, not a regular file";
    }
    return "is not a regular file";
}

std::string TooLargeText(std::size_t maxBytes) {
    return "file too large (more than " + std::to_string(maxBytes) + " bytes)";
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int Get() const { return m_fd; }
    // Closes now, for a caller that must see close's error.
    int Close() {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc;
    }

private:
    int m_fd;
};

}  // namespace

ReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
    // Looked at before opening: opening a device can have effects of its own
    // (a serial port raises its lines), and a FIFO would wait for a writer.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) {
        return Refuse(ReadFailure::kCannotOpen, Errno("cannot open", errno));
    }
    if (!S_ISREG(before.st_mode)) {
        return Refuse(ReadFailure::kNotRegular, NotRegularText(before.st_mode));
    }
    // O_NONBLOCK: should the name have been swapped for a FIFO since, the
    // open still returns at once and the check below refuses it.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) {
        return Refuse(ReadFailure::kCannotOpen, Errno("cannot open", errno));
    }
    return ReadWholeDescriptor(fd.Get(), maxBytes);
}

ReadResult ReadWholeDescriptor(int fd, std::size_t maxBytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return Refuse(ReadFailure::kReadFailed, Errno("cannot read", errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return Refuse(ReadFailure::kNotRegular, NotRegularText(st.st_mode));
    }
    if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        return Refuse(ReadFailure::kTooLarge, TooLargeText(maxBytes));
    }
    Bytes bytes;
    // The byte past the end is read for too, to see the end: room for it now
    // keeps the last read from doubling the buffer.
    const auto size = static_cast<std::size_t>(st.st_size);
    bytes.reserve(size + 1);
    // One byte past the cap tells a file that grew beyond it.
    const std::size_t limit = maxBytes + 1;
    while (bytes.size() < limit) {
        // The stated size in chunks, then one byte to see the end; only a
        // file that grows while it is read goes on in chunks to the cap.
        const std::size_t at = bytes.size();
        const std::size_t want = at < size    ? std::min(kReadChunk, size - at)
                                 : at == size ? 1
                                              : std::min(kReadChunk, limit - at);
        bytes.resize(at + want);
        // pread: a handed-over descriptor may have been read from already.
        const ssize_t n = ::pread(fd, bytes.data() + at, want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) {
            bytes.resize(at);
            continue;
        }
        if (n < 0) {
            return Refuse(ReadFailure::kReadFailed, Errno("cannot read", errno));
        }
        bytes.resize(at + static_cast<std::size_t>(n));
        if (n == 0) {
            return {std::move(bytes), ReadFailure::kNone, {}};
        }
    }
    return Refuse(ReadFailure::kTooLarge, TooLargeText(maxBytes));
}

WriteResult WriteFileReplacing(const std::filesystem::path& path,
                               std::span<const std::uint8_t> bytes) {
    // A folder, FIFO or device under the name is not a file to replace.
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
        return {WriteFailure::kCannotCreate, NotRegularText(target.st_mode)};
    }
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    // A hidden name beside the target: ".name.part-XXXXXX".
    std::string hidden(1, '.');
    hidden.append(path.filename().string()).append(kTempSuffix);
    std::string temp = (dir / hidden).string();
    Fd fd(::mkstemp(temp.data()));
    if (fd.Get() < 0) {
        return {WriteFailure::kCannotCreate,
                Errno("cannot create a file in " + dir.string(), errno)};
    }
    // mkstemp makes the file private; give it the mode a plain create would,
    // or keep the mode of the file it replaces.
    mode_t mode = 0;
    if (::stat(path.c_str(), &target) == 0) {
        mode = target.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = kNewFileMode & ~mask;
    }
    std::string error;
    std::size_t done = 0;
    while (error.empty() && done < bytes.size()) {
        const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = Errno("cannot write", n < 0 ? errno : ENOSPC);
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (error.empty() && ::fchmod(fd.Get(), mode) != 0) {
        error = Errno("cannot set the file mode", errno);
    }
    // Flushed before the rename, so that a crash leaves the old file or the
    // whole new one, never an empty one under the old name.
    if (error.empty() && ::fsync(fd.Get()) != 0) {
        error = Errno("cannot write", errno);
    }
    if (fd.Close() != 0 && error.empty()) {
        error = Errno("cannot write", errno);
    }
    if (error.empty() && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = Errno("cannot replace the file", errno);
    }
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return {WriteFailure::kWriteFailed, std::move(error)};
    }
    return {};
}

}  // namespace vellumix::sigfiles
