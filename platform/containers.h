// Containers: a scroll box whose range follows its children, and a page
// control with tab sheets.
#pragma once

#include "controls.h"

#include <QScrollArea>
#include <QTabWidget>

namespace ui {

// Children are placed in unscrolled coordinates on client(); the scroll
// range grows to take in every visible child.
//
// The mouse wheel: a turn anywhere over a window goes to the scroll box that
// has the keyboard focus in that window (the focus itself or the nearest
// scroll box around it), wherever the pointer is; without such a focus it
// goes to the scroll box under the pointer.  Either way it takes the box's
// wheel path, mouseWheel().
class ScrollBox : public QScrollArea, public Control {
public:
    explicit ScrollBox(QWidget* parent);

    QWidget* client() const;
    int vertPosition() const;
    void setVertPosition(int y);
    // The largest vertical position: the bottom of the content in view.
    int maxVertPosition() const;
    void setShowHorzScrollBar(bool show);
    void setColor(QColor c);

    // Called for each wheel turn that reaches the box, with the turn's delta
    // (120 per notch, negative towards the user); return true when handled,
    // false to let the box take its line step.
    std::function<bool(int delta)> onMouseWheel;

    // The box's wheel path: onMouseWheel, and unless it handled the turn,
    // one line step down (delta < 0) or up (delta >= 0).
    void mouseWheel(int delta);

    // One line step of smooth scrolling: (visible height * 9 div 10) div 10
    // pixels, moved in four equal sub-steps about 10 ms apart, any remainder
    // in the last.  The box is redrawn after each sub-step; the position
    // stops at the ends of the range.
    int lineStep() const;
    void lineDown();
    void lineUp();

    void updateRange();

    // The keys, from the box or from any control in it that leaves them:
    // Page Down / Page Up scroll by nine tenths of the visible height, Home
    // and End to the top and the bottom.
    int pageStep() const;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void smoothScroll(int distance);
    class Client;
    Client* client_;
};

class TabSheet : public Container, public Control {
public:
    explicit TabSheet(QWidget* parent = nullptr) : Container(parent), Control(this) {}
    const std::string& caption() const { return caption_; }
    void setCaption(std::string gbk);

    std::function<void(std::string_view)> onCaptionChanged;

private:
    std::string caption_;
};

class PageControl : public QTabWidget, public Control {
public:
    explicit PageControl(QWidget* parent);
    void addSheet(TabSheet* sheet);
    void setActivePage(TabSheet* sheet) { setCurrentWidget(sheet); }
    void setFont(const FontSpec& f);
};

}  // namespace ui
