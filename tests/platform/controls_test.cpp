// The controls' own rules that the window's handlers rely on.
#include "canvas.h"
#include "controls.h"
#include "gbk.h"
#include "inputs.h"
#include "containers.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <gtest/gtest.h>

TEST(Memo, SplitsAtCrLfAndIgnoresAFinalEmptyLine) {
    ui::Memo memo(nullptr);
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\r\nb", {"", "b"}},
        {"a\nb\r\nc", {"a\nb", "c"}},  // only CR LF breaks a line
    };
    for (const auto& c : cases) {
        memo.setText(c.text);
        EXPECT_EQ(memo.lines(), c.lines) << c.text;
    }
    memo.setText(std::string(5000, 'x'));
    EXPECT_EQ(memo.line(0).size(), 4096u);
    EXPECT_EQ(memo.line(7), "");
}

TEST(ComboBox, AnIndexOutsideTheListSelectsNothingAndCodeRaisesNoChange) {
    ui::ComboBox box(nullptr);
    int changes = 0;
    box.onChange = [&] { ++changes; };
    box.setItems({"一年级"_gbk, "二年级上"_gbk});
    for (int i : {1, 2, -1, 0}) {
        box.setItemIndex(i);
        EXPECT_EQ(box.itemIndex(), i == 2 ? -1 : i);
    }
    EXPECT_EQ(box.text(), "一年级"_gbk);
    box.clearItems();
    EXPECT_EQ(box.text(), "");
    EXPECT_EQ(changes, 0);
}

TEST(RadioGroup, CanBeClearedAgain) {
    ui::RadioGroup group(nullptr);
    group.setColumns(4);
    group.setItems({"A", "B", "C", "D"});
    EXPECT_EQ(group.itemIndex(), -1);
    group.setItemIndex(2);
    EXPECT_EQ(group.itemIndex(), 2);
    group.setItemIndex(-1);
    EXPECT_EQ(group.itemIndex(), -1);
    group.setItemIndex(3);
    EXPECT_EQ(group.itemIndex(), 3);
}

TEST(SpinEdit, ClampsOnlyWhenTheBoundsDiffer) {
    ui::SpinEdit spin(nullptr);
    spin.setMinValue(1);
    spin.setMaxValue(1);
    spin.setValue(7);
    EXPECT_EQ(spin.value(), 7);  // equal bounds: taken as it is
    spin.setMaxValue(12);
    const struct {
        int set, read;
    } cases[] = {{0, 1}, {5, 5}, {13, 12}};
    for (const auto& c : cases) {
        spin.setValue(c.set);
        EXPECT_EQ(spin.value(), c.read) << c.set;
    }
}

TEST(SpinEdit, TypesOnlyDigitsUpToItsLengthAndStepsAndLeavingClamp) {
    ui::SpinEdit spin(nullptr);
    ASSERT_NE(dynamic_cast<QSpinBox*>(&spin), nullptr);
    spin.setMinValue(1);
    spin.setMaxValue(12);
    spin.setMaxLength(1);
    QLineEdit* field = spin.findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    auto typed = [&](const QString& keys) {
        field->selectAll();
        for (QChar c : keys) {
            QKeyEvent press(QEvent::KeyPress, c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_X, Qt::NoModifier,
                            QString(c));
            QApplication::sendEvent(field, &press);
        }
        return field->text();
    };
    EXPECT_EQ(typed("11"), "1");  // one character
    EXPECT_EQ(typed("x"), "1");   // no letters
    EXPECT_EQ(typed("7"), "7");
    EXPECT_EQ(spin.value(), 7);
    const struct {
        int from, steps, to;
    } cases[] = {{9, 1, 10}, {10, 3, 12}, {12, 1, 12}, {2, -5, 1}};
    for (const auto& c : cases) {
        spin.setValue(c.from);
        spin.stepBy(c.steps);
        EXPECT_EQ(spin.value(), c.to) << c.from << " by " << c.steps;
        EXPECT_EQ(field->text(), QString::number(c.to));
    }
    field->setText("0");
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&spin, &leave);
    EXPECT_EQ(field->text(), "1");
}

TEST(Canvas, SourceAndDestinationLetsWhiteShowTheBackground) {
    QImage target(4, 1, QImage::Format_RGB32);
    target.fill(qRgb(0x80, 0xC0, 0xF0));
    QImage picture(4, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 255, 255));
    picture.setPixel(1, 0, qRgb(0, 0, 0));
    picture.setPixel(2, 0, qRgb(0xFF, 0x0F, 0xFF));
    picture.setPixel(3, 0, qRgb(255, 255, 255));
    ui::Canvas canvas(&target);
    canvas.copyMode = ui::CopyMode::SrcAnd;
    canvas.stretchDraw(ui::cornerRect(0, 0, 4, 1), picture);
    EXPECT_EQ(target.pixel(0, 0), qRgb(0x80, 0xC0, 0xF0));
    EXPECT_EQ(target.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(2, 0), qRgb(0x80, 0x00, 0xF0));
}

TEST(Control, OwnFlagsDifferFromWhatTheParentsAllow) {
    QWidget parent;
    ui::Panel panel(&parent);
    parent.hide();
    panel.show();
    EXPECT_TRUE(panel.visible());
    EXPECT_FALSE(panel.canFocus());
    parent.show();
    parent.setEnabled(false);
    EXPECT_TRUE(panel.enabled());
    EXPECT_FALSE(panel.canFocus());
    parent.setEnabled(true);
    EXPECT_TRUE(panel.canFocus());
}

TEST(Bevel, IsASunkenOnePixelFrameOverItsParent) {
    ui::Panel parent(nullptr);
    parent.setBevels(ui::BevelCut::None, ui::BevelCut::None);
    parent.resize(40, 30);
    ui::Bevel bevel(&parent);
    bevel.setGeometry(5, 5, 20, 10);
    const QImage shot = parent.grab().toImage();
    const QColor grey(0x80, 0x80, 0x80), white(Qt::white);
    const struct {
        int x, y;
        QColor colour;
    } pixels[] = {{5, 5, grey}, {15, 5, grey}, {5, 10, grey}, {24, 5, white}, {24, 9, white},
                  {15, 14, white}, {5, 14, white}, {15, 9, ui::kSkyBlue}, {4, 4, ui::kSkyBlue}};
    for (const auto& p : pixels) EXPECT_EQ(QColor(shot.pixel(p.x, p.y)), p.colour) << p.x << "," << p.y;
}

TEST(Align, DockedChildrenShareTheParentInOrder) {
    ui::Panel parent(nullptr);
    parent.setBevels(ui::BevelCut::Raised, ui::BevelCut::Lowered);  // 2 pixels inside
    parent.resize(200, 100);
    ui::Panel top(&parent), bottom(&parent), client(&parent);
    top.resize(10, 20);
    bottom.resize(10, 15);
    top.setAlign(ui::Align::Top);
    bottom.setAlign(ui::Align::Bottom);
    client.setAlign(ui::Align::Client);
    parent.resize(300, 120);
    ui::realignChildren(&parent);
    EXPECT_EQ(top.geometry(), QRect(2, 2, 296, 20));
    EXPECT_EQ(bottom.geometry(), QRect(2, 103, 296, 15));
    EXPECT_EQ(client.geometry(), QRect(2, 22, 296, 81));

    // Hidden ones take no room, yet follow the parent's size while hidden,
    // so that they fit when shown again.
    client.hide();
    top.hide();
    parent.resize(400, 300);
    ui::realignChildren(&parent);
    EXPECT_EQ(client.geometry(), QRect(2, 2, 396, 281));
    EXPECT_EQ(top.geometry(), QRect(2, 2, 396, 20));
    EXPECT_EQ(bottom.geometry(), QRect(2, 283, 396, 15));
    client.show();
    top.show();
    ui::realignChildren(&parent);
    EXPECT_EQ(client.geometry(), QRect(2, 22, 396, 261));
}

TEST(ComboBox, TheOpenListDropsBelowTheBoxAsWideAsItWithItsItemHeight) {
    QWidget window;
    window.resize(400, 400);
    ui::ComboBox box(&window);
    box.setGeometry(10, 10, 213, 24);
    box.setFont({"宋体", 16});
    std::vector<std::string> items(12, "数一数"_gbk + std::string(33, ' ') + "按顺序数，不重复、不遗漏"_gbk);
    box.setItems(items);
    box.setItemIndex(11);  // the last item chosen: the list still drops below the box
    window.show();
    box.showPopup();
    const QWidget* list = box.view()->window();
    EXPECT_EQ(list->width(), 213);
    EXPECT_EQ(list->geometry().top(), box.mapToGlobal(QPoint(0, box.height())).y());
    EXPECT_EQ(box.view()->visualRect(box.model()->index(0, 0)).height(), 16);
    box.hidePopup();
}

TEST(Text, AGbkCharacterCutOffAtTheEndIsAllThatIsLost) {
    auto times = [](int n, const std::string& s) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    // A status cut after its 68th byte: "a" and 33.5 characters.
    const std::string cut = ("a" + times(34, "数"_gbk)).substr(0, 68);
    const struct {
        std::string gbk;
        std::string shown;  // UTF-8
    } cases[] = {
        {cut, "a" + times(33, "数")},
        {"\xBF", ""},
        {"\x81 b", "\xEF\xBF\xBD b"},  // a byte that starts no character: only it is replaced
        {"a\xFF\xCA\xFD", "a\xEF\xBF\xBD数"},
    };
    for (const auto& c : cases) EXPECT_EQ(ui::qtext(c.gbk).toStdString(), c.shown) << c.shown;
    // As the tool tip of a control.
    ui::Panel panel(nullptr);
    panel.setShowHint(true);
    panel.setHint(cut);
    EXPECT_EQ(panel.toolTip().toStdString(), cases[0].shown);
}

namespace {

// A key typed where the focus is, as the window system delivers it: to the
// focus widget, and from there up to the parents that want it.
void type(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
}

// A shown, active window, so that the focus is real.
struct ActiveWindow : QWidget {
    ActiveWindow() {
        resize(400, 300);
        show();
        activateWindow();
        QApplication::setActiveWindow(this);
    }
};

}  // namespace

TEST(Keyboard, TabReachesASpeedButtonSpaceAndEnterPressItAndTheRingShowsOnlyWithTheFocus) {
    ActiveWindow window;
    ui::SpeedButton button(&window);
    button.setGeometry(10, 10, 104, 28);
    button.show();
    int clicks = 0;
    button.onClick = [&] { ++clicks; };
    EXPECT_TRUE(button.focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(button.focusPolicy() & Qt::ClickFocus);  // the mouse leaves the focus alone
    const QImage plain = button.grab().toImage();
    button.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(button.hasFocus());
    const QImage ringed = button.grab().toImage();
    EXPECT_EQ(QColor(ringed.pixel(0, 0)), ui::kFocusRing);
    EXPECT_EQ(QColor(ringed.pixel(1, 14)), ui::kFocusRing);
    EXPECT_NE(QColor(plain.pixel(0, 0)), ui::kFocusRing);
    const struct {
        int key;
        bool enabled;
        int clicks;
    } cases[] = {
        {Qt::Key_Space, true, 1}, {Qt::Key_Return, true, 1}, {Qt::Key_Enter, true, 1},
        {Qt::Key_A, true, 0},     {Qt::Key_Return, false, 0}, {Qt::Key_Space, false, 0},
    };
    for (const auto& c : cases) {
        button.setEnabled(c.enabled);
        button.setFocus(Qt::TabFocusReason);
        clicks = 0;
        type(&button, c.key);
        EXPECT_EQ(clicks, c.clicks) << c.key << " enabled " << c.enabled;
    }
}

TEST(Keyboard, DigitsAndLettersChooseAnOptionAndKeepTheFocusOnTheGroup) {
    ActiveWindow window;
    ui::RadioGroup group(&window);
    group.setGeometry(0, 0, 300, 45);
    group.setColumns(4);
    group.setItems({"A", "B", "C", "D"});
    group.show();
    int mouseClicks = 0;
    group.onClick = [&] { ++mouseClicks; };
    group.takeFocus();
    ASSERT_TRUE(group.button(0)->hasFocus());
    const struct {
        int key;
        int chosen;
    } cases[] = {
        {Qt::Key_3, 2}, {Qt::Key_A, 0}, {Qt::Key_D, 3}, {Qt::Key_5, 3}, {Qt::Key_E, 3},
        {Qt::Key_2, 1}, {Qt::Key_Left, 0}, {Qt::Key_C, 2}, {Qt::Key_4, 3}, {Qt::Key_1, 0},
    };
    for (const auto& c : cases) {
        type(QApplication::focusWidget(), c.key);
        EXPECT_EQ(group.itemIndex(), c.chosen) << c.key;
        EXPECT_EQ(QApplication::focusWidget(), group.button(c.chosen)) << c.key;
    }
    EXPECT_EQ(mouseClicks, 0);  // the keyboard's choices leave the focus where it is
    const QImage ringed = group.button(0)->grab().toImage();
    EXPECT_EQ(QColor(ringed.pixel(0, 0)), ui::kFocusRing);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(8, 8), QPointF(8, 8), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(group.button(2), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(8, 8), QPointF(8, 8), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(group.button(2), &release);
    EXPECT_EQ(group.itemIndex(), 2);
    EXPECT_EQ(mouseClicks, 1);
}

TEST(Keyboard, PageKeysHomeAndEndScrollTheBoxFromAnyControlInIt) {
    ActiveWindow window;
    ui::ScrollBox box(&window);
    box.setGeometry(0, 0, 300, 200);
    ui::Panel tall(box.client());
    tall.setGeometry(0, 0, 200, 1000);
    ui::RadioGroup group(box.client());
    group.setGeometry(0, 10, 200, 45);
    group.setItems({"A", "B"});
    box.show();
    box.updateRange();
    const int page = box.pageStep();
    ASSERT_EQ(page, box.viewport()->height() * 9 / 10);
    const int end = box.maxVertPosition();
    ASSERT_GT(end, 2 * page);
    const struct {
        int key;
        int position;
    } cases[] = {
        {Qt::Key_PageDown, page}, {Qt::Key_PageDown, 2 * page}, {Qt::Key_PageUp, page},
        {Qt::Key_End, end},       {Qt::Key_PageDown, end},      {Qt::Key_Home, 0},
        {Qt::Key_PageUp, 0},
    };
    for (QWidget* from : std::initializer_list<QWidget*>{&box, group.button(1)}) {
        box.setVertPosition(0);
        for (const auto& c : cases) {
            type(from, c.key);
            EXPECT_EQ(box.vertPosition(), c.position) << c.key;
        }
    }
}
