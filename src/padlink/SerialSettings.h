// The port string given to SerialPort::Open and its line settings. The program names a port
// as "COM3/baud=38400/parity=N/stop=1/data=8": the port name, a separator,
// then settings in the Windows device-control form ("baud=38400 parity=N
// stop=1 data=8", or the short "38400,n,8,1"). This unit splits the text and
// turns the settings into numbers; it does no I/O and knows no platform. The
// line backend sets them up (serial/PosixSerialLine.h on POSIX terminals).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "padlink/PadProtocol.h"

namespace vellumix::padlink {

// Port strings outside these lengths are refused before any device is
// touched: the shortest useful one is "COM3/baud=" and the settings text has
// always been held in a 256-character field.
inline constexpr std::size_t kMinPortSpecLength = 10;
inline constexpr std::size_t kMaxPortSpecLength = 256;

// What the program opens for each of COM0..COM9: "COM" + n + this.
inline constexpr std::string_view kDefaultPortSettings = "/baud=38400/parity=N/stop=1/data=8";

// "COM<number>/baud=38400/parity=N/stop=1/data=8".
std::string DefaultPortSpec(int number);

struct PortSpec {
    std::string name;      // "COM3", or a device path such as "/dev/pts/4"
    std::string settings;  // "baud=38400 parity=N stop=1 data=8"
};

// Spaces are dropped; slashes, backslashes and tabs separate the name and the
// settings (a run of them counts as one). A port string starting with '/' is a device
// path: it ends at the first space or tab, or else at the last '/' before the
// first '=' ("/dev/pts/4/baud=38400" -> "/dev/pts/4", "baud=38400").
// Empty when the length is out of bounds or no name is left.
std::optional<PortSpec> SplitPortSpec(std::string_view portSpec);

enum class Parity { kNone, kOdd, kEven, kMark, kSpace };

// The rates a port may be given: the standard ones every line backend can set.
inline constexpr std::array kSerialBauds{110,  300,   600,   1200,  2400,   4800,
                                         9600, 19200, 38400, 57600, 115200, 230400};

struct SerialSettings {
    int baud = kSerialBaud;
    Parity parity = Parity::kNone;
    int dataBits = 8;
    int stopBits = 1;
};

// Keys (any case, in any order, a later one wins): baud (a rate, or the old
// two-digit abbreviations 11, 30, 60, 12, 24, 48, 96, 19), parity (n, o, e,
// m, s), data (5..8), stop (1, 2). to, xon, odsr, octs, dtr, rts and idsr are
// checked and then ignored: the line always runs without flow control and
// with DTR and RTS on. Empty text keeps 38400 8N1. Empty when anything is
// unknown, out of range, a rate outside kSerialBauds or 1.5 stop bits (which
// termios cannot set).
std::optional<SerialSettings> ParseSerialSettings(std::string_view text);

}  // namespace vellumix::padlink
