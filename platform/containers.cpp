#include "containers.h"

#include <QChildEvent>
#include <QScrollBar>
#include <QTabBar>
#include <QWheelEvent>

namespace ui {

// ---------------------------------------------------------------- ScrollBox

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
    const QSize view = maximumViewportSize();
    const int w = horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff ? view.width() - verticalScrollBar()->sizeHint().width()
                                                                          : std::max(view.width(), right);
    client_->resize(std::max(w, 1), std::max(view.height(), bottom));
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
    if (onMouseWheel && onMouseWheel(e->angleDelta().y())) {
        e->accept();
        return;
    }
    QScrollArea::wheelEvent(e);
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
