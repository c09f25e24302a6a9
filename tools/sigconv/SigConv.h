// The command line of vellumix-sigconv, kept out of main() so the tests can
// drive it without starting a process.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace vellumix::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // unreadable, malformed or unrepresentable input
inline constexpr int kExitUsage = 2;   // wrong arguments

// args without the program name. Results of --info and --help go to out;
// a failure is one line on err, "vellumix-sigconv: ..." Returns the exit status.
int RunSigConv(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace vellumix::tools
