// The pictures' SVG: what Qt's SVG module draws from the allowed list (a
// probe pixel per sample) and what the check rejects (the line, the element
// and the reason).
#include "svg_render.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>

#include <unistd.h>

#include <chrono>

#include <cstdlib>

namespace {

QByteArray doc(const std::string& body, const std::string& root = "width=\"100\" height=\"100\"") {
    return QByteArray::fromStdString("<svg xmlns=\"http://www.w3.org/2000/svg\" " + root + ">\n" + body +
                                     "\n</svg>");
}

struct Drawn {
    const char* what;
    std::string body;
    int x, y;
    QRgb expected;
};

void PrintTo(const Drawn& c, std::ostream* os) { *os << c.what; }


const std::vector<Drawn> kDrawn = {
    {"nothing stays white", "", 50, 50, 0xffffff},
    {"rect filled black by default", R"x(<rect x="10" y="10" width="30" height="30"/>)x", 25, 25, 0x000000},
    {"rect named colour", R"x(<rect x="10" y="10" width="30" height="30" fill="red"/>)x", 25, 25, 0xff0000},
    {"short hex colour", R"x(<rect width="100" height="100" fill="#0f0"/>)x", 50, 50, 0x00ff00},
    {"rounded corner left blank", R"x(<rect x="0" y="0" width="100" height="100" rx="40" fill="blue"/>)x", 2, 2, 0xffffff},
    {"circle", R"x(<circle cx="50" cy="50" r="20" fill="#0000ff"/>)x", 50, 50, 0x0000ff},
    {"outside a circle", R"x(<circle cx="50" cy="50" r="20" fill="#0000ff"/>)x", 50, 25, 0xffffff},
    {"ellipse", R"x(<ellipse cx="50" cy="50" rx="40" ry="10" fill="black"/>)x", 85, 50, 0x000000},
    {"line stroke", R"x(<line x1="0" y1="50" x2="100" y2="50" stroke="black" stroke-width="6"/>)x", 50, 50, 0x000000},
    {"stroke none draws nothing", R"x(<line x1="0" y1="50" x2="100" y2="50" stroke-width="6"/>)x", 50, 50, 0xffffff},
    {"dash gap", R"x(<line x1="0" y1="50" x2="100" y2="50" stroke="black" stroke-width="4" stroke-dasharray="20 20"/>)x", 30, 50, 0xffffff},
    {"dash", R"x(<line x1="0" y1="50" x2="100" y2="50" stroke="black" stroke-width="4" stroke-dasharray="20 20"/>)x", 10, 50, 0x000000},
    {"polygon", R"x(<polygon points="10,90 50,10 90,90" fill="black"/>)x", 50, 70, 0x000000},
    {"polyline unfilled", R"x(<polyline points="10,10 90,10 90,90" fill="none" stroke="black" stroke-width="4"/>)x", 90, 50, 0x000000},
    {"path absolute", R"x(<path d="M10 10 L90 10 L90 90 Z" fill="black"/>)x", 80, 20, 0x000000},
    {"path relative and implicit lineto", R"x(<path d="m10 10 80 0 0 80 z" fill="black"/>)x", 80, 20, 0x000000},
    {"path H V", R"x(<path d="M10 10 H90 V90 H10 Z" fill="black"/>)x", 15, 85, 0x000000},
    {"path cubic and smooth", R"x(<path d="M10 50 C10 10 50 10 50 50 S90 90 90 50 Z" fill="black"/>)x", 30, 40, 0x000000},
    {"path quadratic and smooth", R"x(<path d="M10 50 Q30 10 50 50 T90 50 Z" fill="black"/>)x", 30, 40, 0x000000},
    {"path arc", R"x(<path d="M10 50 A40 40 0 0 1 90 50 Z" fill="black"/>)x", 50, 20, 0x000000},
    {"path arc other sweep", R"x(<path d="M10 50 a40 40 0 0 0 80 0 z" fill="black"/>)x", 50, 80, 0x000000},
    {"group fill inherited", R"x(<g fill="red"><rect width="100" height="100"/></g>)x", 50, 50, 0xff0000},
    {"group translate", R"x(<g transform="translate(50,50)"><rect width="50" height="50"/></g>)x", 75, 75, 0x000000},
    {"translate leaves origin", R"x(<g transform="translate(50,50)"><rect width="50" height="50"/></g>)x", 25, 25, 0xffffff},
    {"scale", R"x(<g transform="scale(10)"><rect x="5" y="5" width="5" height="5"/></g>)x", 75, 75, 0x000000},
    {"rotate about a point", R"x(<rect x="40" y="0" width="20" height="50" transform="rotate(90 50 50)"/>)x", 75, 50, 0x000000},
    {"matrix", R"x(<rect width="10" height="10" transform="matrix(2 0 0 2 60 60)"/>)x", 70, 70, 0x000000},
    {"transforms apply right to left", R"x(<rect width="10" height="10" transform="translate(50 50) scale(2)"/>)x", 65, 65, 0x000000},
    {"style attribute", R"x(<rect width="100" height="100" style="fill: #0000ff; stroke: none"/>)x", 50, 50, 0x0000ff},
    {"fill opacity over white", R"x(<rect width="100" height="100" fill="black" fill-opacity="0.5"/>)x", 50, 50, 0x808080},
    {"element opacity", R"x(<rect width="100" height="100" opacity="0.5"/>)x", 50, 50, 0x808080},
    {"group fill opacity inherited", R"x(<g fill-opacity="0.5"><rect width="100" height="100"/></g>)x", 50, 50, 0x808080},
    {"zero stroke width draws nothing", R"x(<rect x="10" y="10" width="80" height="80" fill="none" stroke="black" stroke-width="0"/>)x", 10, 50, 0xffffff},
    {"stroke none on text is fine", R"x(<text x="0" y="90" font-size="120" stroke="none">█</text>)x", 30, 60, 0x000000},
    {"even-odd hole", R"x(<path d="M0 0H100V100H0Z M25 25H75V75H25Z" fill-rule="evenodd"/>)x", 50, 50, 0xffffff},
    {"viewBox scales to the size", R"x(<rect x="5" y="5" width="5" height="5"/>)x", 75, 75, 0x000000},
    {"viewBox keeps its aspect, centred", R"x(<rect width="10" height="10"/>)x", 50, 10, 0xffffff},
    {"viewBox centred content", R"x(<rect width="10" height="10"/>)x", 50, 50, 0x000000},
    {"title and desc ignored", R"x(<title>t</title><desc>d</desc><!-- note --><rect width="100" height="100"><title>x</title></rect>)x", 50, 50, 0x000000},
};

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= 12 && std::abs(qGreen(a) - qGreen(b)) <= 12 &&
           std::abs(qBlue(a) - qBlue(b)) <= 12;
}

class SvgDrawn : public ::testing::TestWithParam<Drawn> {};

TEST_P(SvgDrawn, ProbePixelHasTheExpectedColour) {
    const Drawn& d = GetParam();
    const std::string what = d.what;
    std::string root = what == "viewBox scales to the size" ? "width=\"100\" height=\"100\" viewBox=\"0 0 10 10\""
                       : what.starts_with("viewBox") ? "width=\"100\" height=\"100\" viewBox=\"0 0 10 5\""
                                                     : "width=\"100\" height=\"100\"";
    QImage image = svg::render(doc(d.body, root));
    ASSERT_EQ(image.size(), QSize(100, 100));
    QRgb got = image.pixel(d.x, d.y);
    EXPECT_TRUE(near(got, d.expected)) << QColor(got).name().toStdString();
}

std::string testName(const char* what) {
    std::string name;
    for (char ch : std::string(what))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Subset, SvgDrawn, ::testing::ValuesIn(kDrawn),
                         [](const auto& info) { return testName(info.param.what); });

std::string repeated(const std::string& text, int times) {
    std::string out;
    out.reserve(text.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

const std::string kBigCircle = "<circle cx=\"350\" cy=\"200\" r=\"600\" fill=\"#36c\" opacity=\"0.05\"/>\n";

std::string nestedGroups(int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "<g>";
    for (int i = 0; i < depth; ++i) s += "</g>";
    return s;
}

struct Rejected {
    const char* what;
    QByteArray svg;
    std::string expected;  // part of the message
};

void PrintTo(const Rejected& c, std::ostream* os) { *os << c.what; }


const std::vector<Rejected> kRejected = {
    {"image", doc(R"x(<image href="a.png" width="10" height="10"/>)x"), "line 2: <image> is not supported"},
    {"use", doc(R"x(<use href="#a"/>)x"), "<use> is not supported"},
    {"gradient", doc(R"x(<linearGradient id="g"/>)x"), "<linearGradient> is not supported"},
    {"defs", doc(R"x(<defs/>)x"), "<defs> is not supported"},
    {"tspan", doc(R"x(<text x="1" y="20">a<tspan>b</tspan></text>)x"), "<tspan> inside <text> is not supported"},
    {"element inside a shape", doc(R"x(<rect width="5" height="5"><animate/></rect>)x"), "<animate> inside a shape"},
    {"css class", doc(R"x(<rect class="c" width="5" height="5"/>)x"), "<rect>: attribute \"class\" is not supported"},
    {"unknown style property", doc(R"x(<rect style="filter: blur(2px)" width="5" height="5"/>)x"),
     "<rect>: style property \"filter\" is not supported"},
    {"rgb() colour", doc(R"x(<rect fill="rgb(1,2,3)" width="5" height="5"/>)x"), "<rect>: fill \"rgb(1,2,3)\" is not #rgb"},
    {"skew", doc(R"x(<g transform="skewX(10)"/>)x"), "<g>: transform \"skewX(10)\" is not a list"},
    {"bad path command", doc(R"x(<path d="M0 0 B10 10"/>)x"), "line 2: <path>: d \"M0 0 B10 10\" has \"B10 10\", which is not a command"},
    {"path without moveto", doc(R"x(<path d="L10 10"/>)x"), "<path>: d \"L10 10\" must begin with M"},
    {"path command short of numbers", doc(R"x(<path d="M0 0 C1 2 3 4 5"/>)x"), "has 5 numbers after C (groups of 6)"},
    {"numbers after closepath", doc(R"x(<path d="M0 0 L1 1 Z 5"/>)x"), "has 1 numbers after Z (it takes none)"},
    {"arc flag Qt cannot read", doc(R"x(<path d="M0 0 A5 5 0 2 1 10 10"/>)x"), "Qt's SVG module: Invalid path data"},
    {"percent length", doc(R"x(<rect width="50%" height="5"/>)x"), "<rect>: width \"50%\" is not a number"},
    {"negative radius", doc(R"x(<circle r="-1"/>)x"), "<circle>: r \"-1\" is negative"},
    {"opacity above one", doc(R"x(<rect opacity="1.5" width="5" height="5"/>)x"), "<rect>: opacity \"1.5\" is not 0 to 1"},
    {"odd points", doc(R"x(<polygon points="1 2 3"/>)x"), "<polygon>: points \"1 2 3\" is not a list of x,y pairs"},
    {"group opacity", doc(R"x(<g opacity="0.5"/>)x"), "<g>: attribute \"opacity\" is not supported"},
    {"stroke on text", doc(R"x(<text x="1" y="20" stroke="red">a</text>)x"), "<text>: a stroke on text is not supported"},
    {"stroke inherited by text", doc(R"x(<g style="stroke: red"><text x="1" y="20">a</text></g>)x"),
     "line 2: <text>: a stroke on text"},
    {"other font", doc(R"x(<text x="1" y="20" font-family="Arial">a</text>)x"), "font-family \"Arial\" is not sans-serif"},
    {"font list", doc(R"x(<text x="1" y="20" font-family="黑体, sans-serif">a</text>)x"), "font-family \"黑体, sans-serif\""},
    {"weight between", doc(R"x(<text x="1" y="20" font-weight="500">a</text>)x"), "font-weight \"500\" is not normal or bold"},
    {"transform with a unit", doc(R"x(<g transform="rotate(10deg)"/>)x"), "<g>: transform \"rotate(10deg)\""},
    {"document type", "<!DOCTYPE svg [<!ENTITY a \"b\">]><svg width=\"5\" height=\"5\"/>", "document type declaration"},
    {"nested too deep", doc(nestedGroups(100)), "nested more than 64 deep"},
    {"20,000 circles", doc(repeated(kBigCircle, 20000)), "line 2001: <circle>: more than 2000 elements"},
    {"a path of 400,000 segments", doc("<path d=\"M0 0" + repeated(" L1 1", 400000) + "\"/>"),
     "<path>: the paths and point lists hold more than 40000 numbers"},
    {"polygons of 50,000 numbers", doc(repeated("<polygon points=\"" + repeated("1,2 ", 250) + "\"/>\n", 100)),
     "<polygon>: the paths and point lists hold more than 40000 numbers"},
    {"document ends early", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"5\" height=\"5\"><g>", "not well-formed XML"},
    {"nested svg", doc(R"x(<svg width="5" height="5"/>)x"), "<svg> inside <svg>"},
    {"root not svg", "<html width=\"5\" height=\"5\"/>", "the root element is <html>, not <svg>"},
    {"width missing", "<svg height=\"5\"/>", "<svg>: width is missing"},
    {"fractional width", "<svg width=\"10.5\" height=\"5\"/>", "<svg>: width \"10.5\" must be a whole number"},
    {"bad viewBox", doc("", "width=\"5\" height=\"5\" viewBox=\"0 0 10\""), "<svg>: viewBox \"0 0 10\" must be four numbers"},
    {"not XML", "<svg width=\"5\" height=\"5\"><rect></svg>", "not well-formed XML"},
    {"foreign namespace", doc(R"x(<x:rect xmlns:x="urn:other" width="5" height="5"/>)x"), "<x:rect> is not supported"},
};

class SvgRejected : public ::testing::TestWithParam<Rejected> {};

TEST_P(SvgRejected, NamesTheElementAndReason) {
    const Rejected& r = GetParam();
    try {
        svg::render(r.svg);
        FAIL() << "accepted";
    } catch (const svg::Error& e) {
        EXPECT_NE(std::string(e.what()).find(r.expected), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Subset, SvgRejected, ::testing::ValuesIn(kRejected),
                         [](const auto& info) { return testName(info.param.what); });

int darkPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    return n;
}

TEST(SvgText, DrawsChineseTextOnTheBaselineInTheChosenFace) {
    auto text = [](const std::string& attrs) {
        return svg::render(doc("<text x=\"10\" y=\"70\" font-size=\"60\" " + attrs + ">数</text>"));
    };
    QImage song = text("");
    QImage hei = text("font-family=\"sans-serif\"");
    EXPECT_GT(darkPixels(song), 100);
    EXPECT_GT(darkPixels(hei), 100);
    EXPECT_NE(song, hei);
    // Nothing below the baseline's descent, nothing above the em box.
    EXPECT_EQ(darkPixels(song.copy(0, 85, 100, 15)), 0);
    EXPECT_EQ(darkPixels(song.copy(0, 0, 100, 5)), 0);
}

TEST(SvgText, FaceNamesAndGenericNamesDrawTheSameTwoFaces) {
    auto text = [](const std::string& attrs) {
        return svg::render(doc("<text x=\"10\" y=\"70\" font-size=\"60\" " + attrs + ">骨</text>"));
    };
    const QImage song = text("font-family=\"宋体\"");
    const QImage hei = text("font-family=\"黑体\"");
    EXPECT_NE(song, hei);
    EXPECT_EQ(text(""), song);
    EXPECT_EQ(text("font-family=\"serif\""), song);
    EXPECT_EQ(text("font-family=\"sans-serif\""), hei);
    EXPECT_EQ(text("font-family=\"'黑体'\""), hei);
}

TEST(SvgIcon, FillsATransparentSquareKeepingTheAspect) {
    const QByteArray wide = doc(R"x(<rect width="200" height="100" fill="red"/>)x", "width=\"200\" height=\"100\"");
    const QImage icon = svg::renderIcon(wide, 48);
    ASSERT_EQ(icon.size(), QSize(48, 48));
    EXPECT_TRUE(icon.hasAlphaChannel());
    EXPECT_EQ(qAlpha(icon.pixel(24, 2)), 0);  // above the centred picture
    EXPECT_EQ(icon.pixel(24, 24), qRgb(255, 0, 0));
    EXPECT_THROW(svg::renderIcon(doc("<image/>"), 48), svg::Error);
}

TEST(SvgText, AnchorsMoveTheText) {
    auto leftmostDark = [](const QImage& image) {
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (qGray(image.pixel(x, y)) < 128)
                    return x;
        return -1;
    };
    auto at = [](const char* anchor) {
        return svg::render(doc(std::string("<text x=\"50\" y=\"60\" font-size=\"30\" text-anchor=\"") + anchor +
                               "\">1</text>"));
    };
    int start = leftmostDark(at("start")), middle = leftmostDark(at("middle")), end = leftmostDark(at("end"));
    EXPECT_GE(start, 50);
    EXPECT_LT(middle, start);
    EXPECT_LT(end, middle);
}

TEST(SvgSize, ImageTakesTheRootSize) {
    EXPECT_EQ(svg::render(doc("", "width=\"700\" height=\"40px\"")).size(), QSize(700, 40));
}

TEST(SvgSize, UnreadableFileIsAnError) {
    EXPECT_THROW(svg::renderFile("/nonexistent/picture.svg"), svg::Error);
}

// A picture within the bounds that still draws too long ends the build,
// naming the file: 1999 large translucent circles against a limit of 50 ms.
TEST(SvgRenderDeathTest, APictureThatDrawsTooLongStopsTheBuildNamingTheFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string path = ::testing::TempDir() + "slow-picture-" + std::to_string(getpid()) + ".svg";
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(doc(repeated(kBigCircle, 1999), "width=\"700\" height=\"400\""));
    file.close();
    EXPECT_EXIT(svg::renderFile(QString::fromStdString(path), std::chrono::milliseconds(50)),
                ::testing::ExitedWithCode(svg::kRenderTimeoutStatus),
                "slow-picture-[0-9]+\\.svg: the picture takes longer than 50 ms to draw");
    // The same picture within the usual limit draws.
    EXPECT_EQ(svg::renderFile(QString::fromStdString(path)).size(), QSize(700, 400));
    file.remove();
}

}  // namespace
