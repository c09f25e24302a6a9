#include "padd/PictureHelper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Printf.h"
#include "padlink/PadProtocol.h"
#include "sigfiles/FileAccess.h"

namespace vellumix::tools::padd {

namespace {

using Clock = std::chrono::steady_clock;

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }
    int Get() const { return m_fd; }
    void Reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

}  // namespace

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::filesystem::path DefaultPictureHelper() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return self.parent_path() / VELLUMIX_PICTURE_HELPER_FROM_BIN;
}

padservice::PictureDecoder HelperDecoder(std::filesystem::path helper) {
    return [helper =
                std::move(helper)](std::span<const std::uint8_t> file) -> padservice::PixelsResult {
        // The bytes go in as a file, so the helper reads them by the file
        // rules and the service never waits on a pipe it also reads.
        Fd input(::memfd_create("vellumix-picture", MFD_CLOEXEC));
        int out[2];
        if (input.Get() < 0 || !WriteAll(input.Get(), file.data(), file.size()) ||
            ::pipe2(out, O_CLOEXEC) != 0) {
            return {{}, cli::Printf(picture::kNoHelper, std::strerror(errno))};
        }
        Fd reader(out[0]);
        Fd writer(out[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input.Get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, writer.Get(), STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const std::string program = helper.string();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        char* envp[] = {nullptr};
        pid_t pid = -1;
        const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp);
        posix_spawn_file_actions_destroy(&actions);
        writer.Reset();
        if (spawned != 0) {
            return {{}, cli::Printf(picture::kNoHelper, program + ": " + std::strerror(spawned))};
        }
        // The answer: a tag, then the pixels or the reason.
        std::vector<std::uint8_t> answer;
        const std::size_t most = 1 + std::max(padlink::kImageBytes, kMaxPictureError);
        const auto deadline = Clock::now() + kPictureHelperTimeout;
        bool timedOut = false;
        std::vector<std::uint8_t> chunk(64 * 1024);
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd fd{reader.Get(), POLLIN, 0};
            if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) == 0) {
                timedOut = true;
                break;
            }
            const ssize_t n = ::read(reader.Get(), chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            answer.insert(answer.end(), chunk.begin(), chunk.begin() + n);
            if (answer.size() > most) {
                break;
            }
        }
        ::kill(pid, SIGKILL);  // gone already, unless it ran wild
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (timedOut) {
            return {{}, picture::kHelperTooSlow};
        }
        if (answer.size() == 1 + padlink::kImageBytes && answer[0] == kPixelsTag) {
            return {std::vector<std::uint8_t>(answer.begin() + 1, answer.end()), {}};
        }
        if (!answer.empty() && answer[0] == kErrorTag && answer.size() <= 1 + kMaxPictureError) {
            return {{}, std::string(answer.begin() + 1, answer.end())};
        }
        return {{}, picture::kHelperFailed};
    };
}

}  // namespace vellumix::tools::padd
