#include "near_duplicates.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace content {
namespace {

constexpr char32_t kNumber = U'#';
constexpr std::size_t kFewestWords = 10;
constexpr std::size_t kFewestWordsWithPicture = 20;

bool isOptionMarker(const std::u32string& text, std::size_t i) {
    return text[i] == U'A' && i + 1 < text.size() && (text[i + 1] == U')' || text[i + 1] == U'\uFF09');
}

// Operators stay: "#+#+#" and "#x#-#" are different drills.
char32_t operatorOf(char32_t c) {
    switch (c) {
    case U'+': case U'\uFF0B': return U'+';
    case U'-': case U'\uFF0D': case U'\u2212': return U'-';
    case U'\u00D7': case U'*': return U'\u00D7';
    case U'\u00F7': case U'/': return U'\u00F7';
    case U'=': case U'\uFF1D': return U'=';
    case U'(': case U'\uFF08': return U'(';
    case U')': case U'\uFF09': return U')';
    default: return 0;
    }
}

bool kept(char32_t c) {
    if (c >= U'a' && c <= U'z')
        return true;
    if (c >= U'A' && c <= U'Z')
        return true;
    return c >= 0x3400 && c <= 0x9FFF;  // CJK ideographs
}

// Character pairs as 64-bit keys, sorted and unique.
std::vector<std::uint64_t> pairsOf(const std::u32string& text) {
    std::vector<std::uint64_t> pairs;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        pairs.push_back((static_cast<std::uint64_t>(text[i]) << 32) | text[i + 1]);
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    return pairs;
}

double jaccard(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& b) {
    if (a.empty() || b.empty())
        return 0;
    std::size_t common = 0;
    for (std::size_t i = 0, j = 0; i < a.size() && j < b.size();) {
        if (a[i] == b[j]) {
            ++common, ++i, ++j;
        } else if (a[i] < b[j]) {
            ++i;
        } else {
            ++j;
        }
    }
    return static_cast<double>(common) / static_cast<double>(a.size() + b.size() - common);
}

// "数一数，下图中有几个三角形？" says nothing of the problem: its picture
// does, and a bare calculation is a drill.  Only texts with enough words of
// their own are compared.
bool judgedByWording(const std::u32string& text, bool picture) {
    auto words = std::count_if(text.begin(), text.end(), [](char32_t c) { return c >= 0x3400; });
    return static_cast<std::size_t>(words) >= (picture ? kFewestWordsWithPicture : kFewestWords);
}

std::string placeText(const QuestionPlace& p) {
    return p.file + " question " + std::to_string(p.number);
}

}  // namespace

std::u32string comparableText(const std::string& questionText) {
    std::u32string text = QString::fromUtf8(questionText.data(), static_cast<qsizetype>(questionText.size()))
                              .remove(QStringLiteral("<picture>"))
                              .toStdU32String();
    std::u32string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isOptionMarker(text, i))
            break;
        char32_t c = text[i];
        bool digit = (c >= U'0' && c <= U'9') || (c >= U'\uFF10' && c <= U'\uFF19');
        if (digit) {
            if (out.empty() || out.back() != kNumber)
                out += kNumber;
        } else if (kept(c)) {
            out += c;
        } else if (char32_t op = operatorOf(c)) {
            out += op;
        }
    }
    return out;
}

double similarity(const std::u32string& a, const std::u32string& b) {
    return jaccard(pairsOf(a), pairsOf(b));
}

std::vector<NearDuplicate> findNearDuplicates(const Content& content, double threshold) {
    struct Item {
        QuestionPlace place;
        std::vector<std::uint64_t> pairs;
    };
    std::vector<Item> items;
    for (const Grade& g : content.grades)
        for (std::size_t i = 0; i < g.questions.size(); ++i) {
            std::u32string text = comparableText(g.questions[i].text);
            if (judgedByWording(text, !g.questions[i].picture.empty()))
                items.push_back({{g.file, static_cast<int>(i) + 1}, pairsOf(text)});
        }
    std::vector<NearDuplicate> found;
    for (std::size_t i = 0; i < items.size(); ++i)
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            double s = jaccard(items[i].pairs, items[j].pairs);
            if (s >= threshold)
                found.push_back({items[i].place, items[j].place, s});
        }
    std::stable_sort(found.begin(), found.end(),
                     [](const NearDuplicate& a, const NearDuplicate& b) { return a.similarity > b.similarity; });
    return found;
}

std::set<std::pair<QuestionPlace, QuestionPlace>> readAcceptedPairs(const std::filesystem::path& file) {
    std::set<std::pair<QuestionPlace, QuestionPlace>> pairs;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        QuestionPlace a, b;
        if (fields >> a.file >> a.number >> b.file >> b.number) {
            pairs.insert({a, b});
            pairs.insert({b, a});
        }
    }
    return pairs;
}

std::vector<std::string> nearDuplicateWarnings(const Content& content, const std::filesystem::path& contentDir) {
    auto accepted = readAcceptedPairs(contentDir / "near-duplicates.txt");
    std::vector<std::string> warnings;
    for (const NearDuplicate& d : findNearDuplicates(content)) {
        if (accepted.count({d.first, d.second}))
            continue;
        char figure[16];
        std::snprintf(figure, sizeof figure, "%.2f", d.similarity);
        warnings.push_back("warning: near-duplicate questions: " + placeText(d.first) + " and " +
                           placeText(d.second) + " (" + figure + ")");
    }
    return warnings;
}

}  // namespace content
