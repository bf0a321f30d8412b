// The text side of a report page: the foot line, picture lines and the
// page table, as plain functions on GBK byte strings.
#pragma once

#include <string>
#include <string_view>

namespace pages {

// The vendor's web address shown in the foot of every page.  A reserved
// example domain: it points at nobody's site.
inline constexpr const char* kVendorAddress = "www.example.com";

// The foot text of every page (GBK): the greeting, two spaces, the address.
std::string FootText();

// Where a line of text goes and how big: a text of n bytes is estimated
// n x size / 2 page units wide.  It fits a width when width > that + 30;
// then it is placed by align (0 left from x + 15, 1 centred, 2 right-aligned
// 15 units inside x + width).  A text that does not fit is drawn from x + 15
// in the size that spans width - 30, whatever the alignment.
struct TextPlacement {
    int x;
    int size;
};
TextPlacement fitText(int x, int width, int size, int align, std::size_t bytes);

// A report line is a picture line when, with blanks and control characters
// trimmed off both ends, it begins with "<picture>".
bool isPictureLine(std::string_view line);

// Picture lines carry the kind at byte 10 ("0": the question's picture,
// anything else: the analysis picture) and the question id in bytes 11 to
// 20.  An id that is not a decimal number reads as badId.
bool isQuestionPicture(std::string_view line);
long long pictureId(std::string_view line, long long badId);

// The 0-based index of the report line on which page `page` begins, read
// from a page table "@1,0|@2,41|...".  A page that is not in the table,
// or an entry that does not fit ten characters, reads as line 0.
int firstLineOfPage(const std::string& pageTable, int page);

}  // namespace pages
