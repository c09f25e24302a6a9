// The command line of vellumix-sigconv, kept out of main() so the tests can
// drive it without starting a process.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace vellumix::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // unreadable, malformed or unrepresentable input
inline constexpr int kExitUsage = 2;   // wrong arguments

// args without the program name. in is read for an input named "-"; out
// takes --info, --help, --version and an output named "-"; a failure is one
// line on err, "vellumix-sigconv: ...". Returns the exit status.
int RunSigConv(std::span<const std::string> args, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace vellumix::tools
