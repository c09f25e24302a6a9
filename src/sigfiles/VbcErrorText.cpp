#include "sigfiles/VbcErrorText.h"

namespace vellumix::sigfiles {

namespace vbc = sigformats::vbc;

std::string_view VbcErrorText(vbc::VbcError error) {
    switch (error) {
        case vbc::VbcError::kSuccess:
            return "success";
        case vbc::VbcError::kOutOfMemory:
            return "out of memory";
        case vbc::VbcError::kEmptyArgument:
            return "empty input";
        case vbc::VbcError::kNotPossible:
            return "operation not possible";
        case vbc::VbcError::kInvalidNameOrValue:
            return "invalid header entry";
        case vbc::VbcError::kMissingArgument:
            return "missing argument";
        case vbc::VbcError::kBadHeader:
            return "bad header";
        case vbc::VbcError::kEntryNotFound:
            return "entry not found";
        case vbc::VbcError::kNotLocked:
            return "not locked";
        case vbc::VbcError::kAlreadyLocked:
            return "already locked";
        case vbc::VbcError::kWrongKey:
            return "wrong key";
    }
    return "unknown error";
}

std::string VbcErrorSuffix(vbc::VbcError error) {
    return " (error " + std::to_string(static_cast<int>(error)) + ": " +
           std::string(VbcErrorText(error)) + ")";
}

}  // namespace vellumix::sigfiles
