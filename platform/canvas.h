// An off-screen drawing surface with the state a drawing routine expects:
// a current font, pen, brush and copy mode, and a pen position for lines.
#pragma once

#include "text.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>

#include <functional>
#include <string_view>

class QPainter;

namespace ui {

enum class CopyMode {
    SrcCopy,  // the source replaces the destination
    SrcAnd,   // source AND destination: white in the source lets the destination show
};

enum class BrushStyle { Solid, Clear };

class Canvas {
public:
    // Draws on *bitmap; changed() runs after every drawing call so the owner
    // can repaint.  The bitmap must outlive the canvas.
    explicit Canvas(QImage* bitmap, std::function<void()> changed = {});
    // Draws through a painter that is already open on some device (a
    // printer's page); the painter must outlive the canvas.  Copy modes the
    // device cannot do (SrcAnd on a printer) draw as SrcCopy.
    explicit Canvas(QPainter* painter);

    FontSpec font;
    QColor penColor = Qt::black;
    int penWidth = 1;
    BrushStyle brushStyle = BrushStyle::Solid;
    QColor brushColor = Qt::white;
    CopyMode copyMode = CopyMode::SrcCopy;

    // The bitmap drawn on; only for canvases made on a bitmap.
    QImage& bitmap() { return *bitmap_; }
    int width() const;
    int height() const;

    // Text with the top-left of its first cell at (x, y), in the font's
    // colour; a solid brush first fills the text's box.
    void textOut(int x, int y, std::string_view gbkText);
    void moveTo(int x, int y);
    void lineTo(int x, int y);
    void fillRect(const QRect& r);
    // Stretches the picture into the rectangle (left, top, right, bottom
    // exclusive) using the copy mode.
    void stretchDraw(const QRect& dest, const QImage& picture);
    // Covers (0, 0)-(width, height) with copies of the picture, each
    // stretched into a cell of tileSize, column by column, using the copy
    // mode; the last row and column are cut at the edge.
    void tile(const QImage& picture, QSize tileSize, int width, int height);
    // Copies part of a picture, both rectangles given as corners
    // (right and bottom exclusive), scaling when the sizes differ.
    void copyRect(const QRect& dest, const QImage& source, const QRect& sourceRect);

private:
    void compose(const QRect& dest, const QImage& source, const QRect& sourceRect);
    // Runs draw with a painter on the target, or does nothing when there is
    // nothing to draw on; then tells the owner.
    void paint(const std::function<void(QPainter&)>& draw);
    void notify();

    QImage* bitmap_ = nullptr;
    QPainter* painter_ = nullptr;
    std::function<void()> changed_;
    QPoint penPos_;
};

// Rectangle from corner coordinates, right and bottom exclusive.
inline QRect cornerRect(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

}  // namespace ui
