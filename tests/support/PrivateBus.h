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

#include "support/TempDir.h"

extern char** environ;

namespace vellumix::testsupport {

inline constexpr const char* kDbusDaemon = "dbus-daemon";

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
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        // Its complaints (it may not raise its descriptor limit here) are
        // not the test's.
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        // Nothing else of the test's: a pseudo-terminal it inherited would
        // outlive the virtual pad that closed it.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        const std::string configArg = "--config-file=" + config.string();
        char* argv[] = {const_cast<char*>(kDbusDaemon), const_cast<char*>(configArg.c_str()),
                        const_cast<char*>("--nofork"), const_cast<char*>("--print-address"),
                        nullptr};
        if (::posix_spawnp(&m_pid, kDbusDaemon, &actions, nullptr, argv, environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // The daemon prints its address once it listens.
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
            m_address.push_back(c);
        }
        ::close(out[0]);
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
