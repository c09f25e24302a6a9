#include "cli/UsageError.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace vellumix::cli {

namespace {

char Fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Longer words put up with one more slip.
constexpr std::size_t kShortWord = 4;
constexpr std::size_t kShortWordEdits = 1;
constexpr std::size_t kLongWordEdits = 2;

}  // namespace

std::size_t EditDistance(std::string_view a, std::string_view b) {
    // Optimal string alignment: Levenshtein plus the swap of two neighbours,
    // the commonest typing slip ("porbe").
    const std::size_t n = a.size();
    const std::size_t m = b.size();
    std::vector<std::size_t> d((n + 1) * (m + 1));
    const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& {
        return d[i * (m + 1) + j];
    };
    for (std::size_t i = 0; i <= n; ++i) {
        at(i, 0) = i;
    }
    for (std::size_t j = 0; j <= m; ++j) {
        at(0, j) = j;
    }
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t cost = Fold(a[i - 1]) == Fold(b[j - 1]) ? 0 : 1;
            std::size_t best =
                std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
            if (i > 1 && j > 1 && Fold(a[i - 1]) == Fold(b[j - 2]) &&
                Fold(a[i - 2]) == Fold(b[j - 1])) {
                best = std::min(best, at(i - 2, j - 2) + 1);
            }
            at(i, j) = best;
        }
    }
    return at(n, m);
}

std::optional<std::string> NearMiss(std::string_view word,
                                    std::span<const std::string_view> candidates) {
    const std::size_t limit = word.size() <= kShortWord ? kShortWordEdits : kLongWordEdits;
    std::optional<std::string_view> best;
    std::size_t bestDistance = limit + 1;
    bool tie = false;
    for (const std::string_view candidate : candidates) {
        const std::size_t distance = EditDistance(word, candidate);
        if (distance == 0) {
            return std::nullopt;
        }
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
            tie = false;
        } else if (distance == bestDistance) {
            tie = true;
        }
    }
    if (!best || tie) {
        return std::nullopt;
    }
    return std::string(*best);
}

std::string WithSuggestion(std::string_view problem, const std::optional<std::string>& suggestion) {
    std::string text(problem);
    if (suggestion) {
        text.append(" (did you mean '").append(*suggestion).append("'?)");
    }
    return text;
}

std::string UsageLine(std::string_view program, std::string_view problem,
                      const std::optional<std::string>& suggestion) {
    std::string line(program);
    line.append(": ").append(WithSuggestion(problem, suggestion)).append("; see --help");
    return line;
}

}  // namespace vellumix::cli
