// Words for the VBC codec's error codes, for the messages of the converter
// and padctl.
#pragma once

#include <string>
#include <string_view>

#include "sigformats/vbc/VbcError.h"

namespace vellumix::sigfiles {

std::string_view VbcErrorText(sigformats::vbc::VbcError error);
// " (error N: text)"
std::string VbcErrorSuffix(sigformats::vbc::VbcError error);

}  // namespace vellumix::sigfiles
