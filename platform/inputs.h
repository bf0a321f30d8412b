// Selection controls: drop-down list, radio group, spin edit.
#pragma once

#include "controls.h"

#include <QComboBox>
#include <QSpinBox>

#include <string>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace ui {

// A drop-down list (no typing).  Items are GBK; they are drawn cell by cell
// so padding spaces push trailing text out of sight as the layouts expect.
// The open list is as wide as the box and drops down below it (above it
// when the screen has no room below), at most 20 items before it scrolls.
// onChange runs only when the user picks an item, never when code sets the
// index.
class ComboBox : public QComboBox, public Control {
public:
    explicit ComboBox(QWidget* parent);

    void clearItems();
    void addItem(std::string gbk);
    void setItems(const std::vector<std::string>& items);
    int count() const { return static_cast<int>(items_.size()); }
    const std::string& item(int i) const { return items_.at(static_cast<std::size_t>(i)); }

    int itemIndex() const { return currentIndex(); }
    // An index outside the list leaves no item selected (-1).
    void setItemIndex(int i);
    // The selected item's text, "" when none.
    std::string text() const;

    FontSpec font() const { return font_; }
    void setFont(const FontSpec& f);
    QColor color = Qt::white;
    // Height of an item in the open list; the font's height until set.
    int itemHeight() const;
    void setItemHeight(int h);

    std::function<void()> onChange;

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::vector<std::string> items_;
    FontSpec font_;
    int itemHeight_ = 0;
};

// A framed group of radio buttons in columns.  itemIndex -1 means none is
// chosen.  onClick runs when the user clicks a button with the mouse.
//
// The keyboard: the focused button shows the focus ring; the arrows and
// Space choose as Qt's radio buttons do, and so do the keys 1 to 9 and the
// letters A to I for the first to the ninth button.  A choice made with the
// keyboard leaves the focus where it is (no onClick).
class RadioGroup : public QWidget, public Control {
public:
    explicit RadioGroup(QWidget* parent);

    // Gives the focus to the chosen button, or the first one.
    void takeFocus();

    void setItems(const std::vector<std::string>& gbkItems);
    int count() const { return static_cast<int>(buttons_.size()); }
    int itemIndex() const;
    void setItemIndex(int i);
    int columns() const { return columns_; }
    void setColumns(int c);
    FontSpec font() const { return font_; }
    void setFont(const FontSpec& f);
    QRadioButton* button(int i) const { return buttons_.at(static_cast<std::size_t>(i)); }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void arrange();
    bool clickedWithMouse_ = false;
    std::vector<QRadioButton*> buttons_;
    QButtonGroup* group_;
    int columns_ = 1;
    FontSpec font_;
};

// A number field with up/down buttons: Qt's spin box, with the bounds kept
// here.  value() reads the typed text; text that is not a number reads as
// the minimum.  Values are clamped into minimum..maximum when set, stepped
// or when the field is left, except while minimum and maximum are equal
// (then any value is taken as it is).  Only digits (and a leading minus)
// can be typed.
class SpinEdit : public QSpinBox, public Control {
public:
    explicit SpinEdit(QWidget* parent);

    int minValue() const { return min_; }
    int maxValue() const { return max_; }
    void setMinValue(int v) { min_ = v; }
    void setMaxValue(int v) { max_ = v; }
    int value() const;
    void setValue(int v);
    // Typing cannot make the text longer than n characters; a value set by
    // the program or the buttons stays whole, and deleting always works.
    void setMaxLength(int n) { maxLength_ = n; }
    void setFont(const FontSpec& f);

    void stepBy(int steps) override;

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
    void focusOutEvent(QFocusEvent* e) override;

private:
    int clamp(int v) const;
    int min_ = 0;
    int max_ = 100;
    int maxLength_ = -1;
};

}  // namespace ui
