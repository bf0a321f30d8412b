#include "page_layout.h"

#include "rounding.h"

namespace pages::layout {

std::vector<std::size_t> paginate(const std::vector<LineShape>& lines, double scale) {
    std::vector<std::size_t> firsts = {0};
    const int footRow = ui::roundInt(kFootRule * scale);
    int g = kBodyTop;
    std::size_t i = 0;
    auto newPage = [&] {
        firsts.push_back(i);
        g = kBodyTop;
    };
    while (i < lines.size()) {
        const LineShape& line = lines[i];
        if (line.kind == LineShape::Picture) {
            const int h = line.pictureHeight;
            if (ui::roundInt(g * scale + h) < footRow) {
                g = ui::roundInt(h / scale) + g + kPictureGap;
            } else if (g > kBodyTop) {
                newPage();
                continue;
            } else {
                g = kFootRule;  // too tall for any page: it has its page to itself
            }
        } else {
            if (g > kLastTextLine) {
                newPage();
                continue;
            }
            if (g > kBodyTop || line.kind == LineShape::Text) g += kLinePitch;
        }
        ++i;
    }
    return firsts;
}

std::string pageTable(const std::vector<std::size_t>& firstLines) {
    std::string table;
    for (std::size_t p = 0; p < firstLines.size(); ++p)
        table += "@" + std::to_string(p + 1) + "," + std::to_string(firstLines[p]) + "|";
    return table;
}

}  // namespace pages::layout
