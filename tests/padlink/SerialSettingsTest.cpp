#include "padlink/SerialSettings.h"

#include <gtest/gtest.h>

#include <string>

#include "padlink/serial/PosixSerialLine.h"

namespace vellumix::padlink {
namespace {

struct SplitCase {
    std::string portSpec;
    bool ok;
    std::string name;
    std::string settings;
};

TEST(SplitPortSpec, SplitsNameAndSettings) {
    const SplitCase cases[] = {
        {DefaultPortSpec(3), true, "COM3", "baud=38400 parity=N stop=1 data=8"},
        {"COM3 / baud=38400\tparity=N", true, "COM3", "baud=38400 parity=N"},
        {"COM3\\baud=9600\\\\data=7", true, "COM3", "baud=9600 data=7"},
        {"C O M 7/baud = 19200", true, "COM7", "baud=19200"},
        {"COM3//////", true, "COM3", ""},
        {"/dev/pts/4/baud=38400/parity=N", true, "/dev/pts/4", "baud=38400 parity=N"},
        {"/dev/pts/4 baud=38400", true, "/dev/pts/4", "baud=38400"},
        {"/dev/ttyUSB0", true, "/dev/ttyUSB0", ""},
        {"COM3", false, "", ""},                  // 4 characters
        {"COM3/baud", false, "", ""},             // 9 characters
        {"//////////", false, "", ""},            // nothing but separators
        {"/baud=38400/parity=N", false, "", ""},  // a path with no name
        {"COM3/" + std::string(252, 'x'), true, "COM3", std::string(252, 'x')},  // 257 chars
        {"COM3/" + std::string(251, 'x'), true, "COM3", std::string(251, 'x')},  // 256 chars
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.portSpec);
        const auto parts = SplitPortSpec(c.portSpec);
        const bool tooLong = c.portSpec.size() > kMaxPortSpecLength;
        ASSERT_EQ(parts.has_value(), c.ok && !tooLong);
        if (parts) {
            EXPECT_EQ(parts->name, c.name);
            EXPECT_EQ(parts->settings, c.settings);
        }
    }
}

struct SettingsCase {
    const char* text;
    int baud;
    Parity parity;
    int data;
    int stop;
};

TEST(ParseSerialSettings, AcceptsKeyAndShortForms) {
    const SettingsCase cases[] = {
        {"baud=38400 parity=N stop=1 data=8", 38400, Parity::kNone, 8, 1},
        {"", 38400, Parity::kNone, 8, 1},
        {"BAUD=9600 PARITY=E DATA=7 STOP=2", 9600, Parity::kEven, 7, 2},
        {"parity=o baud=115200", 115200, Parity::kOdd, 8, 1},
        {"baud=96 parity=m", 9600, Parity::kMark, 8, 1},  // the old two-digit rate
        {"baud=19 parity=s data=5", 19200, Parity::kSpace, 5, 1},
        {"baud=1200 baud=2400", 2400, Parity::kNone, 8, 1},  // a later key wins
        {"baud=38400\tto=off xon=off odsr=off octs=off dtr=on rts=on idsr=off", 38400,
         Parity::kNone, 8, 1},
        {"38400,n,8,1", 38400, Parity::kNone, 8, 1},
        {"9600, E, 7, 2", 9600, Parity::kEven, 7, 2},
        {"96,n,8,1,x", 9600, Parity::kNone, 8, 1},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.text);
        const auto settings = ParseSerialSettings(c.text);
        ASSERT_TRUE(settings);
        EXPECT_EQ(settings->baud, c.baud);
        EXPECT_EQ(settings->parity, c.parity);
        EXPECT_EQ(settings->dataBits, c.data);
        EXPECT_EQ(settings->stopBits, c.stop);
    }
}

TEST(ParseSerialSettings, RefusesWhatItCannotSetUp) {
    const char* bad[] = {
        "baud=38401",  "baud=",         "baud=-9600",  "baud=38400x",     "parity=X",
        "parity=NN",   "data=4",        "data=9",      "stop=1.5",        "stop=0",
        "speed=38400", "baud38400",     "dtr=maybe",   "rts=yes",         "xon=hs",
        "38400,n,8",   "38400,n,8,1,z", "38400,q,8,1", "38400,n,8,1,x,y", "baud=38400parity=N",
        "=",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(ParseSerialSettings(text)) << text;
    }
}

// A pseudo-terminal ignores parity and data bits, so they are checked here.
TEST(ApplySerialSettings, SetsFramingBits) {
    termios tio{};
    tio.c_cflag = CRTSCTS;
    serial::ApplySerialSettings({9600, Parity::kOdd, 7, 2}, tio);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CMSPAR | CRTSCTS),
              static_cast<tcflag_t>(CS7 | PARENB | PARODD | CSTOPB));
    serial::ApplySerialSettings({38400, Parity::kSpace, 8, 1}, tio);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CMSPAR),
              static_cast<tcflag_t>(CS8 | PARENB | CMSPAR));
}

}  // namespace
}  // namespace vellumix::padlink
