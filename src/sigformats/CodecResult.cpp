#include "sigformats/CodecResult.h"

namespace vellumix::sigformats {

namespace {

std::string WithWhy(std::string text, std::string_view why) {
    if (!why.empty()) {
        text.append(" (").append(why).append(")");
    }
    return text;
}

}  // namespace

std::string NotValidFileText(std::string_view extension, std::string_view why) {
    return WithWhy("not a valid ." + std::string(extension) + " file", why);
}

std::string CannotStoreText(std::string_view extension, std::string_view why) {
    return WithWhy("the signature cannot be stored as ." + std::string(extension), why);
}

CodecError NotValidFile(std::string_view extension, std::string_view why) {
    return {CodecErrc::kNotOfFormat, NotValidFileText(extension, why)};
}

CodecError NoPointsIn(std::string_view extension) {
    return {CodecErrc::kNoPoints, NotValidFileText(extension)};
}

CodecError CannotStore(std::string_view extension, std::string_view why) {
    return {CodecErrc::kCannotStore, CannotStoreText(extension, why)};
}

CodecError TooManyPoints() {
    return {CodecErrc::kTooManyPoints,
            "more than " + std::to_string(kMaxDecodedPoints) + " points: not a signature"};
}

}  // namespace vellumix::sigformats
