#include "line_sheets.h"

#include "canvas.h"
#include "gbk.h"
#include "page_figures.h"
#include "page_layout.h"
#include "page_markup.h"
#include "rounding.h"

using namespace pages::layout;
using ui::roundInt;

namespace pages::sheets {

void drawPageText(ui::Canvas* canvas, double pageScale, int x, int y, int size, int width, int align, int bold,
                  const char* face, const std::string& text) {
    if (!canvas || text.empty()) return;
    const pages::TextPlacement at = pages::fitText(x, width, size, align, text.size());
    canvas->font.face = face;
    canvas->font.bold = bold == 1;
    canvas->font.italic = false;
    canvas->font.color = gbk::pos("结果:(×)"_gbk, text) ? QColor(0xFF, 0x00, 0x00) : QColor(Qt::black);
    canvas->font.height = roundInt(at.size * pageScale);
    canvas->textOut(roundInt(at.x * pageScale), roundInt(y * pageScale), text);
}

void drawReportText(ui::Canvas* canvas, double pageScale, const std::string& line, int y) {
    const std::string code = gbk::copy(line, 1, 3);
    const std::string rest = gbk::copy(line, 4, 1000);
    if (code == "`11")
        drawPageText(canvas, pageScale, 0, y, 80, kTextWidth, 1, 0, "黑体", rest);
    else if (code == "`10")
        drawPageText(canvas, pageScale, 0, y, kFontSize, kTextWidth, 1, 0, "宋体", rest);
    else if (code == "`01")
        drawPageText(canvas, pageScale, 100, y, 50, kTextWidth, 0, 0, "黑体", rest);
    else if (code == "`00")
        drawPageText(canvas, pageScale, 100, y, kFontSize, kTextWidth, 0, 0, "宋体", rest);
    else if (!line.empty())
        drawPageText(canvas, pageScale, 180, y, kFontSize, kTextWidth, 0, 0, "宋体", line);
}

std::vector<std::size_t> paginate(const std::vector<std::string>& lines) {
    std::vector<LineShape> shapes;
    for (const std::string& line : lines) {
        if (const int h = figureHeight(line))
            shapes.push_back({LineShape::Picture, h});
        else
            shapes.push_back({line.empty() ? LineShape::Blank : LineShape::Text});
    }
    return layout::paginate(shapes, kScreenScale);
}

void drawSheet(ui::Canvas& canvas, int dpi, const std::vector<std::string>& lines,
               const std::vector<std::size_t>& firstLines, int page, const std::string& title) {
    const double S = dpi / 300.0;
    const double pictureScale = S / kScreenScale;
    const std::size_t count = firstLines.size();
    const std::size_t from = firstLines.at(static_cast<std::size_t>(page - 1));
    const std::size_t to = static_cast<std::size_t>(page) < count ? firstLines[static_cast<std::size_t>(page)]
                                                                   : lines.size();
    canvas.brushStyle = ui::BrushStyle::Clear;
    drawPageText(&canvas, S, kHeadTextLeft, kHeadTextTop, kFontSize, kHeadTextWidth, 0, 0, "宋体", title);
    drawPageText(&canvas, S, 0, kHeadTextTop, kFontSize, kHeadTextWidth, 2, 0, "宋体",
                 "第"_gbk + gbk::num(page) + "页,共"_gbk + gbk::num(static_cast<long long>(count)) + "页"_gbk);
    canvas.moveTo(roundInt(kRuleLeft * S), roundInt(kHeadRule * S));
    canvas.lineTo(roundInt(kRuleRight * S), roundInt(kHeadRule * S));
    int g = kBodyTop;
    for (std::size_t i = from; i < to; ++i) {
        const std::string& line = lines[i];
        if (const int h = figureHeight(line)) {
            drawFigure(&canvas, line, g, S);
            g += roundInt(h * pictureScale / S) + kPictureGap;
        } else {
            drawReportText(&canvas, S, line, g);
            if (g > kBodyTop || !line.empty()) g += kLinePitch;
        }
    }
    const int footRow = roundInt(kFootRule * S);
    canvas.moveTo(roundInt(kRuleLeft * S), footRow);
    canvas.lineTo(roundInt(kRuleRight * S), footRow);
    drawPageText(&canvas, S, 0, kFootTextTop, kFontSize, kTextWidth, 1, 0, "宋体", FootText());
}

}  // namespace pages::sheets
