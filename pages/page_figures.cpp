#include "page_figures.h"

#include "canvas.h"
#include "gbk.h"
#include "page_markup.h"
#include "rounding.h"

#include <QDate>

#include <algorithm>
#include <charconv>

namespace pages {

namespace {

constexpr std::string_view kFigure = "<figure>";

// Heights in screen pixels; a figure advances the page by its height in page
// units plus the gap after a picture.
constexpr int kDaysHeight = 60;
constexpr int kScoresHeight = 260;
constexpr int kBarHeight = 19;

const QColor kInk(0x20, 0x20, 0x20);
const QColor kFill(0x2E, 0x7D, 0x32);   // a practised day, a bar
const QColor kPale(0xE8, 0xE8, 0xE8);   // an empty day, a bar's track
const QColor kLine(0x15, 0x65, 0xC0);   // the score line

std::vector<std::string_view> fields(std::string_view line) {
    line.remove_prefix(kFigure.size());
    std::vector<std::string_view> parts;
    for (std::size_t at; (at = line.find('|')) != std::string_view::npos && parts.size() < 2;) {
        parts.push_back(line.substr(0, at));
        line.remove_prefix(at + 1);
    }
    parts.push_back(line);
    return parts;
}

int number(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Draws in page units on one canvas, keeping the canvas's own settings.
class Pen {
public:
    Pen(ui::Canvas& canvas, double scale) : c_(canvas), s_(scale), pen_(canvas.penColor), brush_(canvas.brushColor),
                                            width_(canvas.penWidth) {}
    ~Pen() {
        c_.penColor = pen_;
        c_.brushColor = brush_;
        c_.penWidth = width_;
    }
    int px(double units) const { return ui::roundInt(units * s_); }
    void box(int x, int y, int w, int h, const QColor& fill) {
        c_.brushColor = fill;
        c_.fillRect(ui::cornerRect(px(x), px(y), std::max(px(x + w), px(x) + 1), std::max(px(y + h), px(y) + 1)));
    }
    void line(int x1, int y1, int x2, int y2, const QColor& color, int widthUnits) {
        c_.penColor = color;
        c_.penWidth = std::max(1, px(widthUnits));
        c_.moveTo(px(x1), px(y1));
        c_.lineTo(px(x2), px(y2));
    }
    void text(int x, int y, int size, int width, int align, const std::string& gbkText) {
        const TextPlacement at = fitText(x, width, size, align, gbkText.size());
        c_.font.face = "宋体";
        c_.font.bold = false;
        c_.font.italic = false;
        c_.font.color = Qt::black;
        c_.font.height = px(at.size);
        c_.textOut(px(at.x), px(y), gbkText);
    }

private:
    ui::Canvas& c_;
    double s_;
    QColor pen_, brush_;
    int width_;
};

std::string shortDate(int julianDay) {
    const QDate d = QDate::fromJulianDay(julianDay);
    return gbk::num(d.month()) + "月"_gbk + gbk::num(d.day()) + "日"_gbk;
}

void drawDays(Pen& pen, const std::vector<std::string_view>& f, int y) {
    if (f.size() < 3 || f[2].empty()) return;
    const int first = number(f[1]);
    const std::string_view counts = f[2];
    const int n = static_cast<int>(counts.size());
    const int left = 200;
    const int cell = 2000 / n;
    for (int i = 0; i < n; ++i) {
        const int count = std::clamp(counts[static_cast<std::size_t>(i)] - '0', 0, 9);
        const int x = left + i * cell;
        pen.box(x + 4, y + 20, cell - 8, 100, count > 0 ? kFill : kPale);
        if (count > 1) pen.text(x, y + 50, 30, cell, 1, gbk::num(count));
    }
    pen.text(left - 15, y + 130, 30, 600, 0, shortDate(first));
    pen.text(left + (n - 1) * cell - 585, y + 130, 30, 600 + cell, 2, shortDate(first + n - 1));
}

void drawScores(Pen& pen, const std::vector<std::string_view>& f, int y) {
    std::vector<int> scores;
    for (std::string_view rest = f.size() > 1 ? f[1] : std::string_view();;) {
        const std::size_t comma = rest.find(',');
        if (!rest.empty()) scores.push_back(std::clamp(number(rest.substr(0, comma)), 0, 100));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    const int left = 360, right = 2300, top = y + 40, bottom = y + 700;
    for (int mark : {0, 50, 100}) {
        const int at = bottom - (bottom - top) * mark / 100;
        pen.line(left, at, right, at, mark ? kPale : kInk, mark ? 2 : 3);
        pen.text(160, at - 18, 36, 200, 2, gbk::num(mark));
    }
    pen.line(left, top, left, bottom, kInk, 3);
    if (scores.empty()) return;
    const double step = scores.size() > 1 ? double(right - left - 40) / double(scores.size() - 1) : 0;
    auto point = [&](std::size_t i) {
        return std::pair{left + 20 + ui::roundInt(step * double(i)), bottom - (bottom - top) * scores[i] / 100};
    };
    for (std::size_t i = 1; i < scores.size(); ++i) {
        const auto [x1, y1] = point(i - 1);
        const auto [x2, y2] = point(i);
        pen.line(x1, y1, x2, y2, kLine, 6);
    }
    for (std::size_t i = 0; i < scores.size(); ++i) {
        const auto [x, yy] = point(i);
        pen.box(x - 9, yy - 9, 18, 18, kLine);
    }
    pen.text(left, bottom + 20, 36, right - left, 0, "较早"_gbk);
    pen.text(left, bottom + 20, 36, right - left, 2, "最近"_gbk);
}

void drawBar(Pen& pen, const std::vector<std::string_view>& f, int y) {
    const int percent = std::clamp(f.size() > 1 ? number(f[1]) : 0, 0, 100);
    const std::string label(f.size() > 2 ? f[2] : std::string_view());
    const int left = 1000, width = 1100;
    pen.text(180, y + 5, 40, left - 200, 0, label);
    pen.box(left, y + 8, width, 44, kPale);
    pen.box(left, y + 8, width * percent / 100, 44, kFill);
    pen.text(left + width, y + 5, 40, 260, 2, gbk::num(percent) + "%");
}

}  // namespace

bool isFigureLine(std::string_view line) { return line.substr(0, kFigure.size()) == kFigure; }

int figureHeight(std::string_view line) {
    if (!isFigureLine(line)) return 0;
    const std::string_view kind = fields(line)[0];
    if (kind == "days") return kDaysHeight;
    if (kind == "scores") return kScoresHeight;
    if (kind == "bar") return kBarHeight;
    return 0;
}

std::string daysFigure(int firstDay, const std::vector<int>& counts) {
    std::string cells;
    for (int c : counts) cells += static_cast<char>('0' + std::clamp(c, 0, 9));
    return std::string(kFigure) + "days|" + std::to_string(firstDay) + "|" + cells;
}

std::string scoresFigure(const std::vector<int>& scores) {
    std::string line = std::string(kFigure) + "scores|";
    for (std::size_t i = 0; i < scores.size(); ++i) line += (i ? "," : "") + std::to_string(scores[i]);
    return line;
}

std::string barFigure(int percent, const std::string& label) {
    return std::string(kFigure) + "bar|" + std::to_string(percent) + "|" + label;
}

void drawFigure(ui::Canvas* canvas, std::string_view line, int y, double pageScale) {
    if (!canvas || !isFigureLine(line)) return;
    const std::vector<std::string_view> f = fields(line);
    Pen pen(*canvas, pageScale);
    if (f[0] == "days")
        drawDays(pen, f, y);
    else if (f[0] == "scores")
        drawScores(pen, f, y);
    else if (f[0] == "bar")
        drawBar(pen, f, y);
}

}  // namespace pages
