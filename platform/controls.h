// The window's controls: Qt widgets with the properties the handlers use
// (caption, tag, hint, own visible and enabled flags, geometry, font,
// colour, cursor, picture) and plain callbacks for their events.
//
// Captions and hints are GBK byte strings.  "Visible" and "enabled" are a
// control's own flags, as a handler sets them; whether it can be seen or
// used also depends on its parents (see canFocus).
#pragma once

#include "canvas.h"
#include "text.h"

#include <QFrame>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

enum class Align { None, Top, Bottom, Client };
enum class BevelCut { None, Lowered, Raised };

const QColor kSkyBlue(0xA6, 0xCA, 0xF0);
const QColor kMoneyGreen(0xC0, 0xDC, 0xC0);

using MouseHandler = std::function<void(int x, int y)>;

class Control {
public:
    explicit Control(QWidget* self) : self_(self) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    QWidget* widget() const { return self_; }

    std::string name;
    int tag = 0;

    const std::string& hint() const { return hint_; }
    void setHint(std::string gbkHint);
    // Show the hint as a tool tip on hover.
    void setShowHint(bool show);

    // Geometry beyond QWidget's own width() and height().
    int left() const { return self_->x(); }
    int top() const { return self_->y(); }
    void setLeft(int v) { self_->move(v, self_->y()); }
    void setTop(int v) { self_->move(self_->x(), v); }
    void setWidth(int v) { self_->resize(v, self_->height()); }
    void setHeight(int v) { self_->resize(self_->width(), v); }
    void setBounds(int l, int t, int w, int h) { self_->setGeometry(l, t, w, h); }

    // The control's own flags (QWidget's show(), hide(), setEnabled() set
    // them); isVisible()/isEnabled() also depend on the parents.
    bool visible() const { return !self_->isHidden(); }
    bool enabled() const { return !self_->testAttribute(Qt::WA_ForceDisabled); }
    // Visible and enabled, and so are all its parents up to the window.
    bool canFocus() const;

    void setHandCursor() { self_->setCursor(Qt::PointingHandCursor); }

    Align align() const { return align_; }
    // Docks the control in its parent; the parent re-docks it on resize.
    void setAlign(Align a);

    // Inner margin that docked children keep from the edges (panels' bevels).
    virtual int clientInset() const { return 0; }

    // A click is the left button pressed and released over the control;
    // onMouseUp runs when any button is released over it.
    std::function<void()> onClick;
    std::function<void()> onDblClick;
    MouseHandler onMouseMove;
    MouseHandler onMouseUp;

protected:
    // Mouse plumbing for subclasses: call from the widget's event overrides.
    void handlePress(QMouseEvent* e);
    void handleRelease(QMouseEvent* e);
    void handleDoubleClick(QMouseEvent* e);
    void handleMove(QMouseEvent* e);

private:
    QWidget* self_;
    std::string hint_;
    bool showHint_ = false;
    Align align_ = Align::None;
    bool pressed_ = false;
};

// Re-docks the aligned children of parent: top ones stacked from the top in
// creation order, bottom ones from the bottom, client ones fill the rest.
void realignChildren(QWidget* parent);

// Finds the Control behind a widget, or nullptr.
Control* controlOf(QWidget* w);

// A plain container widget (a tab sheet's client area, a scroll box's
// contents) that re-docks aligned children when resized.
class Container : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void resizeEvent(QResizeEvent* e) override;
};

// ---------------------------------------------------------------- Panel
class Panel : public QWidget, public Control {
public:
    explicit Panel(QWidget* parent);

    const std::string& caption() const { return caption_; }
    void setCaption(std::string gbk);
    FontSpec font() const { return font_; }
    void setFont(const FontSpec& f);
    QColor color() const { return color_; }
    void setColor(QColor c);
    void setBevels(BevelCut outer, BevelCut inner, int bevelWidth = 1, int borderWidth = 0);
    int clientInset() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent* e) override { handlePress(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { handleRelease(e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { handleDoubleClick(e); }
    void mouseMoveEvent(QMouseEvent* e) override { handleMove(e); }

private:
    std::string caption_;
    FontSpec font_;
    QColor color_ = kSkyBlue;
    BevelCut outer_ = BevelCut::Raised;
    BevelCut inner_ = BevelCut::None;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
};

// ---------------------------------------------------------------- Image
// Shows a picture; its canvas draws on an off-screen bitmap that is created
// at the control's size the first time the canvas is used on an empty
// picture.
class Image : public QWidget, public Control {
public:
    explicit Image(QWidget* parent);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& img);  // autosize applies
    void clearPicture();
    bool hasPicture() const { return !picture_.isNull(); }

    // A blank bitmap of the control's size is made on first use, with as
    // many pixels per unit as the screen has (drawing is in the control's
    // own units either way), fewer for a bitmap over maxPixels, never
    // fewer than one.
    Canvas& canvas();
    static constexpr qint64 kMaxCanvasPixels = 16'000'000;
    // This control's bound, for owners of many bitmaps (the cards).
    qint64 maxPixels = kMaxCanvasPixels;

    bool stretch = false;
    // With stretch: the most the picture is widened against its height's
    // scale; past it the picture keeps that shape at the left and its last
    // column fills the rest (a banner on a very wide screen).  0: no limit.
    double maxWidening = 0;
    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool a);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override { handlePress(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { handleRelease(e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { handleDoubleClick(e); }
    void mouseMoveEvent(QMouseEvent* e) override { handleMove(e); }

private:
    QImage picture_;
    std::unique_ptr<Canvas> canvas_;
    bool autoSize_ = false;
};

// ---------------------------------------------------------------- Label
class Label : public QWidget, public Control {
public:
    explicit Label(QWidget* parent);

    const std::string& caption() const { return caption_; }
    void setCaption(std::string gbk);
    FontSpec font() const { return font_; }
    void setFont(const FontSpec& f);
    bool transparent = true;
    QColor color = kSkyBlue;
    // Sized to its caption (the default for labels).
    bool autoSize = true;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override { handleRelease(e); }
    void mousePressEvent(QMouseEvent* e) override { handlePress(e); }

private:
    void fit();
    std::string caption_;
    FontSpec font_;
};

// ---------------------------------------------------------------- SpeedButton
// A flat button: a glyph left of the caption, both centred; a frame shows
// while the mouse is over it.  A glyph of numGlyphs cells side by side holds
// the normal picture first and the disabled one second.  The glyph's
// bottom-left pixel colour is transparent.
class SpeedButton : public QWidget, public Control {
public:
    explicit SpeedButton(QWidget* parent);

    const std::string& caption() const { return caption_; }
    void setCaption(std::string gbk);
    FontSpec font() const { return font_; }
    void setFont(const FontSpec& f);
    const QImage& glyph() const { return glyph_; }
    // The glyph as it was given, without the transparent key colour applied.
    const QImage& glyphBitmap() const { return glyphBitmap_; }
    void setGlyph(const QImage& g, int numGlyphs = 1);
    int numGlyphs() const { return numGlyphs_; }
    bool flat = true;

    // Runs the click handler, as a click with the mouse would (also while
    // disabled: the caller decides).
    void click();

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override { handleMove(e); }

private:
    QImage glyphCell(bool disabled) const;
    std::string caption_;
    FontSpec font_;
    QImage glyph_;
    QImage glyphBitmap_;
    int numGlyphs_ = 1;
    bool hover_ = false;
    bool down_ = false;
};

// ---------------------------------------------------------------- Bevel
// A sunken rectangle: a QFrame that draws its own one-pixel 3D frame.
class Bevel : public QFrame, public Control {
public:
    explicit Bevel(QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;
};

// ---------------------------------------------------------------- Memo
// A hidden multi-line text used as a line splitter: lines break at CR LF,
// a final empty line does not count, lines are not wrapped.
class Memo : public QWidget, public Control {
public:
    explicit Memo(QWidget* parent);

    void setText(std::string_view gbk);
    std::size_t lineCount() const { return lines_.size(); }
    // Line i (0-based), at most its first 4096 bytes; "" past the end.
    std::string line(std::size_t i) const;
    const std::vector<std::string>& lines() const { return lines_; }
    FontSpec font;

private:
    std::vector<std::string> lines_;
};

// ---------------------------------------------------------------- Timer
// A QTimer with the enabled flag of the window's controls: enabling a
// running timer does not restart it.
class Timer : public QTimer {
public:
    Timer();
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    std::function<void()> onTimer;

private:
    bool enabled_ = false;
};

}  // namespace ui
