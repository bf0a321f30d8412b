#include "canvas.h"

#include <QPainter>

namespace ui {

Canvas::Canvas(QImage* bitmap, std::function<void()> changed)
    : bitmap_(bitmap), changed_(std::move(changed)) {}

void Canvas::notify() {
    if (changed_) changed_();
}

void Canvas::textOut(int x, int y, std::string_view gbkText) {
    if (bitmap_->isNull()) return;
    QPainter p(bitmap_);
    if (brushStyle == BrushStyle::Solid)
        p.fillRect(QRect(x, y, cellTextWidth(gbkText, font.height), font.height), brushColor);
    p.setPen(font.color);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawCellText(p, x, y, gbkText, font);
    p.end();
    notify();
}

void Canvas::moveTo(int x, int y) { penPos_ = QPoint(x, y); }

void Canvas::lineTo(int x, int y) {
    if (!bitmap_->isNull()) {
        QPainter p(bitmap_);
        p.setPen(QPen(penColor, penWidth, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(penPos_, QPoint(x, y));
    }
    penPos_ = QPoint(x, y);
    notify();
}

void Canvas::fillRect(const QRect& r) {
    if (bitmap_->isNull()) return;
    QPainter p(bitmap_);
    p.fillRect(r, brushColor);
    p.end();
    notify();
}

void Canvas::stretchDraw(const QRect& dest, const QImage& picture) {
    if (picture.isNull()) return;
    compose(dest, picture, picture.rect());
}

void Canvas::copyRect(const QRect& dest, const QImage& source, const QRect& sourceRect) {
    if (source.isNull()) return;
    compose(dest, source, sourceRect);
}

void Canvas::compose(const QRect& dest, const QImage& source, const QRect& sourceRect) {
    if (bitmap_->isNull() || dest.isEmpty() || sourceRect.isEmpty()) return;
    QPainter p(bitmap_);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (copyMode == CopyMode::SrcAnd)
        p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    p.drawImage(dest, source, sourceRect);
    p.end();
    notify();
}

}  // namespace ui
