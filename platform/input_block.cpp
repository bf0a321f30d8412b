#include "input_block.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace ui {

namespace {

constexpr char kBlocked[] = "ui_inputBlocked";

bool isInput(QEvent::Type t) {
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::Enter:  // no hover frame on a button that takes no click
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

bool blockedHere(const QWidget* w) { return w->property(kBlocked).toBool(); }

// A shortcut or action counts as part of the widget it belongs to.
bool insideBlocked(const QObject* o) {
    while (o && !o->isWidgetType()) o = o->parent();
    return o && inputBlocked(static_cast<const QWidget*>(o));
}

// One filter on the application sees every event before its receiver does.
class BlockFilter : public QObject {
public:
    bool eventFilter(QObject* receiver, QEvent* e) override {
        if (blocks_ == 0 || !isInput(e->type()) || !insideBlocked(receiver)) return false;
        e->accept();  // taken here: it goes neither to the receiver nor to its parents
        return true;
    }
    int blocks_ = 0;
};

BlockFilter* filter() {
    static BlockFilter* f = [] {
        auto* made = new BlockFilter;
        made->setParent(qApp);
        qApp->installEventFilter(made);
        return made;
    }();
    return f;
}

}  // namespace

void setInputBlocked(QWidget* w, bool blocked) {
    if (!w || blockedHere(w) == blocked) return;
    filter()->blocks_ += blocked ? 1 : -1;
    w->setProperty(kBlocked, blocked);
}

bool inputBlocked(const QWidget* w) {
    for (; w; w = w->parentWidget())
        if (blockedHere(w)) return true;
    return false;
}

}  // namespace ui
