// The text header of a .vbc file: version tag, then entries each introduced
// by ';', then a zero byte. Also the lock and unlock procedures, which move
// entries between the header and the enciphered stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sigformats/vbc/VbcError.h"

namespace vellumix::sigformats::vbc {

enum class VbcVersion { k10, k11, k12 };

inline constexpr std::string_view kVbcTag10 = "VBC1.0";
inline constexpr std::string_view kVbcTag11 = "VBC1.1";
inline constexpr std::string_view kVbcTag12 = "VBC1.2";
inline constexpr char kHeaderEnd = '\0';
inline constexpr char kEntrySeparator = ';';
inline constexpr char kNameValueSeparator = '=';
// Names that may be written as the letter followed directly by the value.
inline constexpr std::string_view kOneLetterNames = "?adefklmnptvx";
inline constexpr std::string_view kLockEntry = "k";        // value: the key text
inline constexpr std::string_view kLockMethodEntry = "e";  // only method "1" is known
inline constexpr std::string_view kLockMethodDes = "1";

std::string_view VersionTag(VbcVersion version);

// One header, held without its terminating zero byte. Every operation
// returns kSuccess or leaves the header as it was.
class VbcHeader {
public:
    explicit VbcHeader(VbcVersion version) : m_version(version), m_text(VersionTag(version)) {}

    // nullopt unless the text begins with one of the three tags.
    static std::optional<VbcHeader> Parse(std::string_view text);

    VbcVersion Version() const { return m_version; }
    const std::string& Text() const { return m_text; }
    // The header as stored: the text and its zero byte.
    std::string Bytes() const { return m_text + kHeaderEnd; }

    VbcError Find(std::string_view name, std::string& value) const;
    bool Has(std::string_view name) const;
    VbcError Set(std::string_view name, std::string_view value);
    VbcError Remove(std::string_view name);
    // Sets every entry of "a=1;k;e1"-style text; fails unless one was set.
    VbcError AddFromText(std::string_view text);
    // Readable entries in file order; pieces that are no entry are left out.
    std::vector<std::pair<std::string, std::string>> Entries() const;

    // Cuts all entries off, leaving the bare tag; returns their text without
    // the leading ';'.
    std::string TakeEntriesText();

private:
    VbcHeader(VbcVersion version, std::string text) : m_version(version), m_text(std::move(text)) {}

    VbcVersion m_version = VbcVersion::k12;
    std::string m_text;
};

// Enciphers stream in place (key text and hidden entries in front, padded to
// whole DES blocks) and leaves only an empty "k" (and "e") in the header.
// key: nullopt stands for a missing argument.
VbcError Lock(std::optional<std::string_view> key, VbcHeader& header,
              std::vector<std::uint8_t>& stream);
// The reverse; on success stream holds the plain point stream (with the zero
// padding of the last block) and the hidden entries are back in the header.
VbcError Unlock(std::optional<std::string_view> key, VbcHeader& header,
                std::vector<std::uint8_t>& stream);

}  // namespace vellumix::sigformats::vbc
