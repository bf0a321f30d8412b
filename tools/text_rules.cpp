#include "text_rules.h"

#include "gbk.h"

#include <optional>
#include <set>

namespace content {
namespace {

const std::string kPictureLine = "<picture>";
const std::string kFullWidthParen = "\xA3\xA9";  // "）" in GBK

std::string num(std::size_t n) { return std::to_string(n); }

std::string inQuotes(std::string_view s) { return "\"" + std::string(s) + "\""; }

// GBK bytes of the text, or nothing (with a finding) when GBK cannot hold it.
std::optional<std::string> toGbk(std::string_view field, std::string_view utf8, Findings& out) {
    std::string bad;
    if (!gbk::encodable(utf8, &bad)) {
        out.push_back(std::string(field) + ": " + inQuotes(bad) + " cannot be written in GBK");
        return std::nullopt;
    }
    return gbk::fromUtf8(utf8);
}

bool hasControl(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

std::size_t count(std::string_view hay, std::string_view needle) {
    std::size_t n = 0;
    for (auto at = hay.find(needle); at != std::string_view::npos; at = hay.find(needle, at + 1))
        ++n;
    return n;
}

// Length and control characters of every line.
void checkLines(std::string_view field, const std::vector<std::string>& lines, std::size_t maxBytes,
                Findings& out) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string where = std::string(field) + " line " + num(i + 1);
        if (lines[i].size() > maxBytes)
            out.push_back(where + " is " + num(lines[i].size()) + " bytes long (at most " +
                          num(maxBytes) + ")");
        if (hasControl(lines[i]))
            out.push_back(where + " holds a control character");
    }
}

// The report reads a line that begins with a grave accent as its markup.
void checkNoMarkup(std::string_view field, const std::vector<std::string>& lines, Findings& out) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (!lines[i].empty() && lines[i][0] == '`')
            out.push_back(std::string(field) + " line " + num(i + 1) +
                          " begins with \"`\", which the report reads as markup");
}

// "<picture>" lines: each alone on its line, one exactly when hasPicture.
// Returns the 0-based index of the picture line, or -1.
long checkPictureLines(std::string_view field, std::string_view pictureKey,
                       const std::vector<std::string>& lines, bool hasPicture, Findings& out) {
    long at = -1;
    std::size_t found = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(kPictureLine) == std::string::npos)
            continue;
        if (lines[i] != kPictureLine) {
            out.push_back(std::string(field) + " line " + num(i + 1) +
                          ": \"<picture>\" must stand alone on its line");
            continue;
        }
        ++found;
        at = static_cast<long>(i);
    }
    if (found > 1)
        out.push_back(std::string(field) + " has " + num(found) + " \"<picture>\" lines (at most one)");
    else if (found == 1 && !hasPicture)
        out.push_back(std::string(field) + " has a \"<picture>\" line but no " + std::string(pictureKey));
    else if (found == 0 && hasPicture)
        out.push_back(std::string(pictureKey) + " is given but " + std::string(field) +
                      " has no \"<picture>\" line");
    return found == 1 ? at : -1;
}

struct MarkerPlace {
    std::size_t line = 0;
    std::size_t pos = 0;
};

// The card finds an option by the bytes letter + ")" or letter + "）"; each
// letter must occur exactly once in one of these forms.
std::optional<MarkerPlace> findMarker(char letter, const std::vector<std::string>& lines,
                                      Findings& out) {
    const std::string half = std::string(1, letter) + ")";
    const std::string full = std::string(1, letter) + kFullWidthParen;
    std::size_t total = 0;
    MarkerPlace place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::size_t here = count(lines[i], half) + count(lines[i], full);
        if (here > 0 && total == 0) {
            auto p = lines[i].find(half);
            place = {i, p != std::string::npos ? p : lines[i].find(full)};
        }
        total += here;
    }
    if (total == 0)
        out.push_back("text has no option marker \"" + half + "\"");
    else if (total > 1)
        out.push_back("text has option marker \"" + half + "\" " + num(total) +
                      " times (once only, also counting \"" + std::string(1, letter) + "）\")");
    if (total != 1)
        return std::nullopt;
    return place;
}

void checkMarkers(const std::vector<std::string>& lines, Findings& out) {
    std::optional<MarkerPlace> places[4];
    for (int i = 0; i < 4; ++i)
        places[i] = findMarker(static_cast<char>('A' + i), lines, out);
    for (int i = 1; i < 4; ++i) {
        if (!places[i - 1] || !places[i])
            continue;
        const auto& a = *places[i - 1];
        const auto& b = *places[i];
        bool after = b.line > a.line || (b.line == a.line && b.pos > a.pos);
        if (!after)
            out.push_back(std::string("option ") + static_cast<char>('A' + i) +
                          " does not come after option " + static_cast<char>('A' + i - 1) +
                          " in reading order");
    }
}

}  // namespace

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    std::size_t start = 0;
    for (;;) {
        auto end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            return lines;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
}

Findings checkQuestionText(std::string_view text, bool hasPicture) {
    Findings out;
    auto bytes = toGbk("text", text, out);
    if (!bytes)
        return out;
    auto lines = splitLines(*bytes);
    checkLines("text", lines, kQuestionLineBytes, out);
    checkNoMarkup("text", lines, out);
    long pictureAt = checkPictureLines("text", "picture", lines, hasPicture, out);
    if (pictureAt == 0)
        out.push_back("text: the \"<picture>\" line cannot be the first line (the report shows it as text)");
    checkMarkers(lines, out);
    return out;
}

Findings checkAnalysis(std::string_view text, bool hasPicture) {
    Findings out;
    auto bytes = toGbk("analysis", text, out);
    if (!bytes)
        return out;
    if (bytes->size() > kAnalysisBytes)
        out.push_back("analysis is " + num(bytes->size()) + " bytes long (at most " +
                      num(kAnalysisBytes) + ")");
    auto lines = splitLines(*bytes);
    checkLines("analysis", lines, kPageLineBytes, out);
    checkNoMarkup("analysis", lines, out);
    checkPictureLines("analysis", "analysis_picture", lines, hasPicture, out);
    return out;
}

int pictureTagNumber(std::string_view line) {
    if (line.size() < 6 || line.size() > 8 || line.substr(0, 4) != "<pic" || line.back() != '>')
        return 0;
    auto digits = line.substr(4, line.size() - 5);
    if (digits[0] < '1' || digits[0] > '9')
        return 0;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

Findings checkPageText(std::string_view field, std::string_view text, const PictureList& pictures) {
    Findings out;
    auto bytes = toGbk(field, text, out);
    if (!bytes)
        return out;
    auto lines = splitLines(*bytes);
    checkLines(field, lines, kPageLineBytes, out);
    std::set<int> used;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string where = std::string(field) + " line " + num(i + 1);
        if (gbk::trim(lines[i]).rfind("<pic", 0) != 0)
            continue;
        if (lines[i].rfind("<pic", 0) != 0) {
            out.push_back(where + ": a picture tag must begin the line");
            continue;
        }
        int n = pictureTagNumber(lines[i]);
        if (n == 0)
            out.push_back(where + ": " + inQuotes(gbk::toUtf8(lines[i])) +
                          " is not a picture tag <pic1> to <pic999>");
        else if (!pictures.count(n))
            out.push_back(where + ": <pic" + num(n) + "> has no picture " + num(n) + " listed");
        else
            used.insert(n);
    }
    for (const auto& [n, path] : pictures)
        if (!used.count(n))
            out.push_back("picture " + num(n) + " (" + path + ") is not used in the " +
                          std::string(field));
    return out;
}

Findings checkShortText(std::string_view field, std::string_view text, std::size_t maxBytes) {
    Findings out;
    auto bytes = toGbk(field, text, out);
    if (!bytes)
        return out;
    std::string f(field);
    if (bytes->empty())
        out.push_back(f + " is empty");
    if (hasControl(*bytes))
        out.push_back(f + " holds a line break or control character");
    if (!bytes->empty() && (bytes->front() == ' ' || bytes->back() == ' '))
        out.push_back(f + " begins or ends with a space");
    if (bytes->find("  ") != std::string::npos)
        out.push_back(f + " holds a run of spaces");
    if (bytes->size() > maxBytes)
        out.push_back(f + " is " + num(bytes->size()) + " bytes long (at most " + num(maxBytes) + ")");
    return out;
}

}  // namespace content
