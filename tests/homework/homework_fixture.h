// A homework drawn on the seed database: grade 3 ("三年级上") has 22
// questions 3001..3022, so a homework holds the first 20.
#pragma once

#include "form_fixture.h"

#include <array>

class HomeworkTest : public ProgramTest {
public:
    // The keys of questions 3001..3020 in the seed content.
    static constexpr std::array<int, 20> kKeys = {1, 0, 2, 3, 0, 1, 2, 1, 3, 0, 2, 1, 3, 0, 1, 2, 1, 1, 3, 0};

    // Starts the program on the given grade and unit and presses "开始作业".
    void startHomework(int grade = 3, int unit = 0);
    // Chooses option 0..3 (or -1: none) on a slot.
    void answer(int slot, int option);
    // Answers the first `right` slots correctly and the others wrongly.
    void answerRight(int right);
    // "我做完了" / "我检查完了" after the given seconds of work.
    void finishAfter(int seconds);
    std::string pts() const { return u8(form->Pts->caption()); }
    std::string bt1() const { return u8(form->BT1->caption()); }
    // A left click on the control that waits in the event queue, as a
    // click does that arrives while a handler lets events run.
    static void queueClick(QWidget* control);
    // The scrambled form of a clear GBK text, as stored.
    static std::string scramble(const std::string& gbkText, int key);
};
