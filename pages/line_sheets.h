// Report lines on sheets without the window: the head, the text and figure
// lines and the foot, drawn as the page viewer prints a report, for a
// program that has lines but no window (the class server's report).
// Picture lines are not looked up here: they would need the database.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ui {
class Canvas;
}

namespace pages::sheets {

// A text in page units on the canvas at pageScale device pixels per unit,
// placed by fitText (page_markup.h); a verdict "结果:(×)" is drawn red.
void drawPageText(ui::Canvas* canvas, double pageScale, int x, int y, int size, int width, int align, int bold,
                  const char* face, const std::string& text);

// One report text line by its markup ("`11" title, "`10" centred, "`01"
// heading, "`00" item, else body) with its top at page unit y.
void drawReportText(ui::Canvas* canvas, double pageScale, const std::string& line, int y);

// The index of the first line of every page, as the page viewer cuts them.
std::vector<std::size_t> paginate(const std::vector<std::string>& lines);

// Page `page` (1-based) of lines, cut at firstLines, on a canvas of dpi
// dots per inch: the title and "第n页,共m页" in the head, the foot text.
void drawSheet(ui::Canvas& canvas, int dpi, const std::vector<std::string>& lines,
               const std::vector<std::size_t>& firstLines, int page, const std::string& title);

}  // namespace pages::sheets
