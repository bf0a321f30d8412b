#include "jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<unsigned char>;

struct Picture {
    int width;
    int height;
    J_COLOR_SPACE space;  // JCS_RGB, JCS_GRAYSCALE or JCS_CMYK
    std::function<std::vector<int>(int x, int y)> sample;
    bool progressive = false;
};

int components(J_COLOR_SPACE space)
{
    return space == JCS_GRAYSCALE ? 1 : space == JCS_RGB ? 3 : 4;
}

// Encodes with libjpeg at quality 100 without chroma subsampling, so decoded
// colours stay within a few steps of the originals.
Bytes compress(const Picture& picture)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = picture.width;
    info.image_height = picture.height;
    info.input_components = components(picture.space);
    info.in_color_space = picture.space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int c = 0; c < info.num_components; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    if (picture.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(picture.width * info.input_components);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < picture.width; ++x) {
            std::vector<int> s = picture.sample(x, static_cast<int>(info.next_scanline));
            std::copy(s.begin(), s.end(), row.begin() + x * info.input_components);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// 16 x 16 in four 8 x 8 quadrants: red, green / blue, white.
std::vector<int> quadrant(int x, int y)
{
    static const std::vector<int> colours[4] = {
        {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    return colours[(y / 8) * 2 + x / 8];
}

const Picture kColour{16, 16, JCS_RGB, quadrant};
const Picture kProgressive{16, 16, JCS_RGB, quadrant, true};
const Picture kGrey{16, 8, JCS_GRAYSCALE, [](int x, int) { return std::vector<int>{x * 16}; }};
const Picture kOddSize{13, 7, JCS_RGB, [](int, int) { return std::vector<int>{40, 120, 200}; }};
const Picture kCmyk{8, 8, JCS_CMYK, [](int, int) { return std::vector<int>{0, 255, 255, 0}; }};

// Offset of the first marker FF code, or npos.
std::size_t findMarker(const Bytes& bytes, unsigned char code)
{
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == code)
            return i;
    return std::string::npos;
}

constexpr unsigned char kSOF0 = 0xC0, kSOF2 = 0xC2, kDHT = 0xC4, kSOS = 0xDA, kDQT = 0xDB;

bool near(QRgb pixel, int r, int g, int b)
{
    return std::abs(qRed(pixel) - r) <= 6 && std::abs(qGreen(pixel) - g) <= 6 &&
           std::abs(qBlue(pixel) - b) <= 6 && qAlpha(pixel) == 255;
}

std::string decodeError(const Bytes& bytes)
{
    try {
        jpeg::decode(bytes);
    } catch (const jpeg::DecodeError& e) {
        return e.what();
    }
    return "(decoded)";
}

TEST(JpegDecode, ColourPictureKeepsSizeAndColours)
{
    for (const Picture* picture : {&kColour, &kProgressive}) {
        const QImage image = jpeg::decode(compress(*picture));
        ASSERT_EQ(image.format(), QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(16, 16));
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const std::vector<int> c = quadrant(x, y);
                EXPECT_TRUE(near(image.pixel(x, y), c[0], c[1], c[2]))
                    << "pixel " << x << "," << y << " progressive=" << picture->progressive;
            }
    }
}

TEST(JpegDecode, GreyPictureBecomesRgbWithEqualChannels)
{
    const QImage image = jpeg::decode(compress(kGrey));
    ASSERT_EQ(image.format(), QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(16, 8));
    for (int x = 0; x < 16; ++x) {
        const QRgb pixel = image.pixel(x, 3);
        EXPECT_TRUE(near(pixel, x * 16, x * 16, x * 16)) << "column " << x;
        EXPECT_EQ(qRed(pixel), qGreen(pixel));
        EXPECT_EQ(qGreen(pixel), qBlue(pixel));
    }
}

TEST(JpegDecode, SizeThatIsNoMultipleOfTheBlockSize)
{
    const QImage image = jpeg::decode(compress(kOddSize));
    ASSERT_EQ(image.size(), QSize(13, 7));
    EXPECT_TRUE(near(image.pixel(0, 0), 40, 120, 200));
    EXPECT_TRUE(near(image.pixel(12, 6), 40, 120, 200));
}

TEST(JpegDecode, EmptyInputIsAnError)
{
    EXPECT_THROW(jpeg::decode(Bytes{}), jpeg::DecodeError);
    EXPECT_THROW(jpeg::decode(nullptr, 0), jpeg::DecodeError);
    const unsigned char one = 0xFF;
    EXPECT_THROW(jpeg::decode(&one, 0), jpeg::DecodeError);
}

TEST(JpegDecode, CmykPictureIsRefused)
{
    EXPECT_NE(decodeError(compress(kCmyk)), "(decoded)");
}

struct Damage {
    const char* name;
    std::function<Bytes(Bytes)> apply;
    const char* messagePart;  // expected in what(), "" for any message
};

Bytes cutAt(Bytes bytes, std::size_t size)
{
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
}

Bytes flip(Bytes bytes, std::size_t at)
{
    bytes.at(at) ^= 0xFF;
    return bytes;
}

// Offset of the first byte of entropy-coded data.
std::size_t scanStart(const Bytes& b)
{
    const std::size_t sos = findMarker(b, kSOS);
    return sos + 2 + (b[sos + 2] << 8 | b[sos + 3]);
}

const Damage kDamages[] = {
    {"only SOI", [](Bytes) { return Bytes{0xFF, 0xD8}; }, "Premature end of JPEG file"},
    {"SOI then EOI", [](Bytes) { return Bytes{0xFF, 0xD8, 0xFF, 0xD9}; }, "no image"},
    {"one byte", [](Bytes) { return Bytes{0xFF}; }, ""},
    {"cut inside the header", [](Bytes b) { return cutAt(b, 20); }, "Premature end"},
    {"cut after the scan header", [](Bytes b) { return cutAt(b, scanStart(b)); }, "Premature end"},
    {"cut in the middle of the scan",
     [](Bytes b) { return cutAt(b, (scanStart(b) + b.size()) / 2); }, "Premature end"},
    {"cut before EOI", [](Bytes b) { return cutAt(b, b.size() - 2); }, "Premature end"},
    {"cut inside EOI", [](Bytes b) { return cutAt(b, b.size() - 1); }, "Premature end"},
    {"flipped SOI", [](Bytes b) { return flip(b, 1); }, "Not a JPEG file"},
    {"flipped DQT marker", [](Bytes b) { return flip(b, findMarker(b, kDQT) + 1); }, ""},
    {"flipped precision", [](Bytes b) { return flip(b, findMarker(b, kSOF0) + 4); }, "precision"},
    {"flipped height", [](Bytes b) { return flip(b, findMarker(b, kSOF0) + 5); }, ""},
    {"flipped component count", [](Bytes b) { return flip(b, findMarker(b, kSOF0) + 9); }, ""},
    {"flipped Huffman counts", [](Bytes b) { return flip(b, findMarker(b, kDHT) + 6); }, ""},
    {"flipped scan length", [](Bytes b) { return flip(b, findMarker(b, kSOS) + 3); }, ""},
};

TEST(JpegDecode, DamagedDataIsAnError)
{
    const Bytes good = compress(kColour);
    ASSERT_NE(findMarker(good, kSOF0), std::string::npos);
    for (const Damage& damage : kDamages) {
        const std::string message = decodeError(damage.apply(good));
        EXPECT_NE(message, "(decoded)") << damage.name;
        EXPECT_NE(message.find(damage.messagePart), std::string::npos)
            << damage.name << ": " << message;
    }
}

TEST(JpegDecode, TruncatedProgressivePictureIsAnError)
{
    const Bytes good = compress(kProgressive);
    ASSERT_NE(findMarker(good, kSOF2), std::string::npos);
    for (std::size_t size : {good.size() / 3, good.size() / 2, good.size() - 2})
        EXPECT_NE(decodeError(cutAt(good, size)), "(decoded)") << "size " << size;
}

TEST(JpegDecode, RandomBytesAreAnError)
{
    std::mt19937 random(7);
    for (std::size_t size : {1u, 2u, 3u, 64u, 1000u, 20000u}) {
        Bytes bytes(size);
        for (auto& b : bytes)
            b = static_cast<unsigned char>(random());
        EXPECT_NE(decodeError(bytes), "(decoded)") << "size " << size;
        bytes.insert(bytes.begin(), {0xFF, 0xD8});
        EXPECT_NE(decodeError(bytes), "(decoded)") << "SOI and size " << size;
    }
}

// Random damage anywhere may or may not be detected, but must end either in
// a picture of the stated size or in DecodeError, never in a crash.
TEST(JpegDecode, RandomDamageNeverCrashes)
{
    const Bytes good = compress(kColour);
    std::mt19937 random(11);
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes bytes = good;
        for (int n = 1 + round % 4; n > 0; --n)
            bytes[random() % bytes.size()] ^= static_cast<unsigned char>(1 + random() % 255);
        try {
            const QImage image = jpeg::decode(bytes);
            EXPECT_FALSE(image.isNull());
            EXPECT_EQ(image.format(), QImage::Format_RGB32);
        } catch (const jpeg::DecodeError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
