#include "sigformats/vbc/VbcError.h"

namespace vellumix::sigformats::vbc {

std::string_view VbcErrorWords(VbcError error) {
    switch (error) {
        case VbcError::kSuccess:
            return "success";
        case VbcError::kOutOfMemory:
            return "out of memory";
        case VbcError::kEmptyArgument:
            return "empty input";
        case VbcError::kNotPossible:
            return "operation not possible";
        case VbcError::kInvalidNameOrValue:
            return "invalid header entry";
        case VbcError::kMissingArgument:
            return "missing argument";
        case VbcError::kBadHeader:
            return "bad header";
        case VbcError::kEntryNotFound:
            return "entry not found";
        case VbcError::kNotLocked:
            return "not locked";
        case VbcError::kAlreadyLocked:
            return "already locked";
        case VbcError::kWrongKey:
            return "wrong key";
    }
    return "unknown error";
}

std::string VbcErrorText(VbcError error) {
    return "error " + std::to_string(static_cast<int>(error)) + ": " +
           std::string(VbcErrorWords(error));
}

}  // namespace vellumix::sigformats::vbc
