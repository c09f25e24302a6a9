// The command line of vellumix-sigconv, kept out of main() so the tests can
// drive it without starting a process.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace vellumix::tools::sigconv {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // unreadable, malformed or unrepresentable input
inline constexpr int kExitUsage = 2;   // wrong arguments

// The pictures (.png, .svg, .pdf): pixels for .png, points (1/72 inch) for
// the vector files. The default is the pad's screen.
inline constexpr int kDefaultPictureWidth = 320;
inline constexpr int kDefaultPictureHeight = 240;
inline constexpr int kMaxPictureSide = 8192;
inline constexpr double kDefaultPenWidth = 3.0;  // in the picture's units

// args without the program name. in is read for an input named "-"; out
// takes --info, --help, --version and an output named "-"; a failure is one
// line on err, "vellumix-sigconv: ...". Returns the exit status.
int RunSigConv(std::span<const std::string> args, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace vellumix::tools::sigconv
