#include "homework_parts.h"

#include "gbk.h"
#include "make_control.h"

using namespace ui;

namespace homework {

void HomeworkParts::createCountdown(QWidget* bar) {
    Panel8 = make<Panel>(bar, "Panel8", 433, 2, 225, 32);
    Panel8->setBevels(BevelCut::Lowered, BevelCut::Raised);
    Panel8->setFont(makeFont("宋体", 16, Qt::black, true));
    Panel8->setColor(kMoneyGreen);
    Lkssj = makeLabel(Panel8, "Lkssj", 109, 6, 55, 21, "", makeFont("宋体", 21, kRed));
    Label37 = makeLabel(Panel8, "Label37", 19, 8, 70, 20, "倒计时:", makeFont("黑体", 20));
}

void HomeworkParts::createCardArea(QWidget* workArea) {
    page1 = make<PageControl>(workArea, "page1", 50, 134, 1018, 524);
    page1->setFont(makeFont("黑体", 19));
    page1->setHandCursor();
    TabSheet1 = new TabSheet;
    TabSheet1->name = "TabSheet1";
    TabSheet1->setCaption("选择题(40分)"_gbk);
    page1->addSheet(TabSheet1);
    TabSheet1->setHandCursor();
    scb1 = make<ScrollBox>(TabSheet1, "scb1", 0, 0, 1010, 490);
    scb1->setColor(kSkyBlue);
    scb1->setShowHorzScrollBar(false);
    scb1->setHandCursor();
    scb1->setAlign(Align::Client);
    Bexz = make<Bevel>(scb1->client(), "Bexz", 151, 1, 790, 488);
}

void HomeworkParts::ShowCountdown() {
    const int s = hw.SecondsLeft();
    Lkssj->setCaption(gbk::num(s / 60) + "分 "_gbk + gbk::num(s % 60) + "秒"_gbk);
}

}  // namespace homework
