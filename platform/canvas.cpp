#include "canvas.h"

#include <QPaintEngine>
#include <QPainter>

namespace ui {

Canvas::Canvas(QImage* bitmap, std::function<void()> changed)
    : bitmap_(bitmap), changed_(std::move(changed)) {}

Canvas::Canvas(QPainter* painter) : painter_(painter) {}

int Canvas::width() const {
    if (painter_) return painter_->device() ? painter_->device()->width() : 0;
    return int(bitmap_->deviceIndependentSize().width());
}

int Canvas::height() const {
    if (painter_) return painter_->device() ? painter_->device()->height() : 0;
    return int(bitmap_->deviceIndependentSize().height());
}

void Canvas::notify() {
    if (changed_) changed_();
}

void Canvas::paint(const std::function<void(QPainter&)>& draw) {
    if (painter_) {
        if (!painter_->isActive()) return;
        painter_->save();
        draw(*painter_);
        painter_->restore();
        return;
    }
    if (bitmap_->isNull()) return;
    QPainter p(bitmap_);
    draw(p);
    p.end();
    notify();
}

void Canvas::textOut(int x, int y, std::string_view gbkText) {
    paint([&](QPainter& p) {
        if (brushStyle == BrushStyle::Solid)
            p.fillRect(QRect(x, y, cellTextWidth(gbkText, font.height), font.height), brushColor);
        p.setPen(font.color);
        p.setRenderHint(QPainter::TextAntialiasing);
        drawCellText(p, x, y, gbkText, font);
    });
}

void Canvas::moveTo(int x, int y) { penPos_ = QPoint(x, y); }

void Canvas::lineTo(int x, int y) {
    const QPoint from = penPos_;
    penPos_ = QPoint(x, y);
    paint([&](QPainter& p) {
        p.setPen(QPen(penColor, penWidth, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(from, QPoint(x, y));
    });
}

void Canvas::fillRect(const QRect& r) {
    paint([&](QPainter& p) { p.fillRect(r, brushColor); });
}

void Canvas::stretchDraw(const QRect& dest, const QImage& picture) {
    if (picture.isNull()) return;
    compose(dest, picture, picture.rect());
}

void Canvas::tile(const QImage& picture, QSize tileSize, int width, int height) {
    if (picture.isNull() || tileSize.isEmpty()) return;
    paint([&](QPainter& p) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (copyMode == CopyMode::SrcAnd && p.paintEngine()->hasFeature(QPaintEngine::RasterOpModes))
            p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        for (int x = 0; x < width; x += tileSize.width())
            for (int y = 0; y < height; y += tileSize.height())
                p.drawImage(QRect(QPoint(x, y), tileSize), picture);
    });
}

void Canvas::copyRect(const QRect& dest, const QImage& source, const QRect& sourceRect) {
    if (source.isNull()) return;
    compose(dest, source, sourceRect);
}

void Canvas::compose(const QRect& dest, const QImage& source, const QRect& sourceRect) {
    if (dest.isEmpty() || sourceRect.isEmpty()) return;
    paint([&](QPainter& p) {
        // Pictures are scaled smoothly on a printer and on a bitmap finer than
        // its units; a bitmap of one pixel per unit keeps them sharp.
        p.setRenderHint(QPainter::SmoothPixmapTransform, painter_ != nullptr || bitmap_->devicePixelRatio() != 1.0);
        if (copyMode == CopyMode::SrcAnd && p.paintEngine()->hasFeature(QPaintEngine::RasterOpModes))
            p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        p.drawImage(dest, source, sourceRect);
    });
}

}  // namespace ui
