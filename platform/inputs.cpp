#include "inputs.h"

#include "gbk.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QRadioButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QValidator>

#include <cmath>
#include <limits>

namespace ui {

// ---------------------------------------------------------------- ComboBox

namespace {

// Draws list items cell by cell, like the closed box.
class CellItemDelegate : public QStyledItemDelegate {
public:
    CellItemDelegate(ComboBox* box) : QStyledItemDelegate(box), box_(box) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        p->fillRect(option.rect, selected ? option.palette.highlight() : QBrush(Qt::white));
        p->setPen(selected ? option.palette.highlightedText().color() : box_->font().color);
        p->save();
        p->setClipRect(option.rect);
        const FontSpec f = box_->font();
        drawCellText(*p, option.rect.left() + 2, option.rect.top() + (option.rect.height() - f.height) / 2,
                     box_->item(index.row()), f);
        p->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(box_->width(), box_->itemHeight());
    }

private:
    ComboBox* box_;
};

// The open list drops down below the box (above it only when the screen has
// no room below), rather than over the box where some styles (Fusion) put it,
// and then shows at most maxVisibleItems items before it scrolls.
class DropDownStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ComboBox_Popup) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle* dropDownStyle() {
    static QPointer<QStyle> style;  // lives as long as the application
    if (!style) {
        style = new DropDownStyle;
        style->setParent(qApp);
    }
    return style;
}

}  // namespace

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent), Control(this) {
    setEditable(false);
    setStyle(dropDownStyle());
    setMaxVisibleItems(20);
    setItemDelegate(new CellItemDelegate(this));
    QObject::connect(this, &QComboBox::activated, [this](int) {
        if (onChange) onChange();
    });
}

void ComboBox::clearItems() {
    items_.clear();
    clear();
}

void ComboBox::addItem(std::string gbk) {
    QString shown = qtext(gbk);
    items_.push_back(std::move(gbk));
    QComboBox::addItem(shown);
}

void ComboBox::setItems(const std::vector<std::string>& items) {
    clearItems();
    for (const std::string& s : items) addItem(s);
}

void ComboBox::setItemIndex(int i) {
    setCurrentIndex(i >= 0 && i < count() ? i : -1);
}

std::string ComboBox::text() const {
    const int i = currentIndex();
    return i >= 0 && i < count() ? items_[static_cast<std::size_t>(i)] : std::string();
}

int ComboBox::itemHeight() const { return std::max(itemHeight_ > 0 ? itemHeight_ : font_.height, 1); }

void ComboBox::setItemHeight(int h) { itemHeight_ = h; }

void ComboBox::setFont(const FontSpec& f) {
    font_ = f;
    QComboBox::setFont(toQFont(f));
    update();
}

void ComboBox::showPopup() {
    QComboBox::showPopup();
    // The open list is as wide as the box, so whatever an item carries
    // beyond the box's width stays out of sight there too.  It starts right
    // under the box's bottom edge, or ends right above its top edge when the
    // screen has no room below; when neither fits, where Qt put it.
    QWidget* popup = view()->window();
    QRect list(popup->pos(), QSize(width(), popup->height()));
    const QRect room = screen() ? screen()->availableGeometry() : QRect();
    const QPoint below = mapToGlobal(QPoint(0, height()));
    const QPoint above = mapToGlobal(QPoint(0, 0)) - QPoint(0, list.height());
    if (room.isNull() || below.y() + list.height() <= room.bottom() + 1)
        list.moveTopLeft(below);
    else if (above.y() >= room.top())
        list.moveTopLeft(above);
    popup->setGeometry(list);
}

void ComboBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, color);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const int arrowW = 17;
    QRect arrow(r.right() - arrowW, r.top() + 1, arrowW, r.height() - 2);
    p.fillRect(arrow, QColor(0xE0, 0xE0, 0xE0));
    p.setPen(isEnabled() ? Qt::black : Qt::gray);
    const QPoint c = arrow.center();
    QPolygon tri;
    tri << QPoint(c.x() - 4, c.y() - 2) << QPoint(c.x() + 4, c.y() - 2) << QPoint(c.x(), c.y() + 2);
    p.setBrush(p.pen().color());
    p.drawPolygon(tri);
    p.setClipRect(QRect(r.left() + 1, r.top() + 1, r.width() - arrowW - 3, r.height() - 2));
    p.setPen(isEnabled() ? font_.color : Qt::gray);
    drawCellText(p, r.left() + 3, r.top() + (r.height() - font_.height) / 2, text(), font_);
}

// ---------------------------------------------------------------- RadioGroup

namespace {

// Qt's radio button with the focus ring in place of the style's faint
// focus frame.
class RingedRadioButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void paintEvent(QPaintEvent* e) override {
        QRadioButton::paintEvent(e);
        if (!hasFocus()) return;
        QPainter p(this);
        drawFocusRing(p, rect());
    }
};

// The option a key names: 1..9 or A..I (either case) for 0..8, else -1.
int optionOfKey(const QKeyEvent* e) {
    if (e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) return -1;
    const int k = e->key();
    if (k >= Qt::Key_1 && k <= Qt::Key_9) return k - Qt::Key_1;
    if (k >= Qt::Key_A && k <= Qt::Key_I) return k - Qt::Key_A;
    return -1;
}

}  // namespace

RadioGroup::RadioGroup(QWidget* parent) : QWidget(parent), Control(this), group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    QObject::connect(group_, &QButtonGroup::idClicked, [this](int) {
        if (clickedWithMouse_ && onClick) onClick();
    });
}

bool RadioGroup::eventFilter(QObject*, QEvent* e) {
    // Seen before the button acts on it: was the click the mouse's?
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        clickedWithMouse_ = true;
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        clickedWithMouse_ = false;
        break;
    default:
        break;
    }
    return false;
}

void RadioGroup::keyPressEvent(QKeyEvent* e) {
    const int option = optionOfKey(e);
    if (option < 0 || option >= count()) {
        QWidget::keyPressEvent(e);
        return;
    }
    setItemIndex(option);
    if (hasFocus() || isAncestorOf(QApplication::focusWidget())) button(option)->setFocus(Qt::OtherFocusReason);
}

void RadioGroup::takeFocus() {
    const int chosen = itemIndex();
    if (count() > 0) button(chosen >= 0 ? chosen : 0)->setFocus(Qt::TabFocusReason);
}

void RadioGroup::setItems(const std::vector<std::string>& gbkItems) {
    for (QRadioButton* b : buttons_) delete b;
    buttons_.clear();
    int id = 0;
    for (const std::string& s : gbkItems) {
        auto* b = new RingedRadioButton(qtext(s), this);
        b->installEventFilter(this);
        b->setFont(toQFont(font_));
        b->setCursor(cursor());
        b->show();
        group_->addButton(b, id++);
        buttons_.push_back(b);
    }
    arrange();
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int i) {
    if (i >= 0 && i < count()) {
        buttons_[static_cast<std::size_t>(i)]->setChecked(true);
        return;
    }
    // Unchecking the only checked button needs the group's exclusivity off.
    group_->setExclusive(false);
    for (QRadioButton* b : buttons_) b->setChecked(false);
    group_->setExclusive(true);
}

void RadioGroup::setColumns(int c) {
    columns_ = std::max(1, c);
    arrange();
}

void RadioGroup::setFont(const FontSpec& f) {
    font_ = f;
    for (QRadioButton* b : buttons_) b->setFont(toQFont(f));
    arrange();
}

void RadioGroup::resizeEvent(QResizeEvent*) { arrange(); }

// Buttons share the width in equal columns below the caption line, as a
// grouped set of options is laid out classically.
void RadioGroup::arrange() {
    if (buttons_.empty()) return;
    const int textHeight = static_cast<int>(std::lround(font_.height * 1.15));
    const int perColumn = (count() + columns_ - 1) / columns_;
    const int buttonWidth = (width() - 10) / columns_;
    const int room = height() - textHeight - 5;
    const int buttonHeight = room / perColumn;
    const int topMargin = textHeight + 1 + (room % perColumn) / 2;
    for (int i = 0; i < count(); ++i) {
        QRadioButton* b = buttons_[static_cast<std::size_t>(i)];
        b->setGeometry((i / perColumn) * buttonWidth + 8, (i % perColumn) * buttonHeight + topMargin,
                       buttonWidth, std::max(buttonHeight, 1));
    }
}

void RadioGroup::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int top = font_.height / 2;
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(QRect(0, top, width() - 2, height() - top - 2));
    p.setPen(Qt::white);
    p.drawRect(QRect(1, top + 1, width() - 2, height() - top - 2));
}

// ---------------------------------------------------------------- SpinEdit

SpinEdit::SpinEdit(QWidget* parent) : QSpinBox(parent), Control(this) {
    // The bounds are kept here: Qt's own range takes every value.
    QSpinBox::setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    setKeyboardTracking(false);
    resize(41, 22);
    setValue(0);
}

int SpinEdit::clamp(int v) const {
    if (min_ == max_) return v;
    return std::min(std::max(v, min_), max_);
}

int SpinEdit::value() const {
    bool ok = false;
    const int v = lineEdit()->text().trimmed().toInt(&ok);
    return ok ? v : min_;
}

void SpinEdit::setValue(int v) {
    // The text as well: Qt leaves it alone when the number is unchanged.
    QSpinBox::setValue(clamp(v));
    lineEdit()->setText(QString::number(clamp(v)));
}

void SpinEdit::stepBy(int steps) { setValue(value() + steps); }

QValidator::State SpinEdit::validate(QString& text, int&) const {
    if (maxLength_ >= 0 && text.size() > maxLength_ && text.size() >= lineEdit()->text().size())
        return QValidator::Invalid;
    for (int i = 0; i < text.size(); ++i)
        if (!text[i].isDigit() && !(i == 0 && text[i] == u'-')) return QValidator::Invalid;
    // Empty or a lone minus while typing: read as the minimum.
    return QValidator::Acceptable;
}

void SpinEdit::focusOutEvent(QFocusEvent* e) {
    setValue(value());
    QSpinBox::focusOutEvent(e);
}

void SpinEdit::setFont(const FontSpec& f) { QSpinBox::setFont(toQFont(f)); }

}  // namespace ui
