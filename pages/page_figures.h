// Figures on a page: the charts of the learning record, drawn with lines,
// rectangles and text in page units, so they stay vector on paper and in a
// PDF, and are sharp at any printer resolution.
//
// A figure is one report line "<figure>KIND|field|field...":
//   days|D|c1c2...cN    calendar strip: one cell per day from Julian day D,
//                       each ci the count of homeworks that day (0..9)
//   scores|s1,s2,...    line chart of scores 0..100, oldest first
//   bar|P|label         one bar of P percent (0..100) after its label
// A figure takes a fixed height, given like a picture's in screen pixels,
// so the report's pagination places it as it places a picture.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ui {
class Canvas;
}

namespace pages {

bool isFigureLine(std::string_view line);

// The figure's height in screen pixels (as a picture's); 0 for a line that
// is not a figure.
int figureHeight(std::string_view line);

// The lines that make a figure (GBK).
std::string daysFigure(int firstDay, const std::vector<int>& counts);
std::string scoresFigure(const std::vector<int>& scores);
std::string barFigure(int percent, const std::string& label);

// Draws the figure with its top at page unit y on the canvas (device pixels
// = page units x pageScale).  Nothing is drawn without a canvas.
void drawFigure(ui::Canvas* canvas, std::string_view line, int y, double pageScale);

}  // namespace pages
