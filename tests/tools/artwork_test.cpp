// The window artwork sources render at the sizes their slots expect, and
// the two tiles stay light enough for black text on them.
#include "svg_render.h"

#include <gtest/gtest.h>

namespace {

struct Art {
    const char* name;  // the picture's name in the program
    int width, height;
};

void PrintTo(const Art& c, std::ostream* os) { *os << c.name; }


const std::vector<Art> kArtwork = {
    {"banner.jpg", 1014, 120},       {"strip.jpg", 800, 24},          {"button-small.jpg", 72, 26},
    {"button-wide.jpg", 215, 26},    {"bar.jpg", 88, 26},             {"panel.jpg", 447, 319},
    {"tile-a.bmp", 112, 106},        {"tile-b.bmp", 112, 106},        {"glyph-bt1.bmp", 24, 24},
    {"glyph-bt2.bmp", 24, 24},       {"glyph-analysis.bmp", 71, 22},  {"glyph-prev.bmp", 32, 16},
    {"glyph-next.bmp", 32, 16},      {"glyph-print.bmp", 32, 16},     {"glyph-back.bmp", 32, 16},
    {"glyph-learn.bmp", 32, 16},     {"glyph-printstart.bmp", 32, 16}, {"glyph-printcancel.bmp", 32, 16},
};

QImage renderArt(const std::string& name) {
    std::string stem = name.substr(0, name.rfind('.'));
    return svg::renderFile(QString::fromStdString(std::string(ARTWORK_DIR) + "/" + stem + ".svg"));
}

struct Light {
    double average = 0;  // mean grey level
    int darkest = 255;
};

Light lightness(const QImage& image) {
    Light l;
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            int g = qGray(image.pixel(x, y));
            sum += g;
            l.darkest = std::min(l.darkest, g);
        }
    l.average = sum / (image.width() * image.height());
    return l;
}

class Artwork : public ::testing::TestWithParam<Art> {};

TEST_P(Artwork, RendersAtItsSlotSize) {
    QImage image = renderArt(GetParam().name);
    EXPECT_EQ(image.size(), QSize(GetParam().width, GetParam().height));
}

INSTANTIATE_TEST_SUITE_P(Sources, Artwork, ::testing::ValuesIn(kArtwork), [](const auto& info) {
    std::string name;
    for (char ch : std::string(info.param.name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

TEST(ArtworkTiles, CardTileIsANearWhiteWatermark) {
    Light b = lightness(renderArt("tile-b.bmp"));
    EXPECT_GT(b.average, 240);
    EXPECT_GT(b.darkest, 200);
}

TEST(ArtworkTiles, WorkAreaTileIsSoftSkyBlue) {
    QImage a = renderArt("tile-a.bmp");
    Light l = lightness(a);
    EXPECT_GT(l.average, 170);
    QColor centre = a.pixelColor(a.width() / 2, a.height() / 2);
    EXPECT_GT(centre.blue(), centre.red());
}

TEST(ArtworkGlyphs, DisabledCellIsGrey) {
    for (const char* name : {"glyph-prev.bmp", "glyph-next.bmp", "glyph-print.bmp", "glyph-back.bmp",
                             "glyph-learn.bmp", "glyph-printstart.bmp", "glyph-printcancel.bmp"}) {
        QImage glyph = renderArt(name);
        int colouredNormal = 0, colouredDisabled = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                colouredNormal += glyph.pixelColor(x, y).hsvSaturation() > 80 ? 1 : 0;
                colouredDisabled += glyph.pixelColor(16 + x, y).hsvSaturation() > 40 ? 1 : 0;
            }
        EXPECT_GT(colouredNormal, 10) << name;
        EXPECT_EQ(colouredDisabled, 0) << name;
    }
}

}  // namespace
