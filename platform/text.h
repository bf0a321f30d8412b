// Drawing GBK text the way the window's layouts expect it.
//
// The layouts were made for Chinese faces in which every character fills a
// fixed cell: a double-byte character is as wide as the font height, a
// single-byte character half as wide.  Captions padded with spaces, option
// markers found by byte position and columns of numbers all rely on that.
// The faces we have (Noto CJK) are proportional for Latin letters, so text
// is laid out cell by cell: each character is centred in its cell.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <string>
#include <string_view>

class QPainter;

namespace ui {

// A font as the window describes it: face name (GBK or ASCII), pixel height
// of the characters, style and colour.
struct FontSpec {
    std::string face = "宋体";  // UTF-8 here; mapped by installFontSubstitutions
    int height = 13;
    bool bold = false;
    bool italic = false;
    QColor color = Qt::black;
};

// Maps the window's face names to the installed Noto faces.  Call once after
// the application object exists.
void installFontSubstitutions();

QFont toQFont(const FontSpec& spec);

// GBK -> QString for display (gbk::toUtf8Shown): never fails, because
// drawing must never throw; a character cut off at the end is left out.
QString qtext(std::string_view gbkBytes);

// Width of a GBK text in cells: bytes x height / 2.
int cellTextWidth(std::string_view gbkBytes, int height);

// Draws text with the top of its cells at (x, top), character by character.
// Uses the painter's current pen; font from spec (colour ignored).
void drawCellText(QPainter& p, int x, int top, std::string_view gbkBytes, const FontSpec& spec);

}  // namespace ui
