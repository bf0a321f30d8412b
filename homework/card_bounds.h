// What one question card may take.  Each card is a bitmap as high as its
// text and picture (about 3 KB per pixel row); the file decides both, so
// both are bounded here, which bounds a homework of 20 cards too.  Content
// over a bound shows as a Chinese sentence on the card; the rest of the
// card and the homework stay usable.
#pragma once

#include <QImage>

#include <string>
#include <string_view>
#include <vector>

namespace cards {

// Text lines on one card (30 pixels each); a longer text is cut, its last
// line saying so.
inline constexpr std::size_t kMaxLines = 40;
// A picture is scaled down into this box, keeping its shape.
inline constexpr int kMaxPictureWidth = 716;
inline constexpr int kMaxPictureHeight = 800;
// Pixels of one card's bitmap: on a screen of more pixels per unit a card
// gets them up to about what a card of the most lines takes at one pixel
// per unit (a usual card of 400 rows gets all of them at 2), so a homework
// takes about as much memory there as on a plain screen.
inline constexpr qint64 kMaxCardPixels = 786LL * 1600;

// The card's text (GBK, lines split at CR LF) cut to kMaxLines lines.
std::string boundedText(std::string_view gbkText);

// The card's picture: decoded and scaled into the box, or, when it has too
// many pixels (pictures::kMaxPixels), a picture of the sentence saying so.  Throws what
// jpeg::decode throws for a damaged picture.
QImage boundedPicture(const std::vector<unsigned char>& jpegBytes);

}  // namespace cards
