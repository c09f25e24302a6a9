// The usage error every program prints: one line that names the problem,
// suggests the word meant when the user's word is a near miss, and points at
// --help instead of repeating the whole usage text.
//
//   vellumix-padctl: unknown command 'prob' (did you mean 'probe'?); see --help
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vellumix::cli {

// Exit status of a usage error, the same for every program.
inline constexpr int kExitUsage = 2;

// Edits (insert, delete, replace, swap two neighbours) between a and b,
// ignoring case.
std::size_t EditDistance(std::string_view a, std::string_view b);

// The one candidate closest to word, if it is close enough to be a slip of
// the keyboard: at most one edit for words up to four letters, two for longer
// ones. Two candidates equally close are no suggestion. An exact match is
// not a near miss.
std::optional<std::string> NearMiss(std::string_view word,
                                    std::span<const std::string_view> candidates);

// "problem (did you mean 'x'?)", or the problem alone without a suggestion.
std::string WithSuggestion(std::string_view problem, const std::optional<std::string>& suggestion);

// "program: problem (did you mean 'x'?); see --help", without a line end.
// program is the bare name ("vellumix-padctl").
std::string UsageLine(std::string_view program, std::string_view problem,
                      const std::optional<std::string>& suggestion = std::nullopt);

}  // namespace vellumix::cli
