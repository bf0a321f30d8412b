// Content pages: where the head, the lines, the pictures and the foot stand,
// and which lines are picture tags.
#include "report_fixture.h"

#include "jpeg.h"
#include "jpeg_encode.h"
#include "picture_tag.h"

#include <chrono>
#include <iostream>

namespace {

bool blue(QRgb c) { return qBlue(c) > 150 && qRed(c) < 60 && qGreen(c) < 60; }
bool dark(QRgb c) { return qGray(c) < 140; }

// First and last row of column x whose pixels are blue, or {-1, -1}.
std::pair<int, int> blueRows(const QImage& page, int x) {
    int first = -1, last = -1;
    for (int y = 0; y < page.height(); ++y)
        if (blue(page.pixel(x, y))) {
            if (first < 0) first = y;
            last = y;
        }
    return {first, last};
}

}  // namespace

class ContentPageTest : public ReportTest {
public:
    // Composes a page from lines (UTF-8) with "P" lines as 300-pixel pictures.
    void compose(const std::vector<std::string>& lines, int offset, int advance, int boxHeight = 0) {
        if (!form) start();
        if (boxHeight) {
            form->page1->resize(form->page1->width(), boxHeight);
        }
        std::string text;
        for (const std::string& line : lines) text += gbk::fromUtf8(line) + "\r\n";
        const std::vector<unsigned char> picture = jpeg::encode(flatPicture(200, 300));
        const TmainForm::PictureRule rule{[](const std::string& line) { return line == "P"; },
                                          [picture](const std::string&) { return picture; }, offset, advance};
        handle([&] { form->ComposeContentPage("--本节内容"_gbk, text, rule, true); });
    }
    QImage page() const { return form->Image2->picture(); }
    // The first row at or below `from` in which column x is dark.
    int darkRowFrom(int x, int from) const {
        const QImage p = page();
        for (int y = from; y < p.height(); ++y)
            if (dark(p.pixel(x, y))) return y;
        return -1;
    }
};

TEST_F(ContentPageTest, GeometryOfTheHeadLinesPicturesAndFoot) {
    // An empty page fills the box.
    compose({}, -20, -10);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(form->Image2->size(), QSize(815, form->SBOX1->height() - 3));
    EXPECT_EQ(page().size(), QSize(800, 9677));
    EXPECT_EQ(darkRowFrom(700, 40), 48);  // the head rule
    EXPECT_EQ(u8(form->BJS->caption()), "返  回");
    EXPECT_EQ(u8(form->RememberedCaption()), "退出系统");
    EXPECT_TRUE(form->SBOX1->isVisible() && form->PYL->isVisible());
    EXPECT_FALSE(form->SpB1->isVisible() || form->cyl->isVisible() || form->spb3->isVisible());
    EXPECT_TRUE(form->SpeedButton9->isVisible());
    EXPECT_FALSE(form->Panel_cy->isVisible());

    // 30 lines in a 490-pixel box: the page is 729 pixels, the foot rule on
    // row 677.
    freshDatabase();
    compose(std::vector<std::string>(30, "一"), -20, -10, 490);
    EXPECT_EQ(form->SBOX1->height(), 490);
    EXPECT_EQ(form->Image2->size(), QSize(800, 729));
    EXPECT_EQ(darkRowFrom(700, 660), 677);

    // A 300-pixel picture at 200: unit pages draw it from row 58, analyses
    // from row 71, at column 148; the next line starts at 1180 or 1220
    // (rows 381 and 394), so its ink stands 13 rows lower in an analysis.
    const struct {
        int offset, advance;
        int top, nextRow;
    } pictures[] = {{-20, -10, 58, 381}, {20, 30, 71, 394}};
    std::vector<int> ink;
    for (const auto& c : pictures) {
        SCOPED_TRACE(c.offset);
        freshDatabase();
        compose({"P", "一一一一一一一一一一"}, c.offset, c.advance);
        EXPECT_EQ(blueRows(page(), 200), std::make_pair(c.top, c.top + 299));
        EXPECT_FALSE(blue(page().pixel(147, c.top + 10)));
        EXPECT_TRUE(blue(page().pixel(148, c.top + 10)));
        ink.push_back(darkRowFrom(130, c.top + 300));
        EXPECT_GE(ink.back(), c.nextRow);
        EXPECT_LT(ink.back(), c.nextRow + 16);
    }
    EXPECT_EQ(ink[1] - ink[0], 13);

    // Content past the bitmap's last lines ends in a line saying so, the
    // page just below the bitmap's end.
    freshDatabase();
    compose(std::vector<std::string>(500, "一"), -20, -10);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(form->Image2->height(), 9742);
    EXPECT_EQ(page().height(), 9677);
    int notice = -1;  // the first row of the notice's ink, on the bitmap's last line
    for (int x = 110; x < 400 && notice < 0; ++x) notice = darkRowFrom(x, 9645);
    EXPECT_NE(notice, -1);
}

// Tags from the file: many tags of one large picture decode it once; past
// 100 tags and past the page's last line the page stops, saying so; tall
// pictures cannot carry the layout past its bounds.
TEST_F(ContentPageTest, ManyAndTallPictureTagsAreBounded) {
    const struct {
        const char* what;
        int tags;
        bool oneTag;
        QSize picture;
        int fetches;
    } cases[] = {
        {"200 tags of one 3000 x 3000 picture", 200, true, {3000, 3000}, 1},
        {"300 tags of as many small pictures", 300, false, {20, 20}, 100},
        {"90,000 tags of a 1 x 65,500 picture", 90000, true, {1, 65500}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (form) freshDatabase();
        if (!form) start();
        std::string text;
        for (int i = 0; i < c.tags; ++i) text += "P" + std::to_string(c.oneTag ? 0 : i) + "\r\n";
        const std::vector<unsigned char> bytes = jpeg::encode(flatPicture(c.picture.width(), c.picture.height()));
        int fetches = 0;
        const TmainForm::PictureRule rule{[](const std::string& line) { return line.rfind("P", 0) == 0; },
                                          [&](const std::string&) { return ++fetches, bytes; }, -20, -10};
        const auto start = std::chrono::steady_clock::now();
        handle([&] { form->ComposeContentPage("--本节内容"_gbk, text, rule, true); });
        const auto took = std::chrono::steady_clock::now() - start;
        std::cout << c.what << ": "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(fetches, c.fetches);
        EXPECT_LT(took, std::chrono::seconds(10));
        EXPECT_LE(form->Image2->height(), 9742);
    }
}

TEST(PictureTags, NumbersOfOneToNineDigits) {
    const struct {
        const char* line;
        bool tag;
        long long number;  // -1: names no picture
    } cases[] = {
        {"<pic3>", true, 3},
        {"<pic3>word", true, 3},
        {"<pic123456789>", true, 123456789},
        {"<pic1234567890>", true, -1},  // ten digits: no ">" among the ten bytes
        {"<pic>", true, -1},
        {"<pic3", true, -1},
        {"<picx>", true, -1},
        {"<pic-1>", true, -1},
        {"<pic1 or 1=1>", true, -1},
        {"<pic1;drop table b1>", true, -1},
        {"<pic'3'>", true, -1},
        {"<PIC3>", false, -1},
        {" <pic3>", false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(learning::isPictureTag(c.line), c.tag);
        if (c.tag) {
            EXPECT_EQ(learning::pictureNumber(c.line).value_or(-1), c.number);
        }
    }
}
