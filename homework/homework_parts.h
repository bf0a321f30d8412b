// The homework's controls (the countdown box, the card area), their
// creation and the homework state.  The window holds these parts; the
// session, card and grading handlers use them.
#pragma once

#include "containers.h"
#include "controls.h"
#include "homework_state.h"

#include <QWidget>

namespace homework {

struct HomeworkParts {
    // ---- the countdown box on the bar ----
    ui::Panel* Panel8;
    ui::Label* Lkssj;
    ui::Label* Label37;
    // ---- the card area ----
    ui::PageControl* page1;
    ui::TabSheet* TabSheet1;
    ui::ScrollBox* scb1;
    ui::Bevel* Bexz;
    // Margin panels beside the cards, built with the first homework.
    ui::Panel* MarginLeft = nullptr;
    ui::Panel* MarginRight = nullptr;

    // ---- homework state ----
    HomeworkState hw;
    // From "我做完了" or time up until the grading has finished.
    bool GradingInProgress = false;
    // Time granted to the homework, kept as the tag of Panel8.
    int TimeGranted() const { return Panel8->tag; }
    void setTimeGranted(int s) { Panel8->tag = s; }
    // Top of the next question card, as the tag of scb1.
    int CardCursor() const { return scb1->tag; }
    void setCardCursor(int y) { scb1->tag = y; }

    // The minutes and seconds left, on Lkssj.
    void ShowCountdown();

protected:
    void createCountdown(QWidget* bar);
    void createCardArea(QWidget* workArea);
};

}  // namespace homework
