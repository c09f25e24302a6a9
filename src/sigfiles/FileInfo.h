// What a signature file holds, for the converter's --info: the format, its
// header fields, the point and stroke counts and the bounding box, as
// "name: value" lines or as one JSON object with the same facts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sigfiles/FileKind.h"

namespace vellumix::sigfiles {

struct InfoFact {
    enum class Type { kText, kNumber, kFlag };
    std::string name;   // "x range"; the JSON key puts '_' for the spaces
    std::string value;  // a number's digits, "yes"/"no" for a flag
    Type type = Type::kText;
};

// Collects facts in the order they are added; each format's row adds its
// header's (sigfiles/FormatTable.h).
class InfoFacts {
public:
    void Add(std::string_view name, std::string_view value) {
        m_facts.push_back({std::string(name), std::string(value), InfoFact::Type::kText});
    }
    void Add(std::string_view name, const char* value) { Add(name, std::string_view(value)); }
    void Add(std::string_view name, const std::string& value) {
        Add(name, std::string_view(value));
    }
    void Add(std::string_view name, bool value) {
        m_facts.push_back({std::string(name), value ? "yes" : "no", InfoFact::Type::kFlag});
    }
    template <typename T>
    requires std::is_integral_v<T>
    void Add(std::string_view name, T value) {
        m_facts.push_back({std::string(name), std::to_string(+value), InfoFact::Type::kNumber});
    }
    std::vector<InfoFact> Take() { return std::move(m_facts); }

private:
    std::vector<InfoFact> m_facts;
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
