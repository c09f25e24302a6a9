// Error codes of the VBC codec. The numbers are those other VBC producers and
// readers report, so they are kept as they are.
#pragma once

#include <string>
#include <string_view>

namespace vellumix::sigformats::vbc {

enum class VbcError : int {
    kSuccess = 0,
    kOutOfMemory = 7,
    kEmptyArgument = 8,        // empty input, empty name, empty key
    kNotPossible = 11,         // VBC1.0 cannot be (un)locked; locking method other than "1"
    kInvalidNameOrValue = 12,  // empty after trimming, or containing ';'
    kMissingArgument = 13,
    kBadHeader = 14,  // not a VBC header, or a malformed stream header
    kEntryNotFound = 16,
    kNotLocked = 17,
    kAlreadyLocked = 18,
    kWrongKey = 40005,  // the deciphered stream does not begin with the key text
};

// Words for a code ("bad header"), for messages.
std::string_view VbcErrorWords(VbcError error);
// "error 14: bad header"
std::string VbcErrorText(VbcError error);

}  // namespace vellumix::sigformats::vbc
