// Reading a whole file and replacing one, for every program that loads or
// saves signatures. Reading takes regular files only and never waits: a FIFO
// or a device is refused before anything is read from it. Replacing never
// leaves a half-written file, and never touches the old one on a failure.
//
// Thread safety: free functions of their arguments. WriteFileReplacing reads
// the process umask for a new file's mode, which sets it briefly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vellumix::sigfiles {

using Bytes = std::vector<std::uint8_t>;

// The largest file any program loads: far beyond any signature file (a long
// one is a few kilobytes), small enough to read at once.
inline constexpr std::size_t kMaxInputBytes = 64u << 20;

enum class ReadFailure {
    kNone,
    kCannotOpen,  // missing, unreadable, or a broken link
    kNotRegular,  // a directory, FIFO, device or socket
    kTooLarge,    // more than the cap
    kReadFailed,  // an I/O error part way
};

struct ReadResult {
    Bytes bytes;
    ReadFailure failure = ReadFailure::kNone;
    std::string error;  // one line saying why; empty on success
};

// The whole file, which may be empty. A file that grows past the cap while it
// is read is refused as too large.
ReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t maxBytes = kMaxInputBytes);
// The same for a file another program opened and handed over (a picture
// passed to the capture service): read from its start, by the same rules,
// leaving its position alone. The descriptor stays the caller's.
ReadResult ReadWholeDescriptor(int fd, std::size_t maxBytes = kMaxInputBytes);

enum class WriteFailure {
    kNone,
    kCannotCreate,  // the target is not a regular file, or no temporary
                    // file could be made beside it
    kWriteFailed,   // writing, flushing or renaming failed
};

struct WriteResult {
    WriteFailure failure = WriteFailure::kNone;
    std::string error;  // one line saying why; empty on success
};

// Writes bytes to a temporary file beside path, flushes it to the disk and
// renames it over path. The new file keeps the mode of the one it replaces
// (or takes the mode a plain create would). On any failure the temporary
// file is removed and an existing file at path is left as it was.
WriteResult WriteFileReplacing(const std::filesystem::path& path,
                               std::span<const std::uint8_t> bytes);

}  // namespace vellumix::sigfiles
