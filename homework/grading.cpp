// Grading: compare every answer with its key, write the slots, score out of
// 100, record the homework according to how often it has been graded.
#include "application.h"
#include "daily_choice.h"
#include "datam.h"
#include "gbk.h"
#include "session.h"
#include "now_text.h"
#include "rounding.h"
#include "scoped_flag.h"
#include "transaction.h"

#include <string>
#include <vector>

using namespace ui;
using homework::Session;

namespace {

std::string scoreText(long long points) { return "分数："_gbk + gbk::num(points) + "，请认真检查！"_gbk; }

}  // namespace

void Session::GradeHomework() {
    ScopedFlag grading(GradingInProgress);
    page1->setEnabled(false);
    CentrePanelCy();
    pdydlg->hide();
    Panel_cy->show();
    processMessages();

    double score = 0;
    std::vector<std::string> slotResults;
    std::vector<data::outbox::Answer> answers;
    for (int n = 1; n <= hw.QuestionCount; ++n) {
        const int chosen = hw.AnswerGroups[static_cast<std::size_t>(n - 1)]->itemIndex();
        const int key = hw.AnswerKeys(n);
        // No answer, or a question whose key is bad data, is never right.
        const bool right = chosen >= 0 && key >= 0 && key <= 3 && chosen == key;
        if (right) score += 100.0 / hw.QuestionCount;
        const char letter = static_cast<char>('A' + chosen);  // '@' for no answer
        slotResults.push_back("update b3 set zd4='"_gbk + std::string(1, letter) + "',zd6=" + (right ? "1" : "0") +
                              " where zd1=" + gbk::num(n));
        const char keyLetter = key >= 0 && key <= 3 ? static_cast<char>('A' + key) : '@';
        answers.push_back({n, hw.QuestionIds(n), letter, keyLetter, right, hw.QuestionTexts[static_cast<std::size_t>(n - 1)]});
    }
    const long long points = roundHalfEven(score);

    pause(1000);

    // The slot results and the record are one transaction: a crash leaves
    // the previous grading or this one, never a mix.  It starts after the
    // pause, so another program on the same file is not kept waiting by it.
    data::Transaction transaction(datam);
    for (const std::string& statement : slotResults) datam.RunCommand(statement);
    daily::recordOrReport(datam, hw.Daily, std::move(answers), static_cast<int>(points),
                          TimeGranted() - hw.SecondsLeft(), hw.GradingCount + 1);  // the pupil's history

    // Each record adds the time used since the previous record of this
    // homework, so zd5 always holds the time used up to the latest record.
    auto secondsSinceRecord = [this] {
        const int used = TimeGranted() - hw.SecondsLeft();
        const int since = used - hw.RecordedSeconds;
        hw.RecordedSeconds = used;
        return gbk::num(since);
    };
    auto record = [&] {
        datam.RunCommand("update b2 set zd4="_gbk + quotedNow() + ",zd5=zd5+" + secondsSinceRecord() +
                         ",zd6=" + gbk::num(points) + " where zd1=1");
    };

    if (points >= 100) {
        record();
        datam.RunCommand("update b1 set zd7=zd7+1 where zd1 in (select zd3 from b3 where zd2="_gbk +
                         gbk::num(hw.HomeworkNo) + ")");
        Pts->setCaption("作业全部正确！"_gbk);
        BT1->setCaption("点击进入电脑"_gbk);
    } else if (hw.GradingCount == 0) {
        if (points >= 60)
            datam.RunCommand("update b2 set zd4="_gbk + quotedNow() + ",zd5=zd5+" + secondsSinceRecord() +
                             ",zd12=1,zd6=" + gbk::num(points) + " where zd1=" + gbk::num(hw.HomeworkNo));
        Pts->setCaption(scoreText(points));
        BT1->setCaption("继续做作业"_gbk);
    } else if (hw.GradingCount <= 2) {
        Pts->setCaption(scoreText(points));
        BT1->setCaption("点击检查作业"_gbk);
    } else if (hw.GradingCount <= 4) {
        Pts->setCaption("有错误，请认真检查！"_gbk);
        BT1->setCaption("继续检查作业"_gbk);
    } else {
        record();
        Pts->setCaption(scoreText(points));
        BT1->setCaption("点击查看作业"_gbk);
    }
    transaction.commit();
    hw.GradingCount += 1;
    BT1->setFocus();  // the next step is one key away
}
