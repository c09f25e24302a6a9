// What a signature file holds, for the converter's --info: the format, its
// header fields, the point and stroke counts and the bounding box, as
// "name: value" lines or as one JSON object with the same facts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sigfiles/FileKind.h"

namespace vellumix::sigfiles {

struct InfoFact {
    enum class Type { kText, kNumber, kFlag };
    std::string name;   // "x range"; the JSON key puts '_' for the spaces
    std::string value;  // a number's digits, "yes"/"no" for a flag
    Type type = Type::kText;
};

struct InfoResult {
    // The facts found before any failure: a bad stream still shows its header.
    std::vector<InfoFact> facts;
    std::string error;  // empty: the file is of its kind and decodes
};

// Fails when the file is not of its kind's format.
InfoResult DescribeFile(FileKind kind, std::span<const std::uint8_t> file);

// "name: value\n" per fact.
std::string InfoAsText(const std::vector<InfoFact>& facts);
// One object on one line, keys in the facts' order; numbers and flags
// unquoted, text escaped. An error, when given, becomes an "error" member.
std::string InfoAsJson(const std::vector<InfoFact>& facts, const std::string& error = {});

}  // namespace vellumix::sigfiles
