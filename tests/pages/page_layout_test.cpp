// Pagination of report lines, without a window: where each page begins for
// text, blank lines and pictures around the page's foot.
#include "page_layout.h"
#include "page_markup.h"

#include <gtest/gtest.h>

namespace {

using pages::layout::LineShape;
using Lines = std::vector<LineShape>;

Lines text(int n) { return Lines(static_cast<std::size_t>(n), LineShape{LineShape::Text}); }
Lines blank(int n) { return Lines(static_cast<std::size_t>(n), LineShape{LineShape::Blank}); }
Lines picture(int height) { return {LineShape{LineShape::Picture, height}}; }

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Pagination, PagesBeginWhereAScreenPageEnds) {
    const struct {
        const char* what;
        Lines lines;
        std::vector<std::size_t> firsts;
    } cases[] = {
        {"no lines: one empty page", {}, {0}},
        {"51 text lines fill a page", text(51), {0}},
        {"the 52nd starts the next", text(52), {0, 51}},
        {"120 text lines", text(120), {0, 51, 102}},
        {"blank lines at a page top take no room", blank(5) + text(60), {0, 56}},
        {"blank lines later do", text(1) + blank(5) + text(60), {0, 51}},
        {"a blank page top after a break takes no room either", text(51) + blank(3) + text(51), {0, 51}},
        {"100 pixels at 2900 fit", text(45) + picture(100) + text(3), {0, 46}},
        {"120 pixels at 2900 start the next page", text(45) + picture(120) + text(3), {0, 45}},
        {"963 pixels under one line end just above the foot rule", text(1) + picture(963), {0}},
        {"964 pixels would touch it", text(1) + picture(964), {0, 1}},
        {"a picture taller than a page has one of its own", text(1) + picture(1200) + text(2), {0, 1, 2}},
        {"a tall picture at the top stays there", picture(1200) + text(1), {0, 1}},
        {"two tall pictures: a page each", picture(2000) + picture(2000), {0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pages::layout::paginate(c.lines), c.firsts);
    }
}

TEST(Pagination, ThePageTableReadsBackPageByPage) {
    const std::vector<std::size_t> firsts = {0, 51, 102};
    const std::string table = pages::layout::pageTable(firsts);
    EXPECT_EQ(table, "@1,0|@2,51|@3,102|");
    for (int page = 1; page <= 3; ++page)
        EXPECT_EQ(pages::firstLineOfPage(table, page), static_cast<int>(firsts[static_cast<std::size_t>(page - 1)]));
}

}  // namespace
