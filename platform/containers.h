// Containers: a scroll box whose range follows its children, and a page
// control with tab sheets.
#pragma once

#include "controls.h"

#include <QScrollArea>
#include <QTabWidget>

namespace ui {

// Children are placed in unscrolled coordinates on client(); the scroll
// range grows to take in every visible child.
class ScrollBox : public QScrollArea, public Control {
public:
    explicit ScrollBox(QWidget* parent);

    QWidget* client() const;
    int vertPosition() const;
    void setVertPosition(int y);
    void setShowHorzScrollBar(bool show);
    void setColor(QColor c);

    // Called for wheel turns over the box; return true when handled, false
    // to let the box scroll as usual.
    std::function<bool(int delta)> onMouseWheel;

    void updateRange();

    // One line step of smooth scrolling: (visible height x 9 div 10) div 10
    // pixels, moved in four sub-steps.
    void lineDown();
    void lineUp();

protected:
    void wheelEvent(QWheelEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
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
