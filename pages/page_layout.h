// Where things sit on a page, in page units of 1/300 inch, for the report
// pages and the content pages alike, and the cutting of report lines into
// pages.  No window is needed: the pagination is a plain function.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pages::layout {

// Screen pixels per page unit: an A4 width of 2480 units on 800 pixels.
inline constexpr double kScreenScale = 800.0 / 2480;

// The head: the logo, the title line and the rule under them.
inline constexpr int kLogoLeft = 100;
inline constexpr int kLogoTop = 90;
inline constexpr int kHeadTextTop = 100;
inline constexpr int kHeadTextLeft = 160;
inline constexpr int kHeadTextWidth = 2400;
inline constexpr int kHeadRule = 150;
// Head and foot rules run between these.
inline constexpr int kRuleLeft = 80;
inline constexpr int kRuleRight = 2400;

// The body of a report page.
inline constexpr int kBodyTop = 200;
inline constexpr int kLinePitch = 60;
inline constexpr int kLastTextLine = 3200;   // a text line below it starts the next page
inline constexpr int kFootRule = 3250;       // a picture's bottom edge stays above it
inline constexpr int kFootTextTop = 3260;
inline constexpr int kPictureGap = 20;       // below a picture, before the next line
inline constexpr int kScreenPageHeight = 3400;
inline constexpr int kReportPictureLeft = 200;
inline constexpr int kTextWidth = 2360;
inline constexpr int kFontSize = 40;

// A content page: one tall page of any length, cut off below kContentPageHeight.
inline constexpr int kContentPageHeight = 30000;
inline constexpr int kContentTextLeft = 360;
inline constexpr int kContentPictureLeft = 460;  // further in than report pictures
inline constexpr int kContentEndGap = 100;       // below the last line
inline constexpr int kContentFootRule = 160;     // above the page's bottom edge
inline constexpr int kContentFootText = 150;     // above the page's bottom edge

// What pagination needs to know of a report line.
struct LineShape {
    enum Kind { Blank, Text, Picture } kind;
    int pictureHeight = 0;  // screen pixels, for a picture
};

// The index of the first line of every page; the first page starts at 0.
// Text lines advance by the pitch (blank lines at the top of a page do
// not); a picture that would reach the foot rule starts the next page, and
// one too tall for any page gets a page of its own.
std::vector<std::size_t> paginate(const std::vector<LineShape>& lines, double scale = kScreenScale);

// The page table the viewer keeps: "@1,0|@2,41|...".
std::string pageTable(const std::vector<std::size_t>& firstLines);

}  // namespace pages::layout
