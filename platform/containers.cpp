#include "containers.h"

#include "application.h"
#include "input_block.h"

#include <QApplication>
#include <QChildEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTabBar>
#include <QWheelEvent>

namespace ui {

// ---------------------------------------------------------------- ScrollBox

namespace {

// A wheel turn: a vertical delta (120 per notch).  Horizontal turns and the
// delta-less begin and end events of touchpads are no wheel turns here.
int wheelTurn(const QWheelEvent* e) { return e->angleDelta().y(); }

// The scroll box that has the keyboard focus in w's window: the focus widget
// itself or the nearest scroll box around it (a radio button on a card).
ScrollBox* focusedScrollBox(const QWidget* w) {
    for (QWidget* f = w->window()->focusWidget(); f; f = f->parentWidget()) {
        if (auto* box = dynamic_cast<ScrollBox*>(f)) return box;
        if (f->isWindow()) break;
    }
    return nullptr;
}

// Sees every wheel event of the application before the widget under the
// pointer does, and hands it to the scroll box with the focus in that
// widget's window, so that the wheel scrolls the cards from the margins
// beside them, from the cards themselves and from anything else on the page.
class WheelRouter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::Wheel || !watched->isWidgetType()) return false;
        auto* wheel = static_cast<QWheelEvent*>(e);
        if (wheelTurn(wheel) == 0) return false;
        ScrollBox* box = focusedScrollBox(static_cast<QWidget*>(watched));
        if (!box || !box->isVisible() || !box->isEnabled() || inputBlocked(box)) return false;
        wheel->accept();
        box->mouseWheel(wheelTurn(wheel));
        return true;
    }
};

void routeWheelToFocusedScrollBox() {
    static QPointer<QObject> router;  // lives as long as the application
    if (router || !qApp) return;
    router = new WheelRouter(qApp);
    qApp->installEventFilter(router);
}

}  // namespace

class ScrollBox::Client : public Container {
public:
    Client(ScrollBox* owner) : owner_(owner) {}

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ChildAdded) {
            if (auto* w = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child()))
                w->installEventFilter(owner_);
        }
        if (e->type() == QEvent::ChildRemoved) owner_->updateRange();
        return Container::event(e);
    }

private:
    ScrollBox* owner_;
};

ScrollBox::ScrollBox(QWidget* parent) : QScrollArea(parent), Control(this), client_(new Client(this)) {
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
    setWidget(client_);
    client_->setAutoFillBackground(true);
    setColor(Qt::white);
    updateRange();
    // The scroll bar would scroll by its own steps; it takes the box's path.
    verticalScrollBar()->installEventFilter(this);
    routeWheelToFocusedScrollBox();
}

void ScrollBox::setColor(QColor c) {
    QPalette pal = client_->palette();
    pal.setColor(QPalette::Window, c);
    client_->setPalette(pal);
    QPalette vp = viewport()->palette();
    vp.setColor(QPalette::Window, c);
    viewport()->setPalette(vp);
    viewport()->setAutoFillBackground(true);
}

bool ScrollBox::eventFilter(QObject* watched, QEvent* e) {
    if (watched == verticalScrollBar() && e->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(e);
        if (wheelTurn(wheel) == 0) return false;
        wheel->accept();
        mouseWheel(wheelTurn(wheel));
        return true;
    }
    switch (e->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (watched->parent() == client_) updateRange();
        break;
    default:
        break;
    }
    return QScrollArea::eventFilter(watched, e);
}

void ScrollBox::updateRange() {
    int right = 0;
    int bottom = 0;
    for (QObject* o : client_->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isHidden()) continue;
        right = std::max(right, w->geometry().right() + 1);
        bottom = std::max(bottom, w->geometry().bottom() + 1);
    }
    // The room left beside and below the children once the scroll bars they
    // need are shown: a bar appears only for content that does not fit.
    const QSize view = maximumViewportSize();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    const bool horzAllowed = horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    bool needVert = bottom > view.height();
    const bool needHorz = horzAllowed && right > view.width() - (needVert ? barWidth : 0);
    needVert = needVert || bottom > view.height() - (needHorz ? barHeight : 0);
    const int roomW = view.width() - (needVert || !horzAllowed ? barWidth : 0);
    const int roomH = view.height() - (needHorz ? barHeight : 0);
    const int w = horzAllowed ? std::max(roomW, right) : roomW;
    client_->resize(std::max(w, 1), std::max(std::max(roomH, bottom), 1));
}

void ScrollBox::resizeEvent(QResizeEvent* e) {
    QScrollArea::resizeEvent(e);
    updateRange();
}

QWidget* ScrollBox::client() const { return client_; }

int ScrollBox::vertPosition() const { return verticalScrollBar()->value(); }
void ScrollBox::setVertPosition(int y) { verticalScrollBar()->setValue(y); }

void ScrollBox::setShowHorzScrollBar(bool show) {
    setHorizontalScrollBarPolicy(show ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    updateRange();
}

void ScrollBox::wheelEvent(QWheelEvent* e) {
    if (wheelTurn(e) == 0) {
        QScrollArea::wheelEvent(e);
        return;
    }
    e->accept();
    mouseWheel(wheelTurn(e));
}

void ScrollBox::mouseWheel(int delta) {
    if (onMouseWheel && onMouseWheel(delta)) return;
    if (delta < 0)
        lineDown();
    else
        lineUp();
}

int ScrollBox::lineStep() const { return viewport()->height() * 9 / 10 / 10; }

void ScrollBox::lineDown() { smoothScroll(lineStep()); }

void ScrollBox::lineUp() { smoothScroll(-lineStep()); }

void ScrollBox::smoothScroll(int distance) {
    if (distance == 0) return;
    const int part = distance / 4;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) pause(10);
        setVertPosition(vertPosition() + (i < 3 ? part : distance - 3 * part));
        if (isVisible()) viewport()->repaint();
    }
}

// ---------------------------------------------------------------- TabSheet

void TabSheet::setCaption(std::string gbk) {
    caption_ = std::move(gbk);
    if (onCaptionChanged) onCaptionChanged(caption_);
}

// ---------------------------------------------------------------- PageControl

PageControl::PageControl(QWidget* parent) : QTabWidget(parent), Control(this) {
    setDocumentMode(false);
    tabBar()->setExpanding(false);
}

void PageControl::addSheet(TabSheet* sheet) {
    const int index = addTab(sheet, qtext(sheet->caption()));
    sheet->onCaptionChanged = [this, index](std::string_view gbkCaption) {
        setTabText(index, qtext(gbkCaption));
    };
}

void PageControl::setFont(const FontSpec& f) {
    QTabWidget::setFont(toQFont(f));
    // Tabs as tall as a classic tab row for this font, whatever the face's
    // line spacing.
    tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { height: %1px; padding: 0 8px; }").arg(f.height + 8));
}

}  // namespace ui
