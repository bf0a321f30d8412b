#include "controls.h"

#include "gbk.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <cmath>

namespace ui {

// ---------------------------------------------------------------- Control

void drawFocusRing(QPainter& p, const QRect& r) {
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kFocusRing, kFocusRingWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    const int half = kFocusRingWidth / 2;
    p.drawRect(r.adjusted(half, half, -half, -half));
    p.restore();
}

void Control::setHint(std::string gbkHint) {
    hint_ = std::move(gbkHint);
    self_->setToolTip(showHint_ ? qtext(hint_) : QString());
}

void Control::setShowHint(bool show) {
    showHint_ = show;
    setHint(hint_);
}

bool Control::canFocus() const {
    for (const QWidget* w = self_; w; w = w->parentWidget()) {
        if (w->isHidden() || w->testAttribute(Qt::WA_ForceDisabled)) return false;
        if (w->isWindow()) break;
    }
    return true;
}

void Control::setAlign(Align a) {
    align_ = a;
    if (QWidget* parent = self_->parentWidget()) realignChildren(parent);
}

void Control::handlePress(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) pressed_ = true;
}

void Control::handleRelease(QMouseEvent* e) {
    // Mouse-up is told for every button; a click is the left button only.
    const QPoint at = e->position().toPoint();
    if (onMouseUp) onMouseUp(at.x(), at.y());
    if (e->button() != Qt::LeftButton) return;
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (wasPressed && self_->rect().contains(at) && onClick) onClick();
}

void Control::handleDoubleClick(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = true;
    if (onDblClick) onDblClick();
}

void Control::handleMove(QMouseEvent* e) {
    if (!onMouseMove) return;
    QPoint at = e->position().toPoint();
    onMouseMove(at.x(), at.y());
}

Control* controlOf(QWidget* w) { return dynamic_cast<Control*>(w); }

namespace {

class KeyHook : public QObject {
public:
    KeyHook(QObject* owner, std::function<bool(int)> handler) : QObject(owner), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->modifiers() & ~Qt::KeypadModifier) return false;
        if (!handler_(key->key())) return false;
        key->accept();
        return true;
    }

private:
    std::function<bool(int)> handler_;
};

}  // namespace

void onKeyPress(QWidget* w, std::function<bool(int key)> handler) {
    w->installEventFilter(new KeyHook(w, std::move(handler)));
}

void realignChildren(QWidget* parent) {
    const Control* owner = controlOf(parent);
    const int inset = owner ? owner->clientInset() : 0;
    QRect free = parent->rect().adjusted(inset, inset, -inset, -inset);
    std::vector<Control*> clients;
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        Control* c = w ? controlOf(w) : nullptr;
        if (!c || c->align() == Align::None) continue;
        // A hidden control takes no room but still follows the parent's
        // size, so that it fits when shown again after the parent changed
        // (a window resized by the compositor while the cards are hidden).
        const int taken = w->isHidden() ? 0 : w->height();
        switch (c->align()) {
        case Align::Top:
            w->setGeometry(free.left(), free.top(), free.width(), w->height());
            free.setTop(free.top() + taken);
            break;
        case Align::Bottom:
            w->setGeometry(free.left(), free.bottom() + 1 - w->height(), free.width(), w->height());
            free.setBottom(free.bottom() - taken);
            break;
        case Align::Client:
            clients.push_back(c);
            break;
        case Align::None:
            break;
        }
    }
    for (Control* c : clients) c->widget()->setGeometry(free);
}

void Container::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    realignChildren(this);
}

// ---------------------------------------------------------------- Panel

namespace {

void frame3D(QPainter& p, QRect& r, QColor topLeft, QColor bottomRight, int width) {
    for (int i = 0; i < width; ++i) {
        p.setPen(topLeft);
        p.drawLine(r.left(), r.bottom(), r.left(), r.top());
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.setPen(bottomRight);
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
        r.adjust(1, 1, -1, -1);
    }
}

const QColor kHighlight(Qt::white);
const QColor kShadow(0x80, 0x80, 0x80);

void bevel(QPainter& p, QRect& r, BevelCut cut, int width) {
    if (cut == BevelCut::Raised) frame3D(p, r, kHighlight, kShadow, width);
    if (cut == BevelCut::Lowered) frame3D(p, r, kShadow, kHighlight, width);
}

}  // namespace

Panel::Panel(QWidget* parent) : QWidget(parent), Control(this) {
    setAutoFillBackground(false);
}

void Panel::setCaption(std::string gbk) {
    caption_ = std::move(gbk);
    update();
}

void Panel::setFont(const FontSpec& f) {
    font_ = f;
    update();
}

void Panel::setColor(QColor c) {
    color_ = c;
    update();
}

void Panel::setBevels(BevelCut outer, BevelCut inner, int bevelWidth, int borderWidth) {
    outer_ = outer;
    inner_ = inner;
    bevelWidth_ = bevelWidth;
    borderWidth_ = borderWidth;
    realignChildren(this);
    update();
}

int Panel::clientInset() const {
    return borderWidth_ + (outer_ != BevelCut::None ? bevelWidth_ : 0) +
           (inner_ != BevelCut::None ? bevelWidth_ : 0);
}

void Panel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect r = rect();
    bevel(p, r, outer_, bevelWidth_);
    p.fillRect(r.left(), r.top(), r.width(), r.height(), color_);
    r.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
    bevel(p, r, inner_, bevelWidth_);
    if (caption_.empty()) return;
    const int w = cellTextWidth(caption_, font_.height);
    p.setPen(font_.color);
    p.setClipRect(r);
    drawCellText(p, r.left() + (r.width() - w) / 2, r.top() + (r.height() - font_.height) / 2,
                 caption_, font_);
}

void Panel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    realignChildren(this);
}

// ---------------------------------------------------------------- Image

Image::Image(QWidget* parent) : QWidget(parent), Control(this) {}

void Image::setPicture(const QImage& img) {
    picture_ = img.isNull() ? QImage() : img.convertToFormat(QImage::Format_RGB32);
    canvas_.reset();
    if (autoSize_ && !picture_.isNull()) resize(picture_.deviceIndependentSize().toSize());
    update();
}

void Image::clearPicture() {
    picture_ = QImage();
    canvas_.reset();
    update();
}

void Image::setAutoSize(bool a) {
    autoSize_ = a;
    if (autoSize_ && !picture_.isNull()) resize(picture_.deviceIndependentSize().toSize());
}

Canvas& Image::canvas() {
    if (picture_.isNull()) {
        const int w = std::max(1, width());
        const int h = std::max(1, height());
        double ratio = std::max(1.0, devicePixelRatioF());
        const double units = double(w) * h;
        if (units * ratio * ratio > double(maxPixels)) ratio = std::max(1.0, std::sqrt(double(maxPixels) / units));
        picture_ = QImage(std::max(1, int(std::ceil(w * ratio))), std::max(1, int(std::ceil(h * ratio))),
                          QImage::Format_RGB32);
        if (picture_.isNull()) picture_ = QImage(w, h, QImage::Format_RGB32);  // no room for the finer one
        else picture_.setDevicePixelRatio(ratio);
        picture_.fill(Qt::white);
        canvas_.reset();
    }
    if (!canvas_) canvas_ = std::make_unique<Canvas>(&picture_, [this] { update(); });
    return *canvas_;
}

void Image::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    if (!stretch) {
        p.drawImage(QPoint(0, 0), picture_);
        return;
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF size = picture_.deviceIndependentSize();
    const double widest = maxWidening > 0 ? size.width() * height() / size.height() * maxWidening : width();
    if (width() <= widest) {
        p.drawImage(rect(), picture_);
        return;
    }
    const int drawn = int(widest);
    p.drawImage(QRect(0, 0, drawn, height()), picture_);
    const QRect lastColumn(picture_.width() - 1, 0, 1, picture_.height());
    p.drawImage(QRect(drawn, 0, width() - drawn, height()), picture_, lastColumn);
}

// ---------------------------------------------------------------- Label

Label::Label(QWidget* parent) : QWidget(parent), Control(this) {}

void Label::setCaption(std::string gbk) {
    caption_ = std::move(gbk);
    fit();
    update();
}

void Label::setFont(const FontSpec& f) {
    font_ = f;
    fit();
    update();
}

void Label::fit() {
    if (autoSize) resize(std::max(1, cellTextWidth(caption_, font_.height)), font_.height + 2);
}

void Label::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!transparent) p.fillRect(rect(), color);
    p.setPen(isEnabled() ? font_.color : kShadow);
    drawCellText(p, 0, 0, caption_, font_);
}

// ---------------------------------------------------------------- SpeedButton

SpeedButton::SpeedButton(QWidget* parent) : QToolButton(parent), Control(this) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    setAutoRaise(true);
    QObject::connect(this, &QAbstractButton::clicked, [this] {
        if (onClick) onClick();
    });
}

void SpeedButton::setCaption(std::string gbk) {
    caption_ = std::move(gbk);
    update();
}

void SpeedButton::setFont(const FontSpec& f) {
    font_ = f;
    update();
}

void SpeedButton::setGlyph(const QImage& g, int numGlyphs) {
    glyphBitmap_ = g.isNull() ? QImage() : g.convertToFormat(QImage::Format_RGB32);
    glyph_ = g.isNull() ? QImage() : g.convertToFormat(QImage::Format_ARGB32);
    numGlyphs_ = std::max(1, numGlyphs);
    if (!glyph_.isNull()) {
        // The bottom-left pixel's colour marks the transparent parts.
        const QRgb key = glyph_.pixel(0, glyph_.height() - 1);
        for (int y = 0; y < glyph_.height(); ++y)
            for (int x = 0; x < glyph_.width(); ++x)
                if (glyph_.pixel(x, y) == key) glyph_.setPixel(x, y, qRgba(0, 0, 0, 0));
    }
    update();
}

QImage SpeedButton::glyphCell(bool disabled) const {
    if (glyph_.isNull()) return {};
    const int cellW = glyph_.width() / numGlyphs_;
    const int cell = (disabled && numGlyphs_ > 1) ? 1 : 0;
    return glyph_.copy(cell * cellW, 0, cellW, glyph_.height());
}

void SpeedButton::click() {
    if (onClick) onClick();
}

void SpeedButton::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void SpeedButton::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

void SpeedButton::mouseReleaseEvent(QMouseEvent* e) {
    // Mouse-up is told for every button; the click is Qt's (left button,
    // pressed and released over the button).
    if (onMouseUp) {
        const QPoint at = e->position().toPoint();
        onMouseUp(at.x(), at.y());
    }
    QToolButton::mouseReleaseEvent(e);
}

void SpeedButton::mouseMoveEvent(QMouseEvent* e) {
    handleMove(e);
    QToolButton::mouseMoveEvent(e);
}

void SpeedButton::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !e->isAutoRepeat()) {
        QAbstractButton::click();  // enabled only, as a press with the mouse
        return;
    }
    QToolButton::keyPressEvent(e);
}

void SpeedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool disabled = !isEnabled();
    const bool down = isDown();
    if (!flat || (hover_ && !disabled)) {
        QRect r = rect();
        if (down)
            frame3D(p, r, kShadow, kHighlight, 1);
        else
            frame3D(p, r, kHighlight, kShadow, 1);
    }
    const QImage cell = glyphCell(disabled);
    const int textW = cellTextWidth(caption_, font_.height);
    const int gap = (!cell.isNull() && textW > 0) ? 4 : 0;
    const int total = (cell.isNull() ? 0 : cell.width()) + gap + textW;
    int x = (width() - total) / 2 + (down ? 1 : 0);
    const int shift = down ? 1 : 0;
    if (!cell.isNull()) {
        p.drawImage(QPoint(x, (height() - cell.height()) / 2 + shift), cell);
        x += cell.width() + gap;
    }
    p.setPen(disabled ? kShadow : font_.color);
    drawCellText(p, x, (height() - font_.height) / 2 + shift, caption_, font_);
    if (hasFocus()) drawFocusRing(p, rect());
}

// ---------------------------------------------------------------- Bevel

Bevel::Bevel(QWidget* parent) : QFrame(parent), Control(this) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    QPalette shades = palette();
    shades.setColor(QPalette::Dark, kShadow);
    shades.setColor(QPalette::Light, kHighlight);
    setPalette(shades);
}

// ---------------------------------------------------------------- Memo

Memo::Memo(QWidget* parent) : QWidget(parent), Control(this) {}

void Memo::setText(std::string_view gbk) {
    lines_.clear();
    std::size_t start = 0;
    while (start < gbk.size()) {
        std::size_t end = gbk.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines_.emplace_back(gbk.substr(start));
            break;
        }
        lines_.emplace_back(gbk.substr(start, end - start));
        start = end + 2;
    }
}

std::string Memo::line(std::size_t i) const {
    if (i >= lines_.size()) return {};
    return lines_[i].substr(0, 4096);
}

// ---------------------------------------------------------------- Timer

Timer::Timer() {
    setInterval(1000);
    QObject::connect(this, &QTimer::timeout, [this] {
        if (onTimer) onTimer();
    });
}

void Timer::setEnabled(bool on) {
    if (on == enabled_) return;  // enabling a running timer does not restart it
    enabled_ = on;
    if (on)
        start();
    else
        stop();
}

}  // namespace ui
