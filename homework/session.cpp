// The homework cycle on the three session buttons and the countdown.
// The captions of BT1, BT2 and BJS carry the state: each click reads its
// button's caption and every step ends by setting the captions of the next.
#include "application.h"
#include "datam.h"
#include "gbk.h"
#include "session.h"

#include <QToolTip>

using namespace ui;
using homework::Session;

void Session::BT1Click() {
    const std::string caption = BT1->caption();
    if (caption == "继续做作业"_gbk || caption == "继续检查作业"_gbk) {
        ContinueHomework();
    } else if (caption == "点击检查作业"_gbk) {
        BJS->setCaption("我检查完了"_gbk);
        ContinueHomework();
    } else if (caption == "点击查看作业"_gbk) {
        ShowAnswers();
    } else if (caption == "开始作业"_gbk) {
        // A unit without a learning page opens the daily post instead.
        if (UnitWithoutLearningPage()) {
            ShowDailyPost();
            return;
        }
        StartHomework();
    } else if (caption == "确    认"_gbk) {
        ConfirmNotice();
    } else if (caption == "请稍候..."_gbk) {
        // a long step is running: clicks meanwhile do nothing
    } else {
        ExitWithCounters();  // "确认退出", "点击进入电脑"
    }
}

void Session::BJSClick() {
    const std::string caption = BJS->caption();
    if (caption == "返  回"_gbk)
        ReturnFromPage();
    else if (caption == "退出系统"_gbk)
        ShowExitConfirmation();
    else if (caption == "我做完了"_gbk || caption == "我检查完了"_gbk)
        FinishHomework();
    else
        CloseProgram();  // "退出作业"
}

void Session::BT2Click() {
    if (page1->visible()) {
        // "放弃退出" during a homework: back to the cards as they were.
        page1->setEnabled(true);
        Panel_cy->hide();
        return;
    }
    if (BT2->caption() == "放弃退出"_gbk) {
        setBT1("开始作业"_gbk, 112);
        BT2->setCaption("上次作业"_gbk);
        showBT2(true);
    } else if (BT2->caption() == "上次作业"_gbk) {
        ShowLastHomework();
    }
}

void Session::StartHomework() {
    // Clicks that queue up while the events below run must not start a
    // second homework.
    BT1->setCaption("请稍候..."_gbk);
    HideSelectors();
    datam.RunCommand("update b5 set zd5="_gbk + gbk::num(SelectedGrade()) + ",zd6=" + gbk::num(SelectedUnit()) +
                     " where zd1=1");
    Pts->setGeometry(Pts->x(), 208, Pts->width(), 49);
    processMessages();
    Pts->setCaption("正在抽取作业..."_gbk);
    setBT1("请稍候..."_gbk, 228);
    showBT2(false);
    processMessages();

    ExtractHomework();

    QFont tipFont(QStringLiteral("宋体"));
    tipFont.setPointSize(14);
    QToolTip::setFont(tipFont);
    Panel_cy->hide();
    BJS->setCaption("我做完了"_gbk);
    page1->show();
    FocusFirstCard();
}

void Session::ContinueHomework() {
    if (hw.SecondsLeft() < 600) {
        // At least ten more minutes; the extra time is granted, not used.
        setTimeGranted(TimeGranted() + (600 - hw.SecondsLeft()));
        hw.SecondsLeft() = 600;
    }
    page1->setEnabled(true);
    Panel_cy->hide();
    FocusFirstCard();
    processMessages();
    Timer2.setEnabled(true);
}

namespace {

std::string keyText(int key) {
    if (key < 0 || key > 3) return "数据有误"_gbk;  // the question bank holds no usable key
    return std::string(1, static_cast<char>('A' + key));
}

std::string resultLine(int key, int chosen) {
    std::string line = "正确答案："_gbk + keyText(key);
    if (chosen < 0) return line + "；你未做此题    ×"_gbk;
    const bool right = key >= 0 && key <= 3 && chosen == key;
    return line + "；你的答案："_gbk + std::string(1, static_cast<char>('A' + chosen)) + "    " +
           (right ? "√"_gbk : "×"_gbk);
}

}  // namespace

void Session::ShowAnswers() {
    datam.RunCommand("update b1 set zd7=zd7+1 where zd1 in (select zd3 from b3 where  zd2="_gbk +
                     gbk::num(hw.HomeworkNo) + ")");
    BJS->setCaption("退出作业"_gbk);
    SpeedButton69->setCaption("打印预览"_gbk);
    setBT1("请稍候..."_gbk, 228);
    Pts->setCaption("正在批改......"_gbk);
    showBT2(false);
    processMessages();
    processMessages();

    for (int i = 1; i <= hw.QuestionCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(i - 1);
        if (hw.AnalysisButtons[at]->tag > 0) hw.AnalysisButtons[at]->show();
        hw.AnswerPanels[at]->setCaption(resultLine(hw.AnswerKeys(i), hw.AnswerGroups[at]->itemIndex()));
    }
    for (RadioGroup* group : hw.AnswerGroups)
        if (group) group->hide();
    page1->setEnabled(true);
    Panel_cy->hide();
    FocusRule();
}

void Session::FinishHomework() {
    if (GradingInProgress) return;  // a second click while the first grading runs
    GradingInProgress = true;
    showBT2(false);
    setBT1("请稍候..."_gbk, 228);
    Timer2.setEnabled(false);
    Pts->setCaption("正在批改......"_gbk);
    processMessages();
    GradeHomework();
}

void Session::ReturnFromPage() {
    if (ComposingPage()) return;  // the page being composed shows first
    pdydlg->hide();
    LeavePageView();
    page1->setEnabled(true);
}

void Session::CountdownTick() {
    if (hw.SecondsLeft() > 0) {
        ShowCountdown();
        return;
    }
    Lkssj->setCaption("00分00秒"_gbk);
    Timer2.setEnabled(false);
    GradingInProgress = true;
    setBT1("请稍候..."_gbk, 228);
    Pts->setCaption("正在批改......"_gbk);
    showBT2(false);
    processMessages();
    GradeHomework();
}
