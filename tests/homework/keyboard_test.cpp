// A homework with the keyboard: the first question has the focus when the
// cards appear, keys choose options, Tab goes on, and the next step after a
// grading is one key away.
#include "homework_fixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRadioButton>

namespace {

// A key typed where the focus is.
void type(int key) {
    QWidget* at = QApplication::focusWidget();
    ASSERT_NE(at, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(at, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(at, &release);
}

}  // namespace

TEST_F(HomeworkTest, TheKeyboardAnswersCardByCardAndGoesOnAfterGrading) {
    startHomework();
    auto groupWithFocus = [this]() -> int {
        QWidget* f = QApplication::focusWidget();
        for (std::size_t i = 0; i < form->hw.AnswerGroups.size(); ++i)
            if (f && form->hw.AnswerGroups[i]->isAncestorOf(f)) return static_cast<int>(i) + 1;
        return 0;
    };
    ASSERT_EQ(groupWithFocus(), 1);
    EXPECT_EQ(form->scb1->vertPosition(), 0);

    const struct {
        int key;
        int slot, chosen;  // slot with the focus afterwards, and its answer
    } steps[] = {
        {Qt::Key_2, 1, 1}, {Qt::Key_D, 1, 3}, {Qt::Key_Tab, 2, -1}, {Qt::Key_A, 2, 0},
        {Qt::Key_Right, 2, 1}, {Qt::Key_Tab, 3, -1}, {Qt::Key_4, 3, 3}, {Qt::Key_9, 3, 3},
    };
    for (const auto& s : steps) {
        handle([&] { type(s.key); });
        ASSERT_EQ(groupWithFocus(), s.slot) << s.key;
        EXPECT_EQ(form->hw.AnswerGroups[static_cast<std::size_t>(s.slot - 1)]->itemIndex(), s.chosen) << s.key;
    }
    // Tab scrolls the card it reaches into view.
    for (int slot = 4; slot <= 20; ++slot) handle([] { type(Qt::Key_Tab); });
    ASSERT_EQ(groupWithFocus(), 20);
    const QRect last = form->hw.AnswerPanels[19]->geometry();
    EXPECT_GE(last.top(), form->scb1->vertPosition());
    EXPECT_LE(last.bottom(), form->scb1->vertPosition() + form->scb1->viewport()->height());

    // "我做完了" with the keyboard, then the next step is one key away.
    form->BJS->setFocus(Qt::TabFocusReason);
    handle([] { type(Qt::Key_Return); });
    EXPECT_EQ(bt1(), "继续做作业");
    ASSERT_TRUE(form->BT1->hasFocus());
    handle([] { type(Qt::Key_Space); });
    EXPECT_TRUE(form->page1->isEnabled());
    EXPECT_FALSE(form->Panel_cy->isVisible());
    // Back on the cards as they were: the first question in view has the focus.
    const int inView = groupWithFocus();
    ASSERT_GT(inView, 1);
    EXPECT_GE(form->hw.AnswerPanels[static_cast<std::size_t>(inView - 1)]->y(), form->scb1->vertPosition());
    EXPECT_EQ(form->hw.AnswerGroups[0]->itemIndex(), 3);
}
