// Checks of the texts a pupil reads: what the cards, the report and the
// content pages of the program can show without cutting or misreading them.
// Each check returns its findings as messages ("text line 3 is 80 bytes
// long (at most 72)"); an empty list means the text is fine.
#pragma once

#include "content.h"

#include <string>
#include <string_view>
#include <vector>

namespace content {

using Findings = std::vector<std::string>;

inline constexpr std::size_t kQuestionLineBytes = 72;
inline constexpr std::size_t kPageLineBytes = 80;     // analyses, learning pages, posts
inline constexpr std::size_t kAnalysisBytes = 5000;   // what the report keeps of an analysis
inline constexpr std::size_t kUnitNameBytes = 24;
inline constexpr std::size_t kStatusBytes = 68;

// Lines of a CR LF text.
std::vector<std::string> splitLines(std::string_view text);

// A question text (UTF-8): line limits, one "<picture>" line exactly when
// hasPicture, the four option markers once each in reading order.
Findings checkQuestionText(std::string_view text, bool hasPicture);

// An analysis (UTF-8): line limits, total size, "<picture>" line exactly
// when hasPicture.
Findings checkAnalysis(std::string_view text, bool hasPicture);

// A learning page or post text (UTF-8): line limits and "<picN>" tags, each
// listed in pictures, every listed picture used.
Findings checkPageText(std::string_view field, std::string_view text, const PictureList& pictures);

// A one-line text such as a unit name: encodable, no line break or control
// character, no blanks at either end, no runs of spaces, at most maxBytes.
Findings checkShortText(std::string_view field, std::string_view text, std::size_t maxBytes);

// Picture number of a "<picN>" tag line, 0 when the line is not a tag.
int pictureTagNumber(std::string_view gbkLine);

}  // namespace content
