#include "sigformats/vbc/VbcHeader.h"

#include <algorithm>
#include <array>

#include "sigformats/vbc/Des.h"

namespace vellumix::sigformats::vbc {
namespace {

// Characters 1..32 (controls and space) are trimmed off names; a zero byte
// would end the header early, so it never gets that far.
constexpr char kLastTrimmedChar = ' ';

std::string_view Trim(std::string_view text) {
    const auto trimmed = [](char c) { return c >= 1 && c <= kLastTrimmedChar; };
    while (!text.empty() && trimmed(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && trimmed(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsOneLetterName(std::string_view name) {
    return name.size() == 1 && kOneLetterNames.find(name.front()) != std::string_view::npos;
}

struct Entry {
    std::string_view name;
    std::string_view value;
};

// An entry is "name=value", or a one-letter name followed directly by its
// value; anything else ("b1") is no entry and is skipped.
std::optional<Entry> ReadEntry(std::string_view piece) {
    const std::size_t equals = piece.find(kNameValueSeparator);
    if (equals != std::string_view::npos) {
        const std::string_view name = Trim(piece.substr(0, equals));
        if (name.empty()) {
            return std::nullopt;
        }
        return Entry{name, piece.substr(equals + 1)};
    }
    const std::string_view text = Trim(piece);
    if (text.empty()) {
        return std::nullopt;
    }
    // Only leading blanks go: "k " keeps its trailing space as the value.
    const std::size_t start = piece.find(text.front());
    const std::string_view name = piece.substr(start, 1);
    if (!IsOneLetterName(name)) {
        return std::nullopt;
    }
    return Entry{name, piece.substr(start + 1)};
}

// Calls visit(begin, end, entry) for every readable entry; begin is the
// position of its ';', end that of the next ';' or the end of the text.
template <typename Visit>
void ForEachEntry(std::string_view text, Visit visit) {
    std::size_t at = text.find(kEntrySeparator);
    while (at != std::string_view::npos) {
        std::size_t next = text.find(kEntrySeparator, at + 1);
        const std::size_t end = next == std::string_view::npos ? text.size() : next;
        if (const auto entry = ReadEntry(text.substr(at + 1, end - at - 1))) {
            visit(at, end, *entry);
        }
        at = next;
    }
}

std::array<std::uint8_t, kDesKeySize> DesKey(std::string_view keyText) {
    // Short keys are padded with zero bytes; only the first 8 bytes key the
    // cipher, though the whole text is checked on unlocking.
    std::array<std::uint8_t, kDesKeySize> key{};
    std::copy_n(keyText.begin(), std::min(keyText.size(), key.size()), key.begin());
    return key;
}

void PadToDesBlocks(std::vector<std::uint8_t>& data) {
    data.resize((data.size() + kDesBlockSize - 1) / kDesBlockSize * kDesBlockSize, 0);
}

}  // namespace

std::string_view VersionTag(VbcVersion version) {
    switch (version) {
        case VbcVersion::k10:
            return kVbcTag10;
        case VbcVersion::k11:
            return kVbcTag11;
        case VbcVersion::k12:
            break;
    }
    return kVbcTag12;
}

std::optional<VbcHeader> VbcHeader::Parse(std::string_view text) {
    for (VbcVersion version : {VbcVersion::k10, VbcVersion::k11, VbcVersion::k12}) {
        if (text.starts_with(VersionTag(version))) {
            return VbcHeader(version, std::string(text));
        }
    }
    return std::nullopt;
}

VbcError VbcHeader::Find(std::string_view name, std::string& value) const {
    name = Trim(name);
    if (name.empty()) {
        return VbcError::kEmptyArgument;
    }
    std::optional<std::string_view> found;
    ForEachEntry(m_text, [&](std::size_t, std::size_t, const Entry& entry) {
        if (!found && entry.name == name) {
            found = entry.value;
        }
    });
    if (!found) {
        return VbcError::kEntryNotFound;
    }
    value.assign(*found);
    return VbcError::kSuccess;
}

bool VbcHeader::Has(std::string_view name) const {
    std::string ignored;
    return Find(name, ignored) == VbcError::kSuccess;
}

VbcError VbcHeader::Set(std::string_view name, std::string_view value) {
    if (name.empty()) {
        return VbcError::kEmptyArgument;
    }
    name = Trim(name);
    // '=' in a name and a zero byte anywhere would make the entry read back
    // as something else, so they are refused along with ';'.
    constexpr std::string_view kNotInName{";=\0", 3};
    constexpr std::string_view kNotInValue{";\0", 2};
    if (name.empty() || name.find_first_of(kNotInName) != std::string_view::npos ||
        value.find_first_of(kNotInValue) != std::string_view::npos) {
        return VbcError::kInvalidNameOrValue;
    }
    if (Has(name)) {
        Remove(name);
    }
    m_text += kEntrySeparator;
    m_text += name;
    // The short form "k<value>" would read back as a different name if the
    // value held '=', so such values take the long form.
    if (!IsOneLetterName(name) || value.find(kNameValueSeparator) != std::string_view::npos) {
        m_text += kNameValueSeparator;
    }
    m_text += value;
    return VbcError::kSuccess;
}

VbcError VbcHeader::Remove(std::string_view name) {
    name = Trim(name);
    if (name.empty()) {
        return VbcError::kEmptyArgument;
    }
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    ForEachEntry(m_text, [&](std::size_t begin, std::size_t end, const Entry& entry) {
        if (entry.name == name) {
            spans.emplace_back(begin, end);
        }
    });
    if (spans.empty()) {
        return VbcError::kEntryNotFound;
    }
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
        m_text.erase(it->first, it->second - it->first);
    }
    return VbcError::kSuccess;
}

VbcError VbcHeader::AddFromText(std::string_view text) {
    if (text.empty()) {
        return VbcError::kEmptyArgument;
    }
    VbcError lastError = VbcError::kInvalidNameOrValue;
    bool anySet = false;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t next = text.find(kEntrySeparator, at);
        if (next == std::string_view::npos) {
            next = text.size();
        }
        if (const auto entry = ReadEntry(text.substr(at, next - at))) {
            // Copies: Set() rewrites the header the views might point into.
            const std::string name(entry->name);
            const std::string value(entry->value);
            const VbcError error = Set(name, value);
            anySet = anySet || error == VbcError::kSuccess;
            if (error != VbcError::kSuccess) {
                lastError = error;
            }
        }
        at = next + 1;
    }
    return anySet ? VbcError::kSuccess : lastError;
}

std::vector<std::pair<std::string, std::string>> VbcHeader::Entries() const {
    std::vector<std::pair<std::string, std::string>> entries;
    ForEachEntry(m_text, [&](std::size_t, std::size_t, const Entry& entry) {
        entries.emplace_back(std::string(entry.name), std::string(entry.value));
    });
    return entries;
}

std::string VbcHeader::TakeEntriesText() {
    const std::size_t first = m_text.find(kEntrySeparator);
    std::string entries;
    if (first != std::string::npos) {
        const std::size_t start = m_text.find_first_not_of(kEntrySeparator, first);
        if (start != std::string::npos) {
            entries = m_text.substr(start);
        }
    }
    m_text = std::string(VersionTag(m_version));
    return entries;
}

VbcError Lock(std::optional<std::string_view> key, VbcHeader& header,
              std::vector<std::uint8_t>& stream) {
    if (!key) {
        return VbcError::kMissingArgument;
    }
    if (key->empty()) {
        return VbcError::kEmptyArgument;
    }
    std::string existingKey;
    if (header.Find(kLockEntry, existingKey) == VbcError::kSuccess && existingKey.empty()) {
        return VbcError::kAlreadyLocked;
    }
    if (header.Version() == VbcVersion::k10) {
        return VbcError::kNotPossible;
    }

    VbcHeader locked = header;
    locked.Remove(kLockEntry);
    std::string method;
    if (locked.Find(kLockMethodEntry, method) == VbcError::kSuccess) {
        // Nothing but DES is known; a file claiming another method could
        // never be opened again.
        if (!method.empty() && method != kLockMethodDes) {
            return VbcError::kNotPossible;
        }
        locked.Remove(kLockMethodEntry);
    }
    const std::string hidden = locked.TakeEntriesText();
    locked.Set(kLockEntry, {});
    if (!method.empty()) {
        locked.Set(kLockMethodEntry, method);
    }

    std::vector<std::uint8_t> sealed(key->begin(), key->end());
    sealed.insert(sealed.end(), hidden.begin(), hidden.end());
    sealed.push_back(static_cast<std::uint8_t>(kHeaderEnd));
    sealed.insert(sealed.end(), stream.begin(), stream.end());
    PadToDesBlocks(sealed);
    Des(DesKey(*key)).EncryptEcb(sealed);

    header = std::move(locked);
    stream = std::move(sealed);
    return VbcError::kSuccess;
}

VbcError Unlock(std::optional<std::string_view> key, VbcHeader& header,
                std::vector<std::uint8_t>& stream) {
    if (!key) {
        return VbcError::kMissingArgument;
    }
    if (key->empty()) {
        return VbcError::kEmptyArgument;
    }
    if (header.Version() == VbcVersion::k10) {
        return VbcError::kNotPossible;
    }
    VbcHeader opened = header;
    opened.Remove(kLockEntry);
    std::string method;
    if (opened.Find(kLockMethodEntry, method) == VbcError::kSuccess && method != kLockMethodDes) {
        return VbcError::kNotPossible;
    }

    std::vector<std::uint8_t> plain = stream;
    PadToDesBlocks(plain);
    Des(DesKey(*key)).DecryptEcb(plain);
    if (plain.size() < key->size() || !std::equal(key->begin(), key->end(), plain.begin())) {
        return VbcError::kWrongKey;
    }
    const auto hiddenBegin = plain.begin() + static_cast<std::ptrdiff_t>(key->size());
    const auto hiddenEnd = std::find(hiddenBegin, plain.end(), kHeaderEnd);
    if (hiddenEnd == plain.end()) {
        return VbcError::kBadHeader;
    }
    const std::string hidden(hiddenBegin, hiddenEnd);
    if (!hidden.empty()) {
        opened.AddFromText(hidden);
    }

    header = std::move(opened);
    stream.assign(hiddenEnd + 1, plain.end());
    return VbcError::kSuccess;
}

}  // namespace vellumix::sigformats::vbc
