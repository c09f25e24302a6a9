// The pad's USB ids given at run time: what counts as VID:PID, and which of
// the option, the environment variable, the profile and the default decides.
#include "padlink/PadUsbIds.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace vellumix::padlink {
namespace {

using Value = std::optional<std::string_view>;

TEST(PadUsbIdsTest, TheOptionWinsOverTheVariableOverTheProfileOverTheDefault) {
    constexpr UsbIds kA{0x2a3b, 0x0042};
    constexpr UsbIds kB{0x1234, 0xabcd};
    constexpr UsbIds kC{0x0403, 0x6001};
    const struct {
        Value option, environment, profile;
        UsbIdSource source;
        UsbIds ids;
        const char* error;  // a part of it; empty: no error
    } cases[] = {
        {{}, {}, {}, UsbIdSource::kDefault, kDefaultUsbIds, ""},
        {{}, {}, "0403:6001", UsbIdSource::kProfile, kC, ""},
        {{}, "1234:ABCD", "0403:6001", UsbIdSource::kEnvironment, kB, ""},
        {"2a3b:42", "1234:abcd", "0403:6001", UsbIdSource::kOption, kA, ""},
        // An empty variable is unset, as `VELLUMIX_USB_ID= program` means.
        {{}, "", "0403:6001", UsbIdSource::kProfile, kC, ""},
        // A bad value that decides is an error naming where it came from; it
        // never falls through to the ids of a lower source.
        {"2a3b",
         "1234:abcd",
         {},
         UsbIdSource::kOption,
         kDefaultUsbIds,
         "--usb-id: '2a3b' is not VID:PID"},
        {{},
         "12345:1",
         "0403:6001",
         UsbIdSource::kEnvironment,
         kDefaultUsbIds,
         "VELLUMIX_USB_ID: '12345:1' is not VID:PID"},
        {{},
         {},
         "x:y",
         UsbIdSource::kProfile,
         kDefaultUsbIds,
         "the profile's Pad/UsbId: 'x:y' is not VID:PID"},
    };
    for (const auto& c : cases) {
        const UsbIdChoice choice = ChooseUsbIds(c.option, c.environment, c.profile);
        SCOPED_TRACE(choice.error);
        EXPECT_EQ(choice.source, c.source);
        EXPECT_EQ(choice.ids, c.ids);
        if (*c.error == '\0') {
            EXPECT_TRUE(choice.error.empty());
        } else {
            EXPECT_NE(choice.error.find(c.error), std::string::npos);
        }
    }
}

TEST(PadUsbIdsTest, IdsAreTwoHexNumbersOfAtMostFourDigits) {
    EXPECT_EQ(ParseUsbIds("1209:0001"), kDefaultUsbIds);
    EXPECT_EQ(ParseUsbIds("FFFF:0"), (UsbIds{0xffff, 0x0000}));
    for (const char* bad : {"", ":", "1209", "1209:", ":0001", "1209-0001", "0x1209:0001",
                            "1209:00001", "1209:0001:2", " 1209:0001", "-1:1", "12g9:0001"}) {
        EXPECT_FALSE(ParseUsbIds(bad)) << bad;
    }
    // lsusb's and sysfs's form, which the udev rule must match.
    EXPECT_EQ(FormatUsbIds({0x2A3B, 0x42}), "2a3b:0042");
}

}  // namespace
}  // namespace vellumix::padlink
