// A private D-Bus daemon per test, so no test sees the user's session bus or
// another test's names. It runs with the session bus's policy (anyone may
// own and call anything); serviceDir, when given, is where it looks for
// activation files. Stopped by its pid when the object goes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace vellumix::testsupport {

inline constexpr const char* kDbusDaemon = "dbus-daemon";

// Starts argv[0] (looked for on PATH) with its standard output on a pipe,
// its standard error thrown away and nothing else of the test's (a
// pseudo-terminal it inherited would outlive the virtual pad that closed
// it), and reads the first line it prints. pid is -1 when it did not start.
struct Spawned {
    pid_t pid = -1;
    std::string firstLine;
};

inline Spawned SpawnReadingFirstLine(std::vector<std::string> argv) {
    Spawned spawned;
    int out[2];
    if (::pipe(out) != 0) {
        return spawned;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    std::vector<char*> args;
    for (std::string& a : argv) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    if (::posix_spawnp(&spawned.pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        spawned.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n') {
        spawned.firstLine.push_back(c);
    }
    ::close(out[0]);
    return spawned;
}

class PrivateBus {
public:
    explicit PrivateBus(const std::filesystem::path& serviceDir = {}) {
        const std::filesystem::path config = m_dir / "bus.conf";
        std::ofstream(config)
            << "<!DOCTYPE busconfig PUBLIC "
               "\"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            << "<busconfig><type>session</type>"
            << "<listen>unix:dir=" << m_dir.path().string() << "</listen>"
            << "<auth>EXTERNAL</auth>"
            << (serviceDir.empty() ? std::string()
                                   : "<servicedir>" + serviceDir.string() + "</servicedir>")
            << "<policy context=\"default\">"
            << "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
            << "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
            << "</policy></busconfig>\n";
        // The daemon prints its address once it listens.
        const Spawned daemon = SpawnReadingFirstLine(
            {kDbusDaemon, "--config-file=" + config.string(), "--nofork", "--print-address"});
        m_pid = daemon.pid;
        m_address = daemon.firstLine;
    }
    ~PrivateBus() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon did not start.
    const std::string& Address() const { return m_address; }
    pid_t Pid() const { return m_pid; }

private:
    TempDir m_dir{"vellumix-bus"};
    pid_t m_pid = -1;
    std::string m_address;
};

}  // namespace vellumix::testsupport
