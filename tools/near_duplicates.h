// Near-duplicate question texts across the whole bank: two questions that
// tell the same story with other numbers read alike once digits and layout
// are set aside.
#pragma once

#include "content.h"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace content {

// Pairs at or above this similarity are reported.
inline constexpr double kNearDuplicateSimilarity = 0.5;

struct QuestionPlace {
    std::string file;   // "grade03.toml"
    int number = 0;     // 1-based position in the file
    auto operator<=>(const QuestionPlace&) const = default;
};

struct NearDuplicate {
    QuestionPlace first;
    QuestionPlace second;
    double similarity = 0;
};

// What is compared: the text before the options, with every run of digits
// as one placeholder and blanks, punctuation and picture lines left out.
std::u32string comparableText(const std::string& questionText);

// Similarity of two comparable texts, 0 to 1: the Jaccard index of their
// character pairs.
double similarity(const std::u32string& a, const std::u32string& b);

// Every pair of questions of the content at or above the threshold, most
// similar first.
std::vector<NearDuplicate> findNearDuplicates(const Content& content,
                                              double threshold = kNearDuplicateSimilarity);

// Pairs that were looked at and kept on purpose (a higher grade's version
// needing the higher grade's method), from content/near-duplicates.txt:
// lines "grade01.toml 15 grade05.toml 3  # why", '#' starting a comment.
// A missing file means no such pairs.
std::set<std::pair<QuestionPlace, QuestionPlace>> readAcceptedPairs(const std::filesystem::path& file);

// The pairs not accepted, each as one line "warning: near-duplicate
// questions: grade01.toml question 15 and grade05.toml question 3 (0.91)".
std::vector<std::string> nearDuplicateWarnings(const Content& content, const std::filesystem::path& contentDir);

}  // namespace content
