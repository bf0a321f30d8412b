// Drawing a homework: reset the record, select up to 20 questions, build a
// card per question, record the slots and start the countdown.
#include "application.h"
#include "daily_choice.h"
#include "datam.h"
#include "gbk.h"
#include "session.h"
#include "now_text.h"
#include "transaction.h"

#include <QDateTime>

using namespace ui;
using homework::Session;

std::string quotedNow() {
    const QDateTime now = daily::clock().now();
    const QDate d = now.date();
    const QTime t = now.time();
    return "'" + gbk::num(d.year()) + "-" + gbk::num(d.month()) + "-" + gbk::num(d.day()) + " " +
           gbk::num(t.hour()) + ":" + gbk::num(t.minute()) + "'";
}

namespace {

// The answer key is the fifth byte of the clear key text; anything but A to
// D is bad data and yields -1, which no answer can match.
int answerIndex(const std::string& clearKey) {
    if (clearKey.size() < 5) return -1;
    const int index = static_cast<unsigned char>(clearKey[4]) - 'A';
    return index >= 0 && index <= 3 ? index : -1;
}

}  // namespace

void Session::ExtractHomework() {
    hw.AnswerPanels.resize(kSlots, nullptr);
    hw.AnswerGroups.resize(kSlots, nullptr);
    hw.AnalysisButtons.resize(kSlots, nullptr);
    for (int n = 1; n <= kSlots; ++n) hw.QuestionIds(n) = 0;
    hw.QuestionTexts = {};
    hw.GradingCount = 0;
    hw.RecordedSeconds = 0;
    hw.SecondsLeft() = 3600;
    setTimeGranted(3600);

    // The reset of the record and the 20 slots are one transaction: a crash
    // or an error on the way (a damaged picture) leaves the previous homework
    // whole in the file.
    data::Transaction transaction(datam);
    datam.RunCommand("update b2 set zd3="_gbk + quotedNow() + ",zd5=0,zd6=0 where zd1=1");
    hw.HomeworkNo = 1;
    hw.CardImages.resize(kSlots, nullptr);

    Bexz->move((screenWidth() - Bexz->width()) / 2, Bexz->y());
    TabSheet1->setCaption("选择题(20题, 100分)"_gbk);
    setCardCursor(Bexz->y() + 1);

    const bool mockPaper = gbk::copy(SelectedUnitText(), 1, 8) == "模拟试卷"_gbk;
    hw.Daily = daily::markTodayOrReport(datam, SelectedGrade(), SelectedUnit(), mockPaper);  // today's marks
    const std::vector<std::string> grades = GradeNames();
    if (SelectedGrade() >= 0 && SelectedGrade() < static_cast<int>(grades.size()))
        hw.Daily.gradeName = gbk::toUtf8Shown(grades[static_cast<std::size_t>(SelectedGrade())]);
    // The unit's name, without the description the list shows after it.
    const std::string unitText = SelectedUnitText();
    hw.Daily.unitName = gbk::toUtf8Shown(gbk::trimRight(unitText.substr(0, unitText.find("  "))));
    datam.RunQuery(mockPaper ? "select top 20 zd1,zd2,zd6,zd9,zd11,zd14 from b1 where zd9=11 and zd10=0 order by zd1"_gbk
                             : "select top 20 zd1,zd2,zd6,zd9,zd11,zd14 from b1 where zd9="_gbk +
                                   gbk::num(SelectedGrade()) + " and zd10=2 order by zd1");

    int n = 0;
    // The model has twenty slots; a selection that gave more rows stops there.
    for (data::Query& rows = datam.a_ls; !rows.eof() && n < kSlots; rows.next()) {
        ++n;
        const long long key = rows.fieldByName("zd9").asInteger();
        hw.QuestionIds(n) = static_cast<std::int32_t>(rows.fieldByName("zd1").asInteger());
        BuildAnswerSelector(n - 1, gbk::copy(rows.fieldByName("zd14").asString(), 13, 10));
        // A damaged scrambled field names its question in the error box.
        const auto unscramble = [&](const char* column) {
            return ui::withLead("第" + std::to_string(n) + "题的题目数据有误。", [&] {
                return data::Tdatam::UnscrambleField(rows.fieldByName(column).asString(), key);
            });
        };
        const std::string text = gbk::trimRight(unscramble("zd2"));
        hw.QuestionTexts[static_cast<std::size_t>(n - 1)] = gbk::toUtf8Shown(text);
        RenderQuestionCard(n, static_cast<int>(rows.fieldByName("zd11").asInteger()), text);
        hw.AnswerKeys(n) = answerIndex(unscramble("zd6"));
        Bexz->resize(Bexz->width(), CardCursor());
    }
    hw.QuestionCount = n;

    BuildMarginPanels();

    for (int slot = 1; slot <= kSlots; ++slot)
        datam.RunCommand("update  b3 set zd3="_gbk + gbk::num(hw.QuestionIds(slot)) + ",zd4='',zd5=0 where zd1=" +
                         gbk::num(slot));
    transaction.commit();

    ShowCountdown();
    page1->setCurrentIndex(0);
    Timer2.setEnabled(true);
}

void Session::BuildMarginPanels() {
    auto build = [this](int left, int width) {
        auto* panel = new Panel(TabSheet1);
        panel->setBevels(BevelCut::None, BevelCut::None);
        panel->setGeometry(left, 2, width, TabSheet1->height() - 4);
        auto* image = new Image(panel);
        image->setGeometry(0, 0, panel->width(), panel->height());
        TileCanvas(image->canvas(), *Imicon0, image->width(), image->height());
        image->onMouseMove = [this](int, int) { FocusRule(); };
        image->setMouseTracking(true);
        panel->show();
        return panel;
    };
    const int rightLeft = Bexz->x() + Bexz->width() + 2;
    MarginLeft = build(2, Bexz->x() - 2);
    MarginRight = build(rightLeft, scb1->width() - rightLeft - 20);
}
