// The three content pages: the learning page of a unit, the daily post in
// rotation, and the worked analysis of a homework question.
#include "application.h"
#include "datam.h"
#include "gbk.h"
#include "learning.h"
#include "picture_tag.h"
#include "pupil_error.h"


using namespace ui;
using learning::Learning;

void Learning::bindLearningEvents() {
    sp1->onClick = [this] { sp1Click(); };
    SpeedButton6->onClick = [this] { SpeedButton6Click(); };
}

// The picture a tag of a unit's or a post's text names: its b6 row by
// grade (12 for the posts), owner (unit position or post id) and number.
// The number is passed as a value, never as statement text.
std::vector<unsigned char> Learning::learningPicture(int grade, long long owner, const std::string& line) {
    const std::optional<long long> number = learning::pictureNumber(line);
    if (!number)
        throw PupilError("学习内容中的图片标记有误，无法显示图片。",
                         "picture tag names no picture: " + gbk::toUtf8Shown(line));
    return datam.ReadPicture("select zd1,zd5 from b6 where zd2="_gbk + gbk::num(grade) + " and zd3=" +
                                 gbk::num(owner) + " and zd4=?",
                             "zd5", {*number});
}

void Learning::ShowUnitLearning() { sp1->click(); }

void Learning::sp1Click() {
    if (composingPage_) return;
    datam.RunQuery("select * from b4 where zd3="_gbk + gbk::num(c1->itemIndex()) + " and zd4=" +
                   gbk::num(c2->itemIndex()));
    const std::string text = datam.a_ls.fieldByName("zd5").asString();
    const PictureRule rule{
        [](const std::string& line) { return learning::isPictureTag(line); },
        // The grade and unit of the moment the picture's line is reached.
        [this](const std::string& line) { return learningPicture(c1->itemIndex(), c2->itemIndex(), line); },
        -20, -10};
    ComposeContentPage("--本节内容"_gbk, text, rule, true);
}

void Learning::SpeedButton6Click() {
    if (SBOX1->visible() || composingPage_) return;
    swapCaptionForPage();
    // A unit without a learning page shows the fixed post; otherwise the
    // post shown least often, ties broken at random.
    if (sp1->hint() == "空"_gbk)
        datam.RunQuery("select * from b4 where zd1=201"_gbk);
    else
        datam.RunQuery("select top 1 * from b4 where zd3=12 order by zd4,rnd(zd1)"_gbk);
    const std::string text = datam.a_ls.fieldByName("zd5").asString();
    const long long post = datam.a_ls.fieldByName("zd1").asInteger();
    datam.RunCommand("update b4 set zd4=zd4+1 where zd1="_gbk + gbk::num(post));
    const PictureRule rule{
        [](const std::string& line) { return learning::isPictureTag(line); },
        [this, post](const std::string& line) { return learningPicture(12, post, line); },
        -20, -10};
    ComposeContentPage("--每日一帖"_gbk, text, rule, false);
}

void Learning::ShowQuestionAnalysis(SpeedButton& sender) {
    if (SBOX1->visible() || composingPage_) return;
    swapCaptionForPage();
    const long long id = QuestionOfSlot(sender.tag);
    datam.RunQuery("select zd1,zd9,zd14,zd15 from b1 where zd1="_gbk + gbk::num(id));
    const long long key = datam.a_ls.fieldByName("zd9").asInteger();
    const std::string clear = gbk::trimRight(data::Tdatam::UnscrambleField(datam.a_ls.fieldByName("zd14").asString(), key));
    const std::vector<unsigned char> picture = datam.a_ls.fieldByName("zd15").asBytes();
    const PictureRule rule{[](const std::string& line) { return line == "<picture>"; },
                           [picture](const std::string&) { return picture; }, 20, 30};
    ComposeContentPage("--试题分析"_gbk, gbk::copy(clear, 5, 8000), rule, false);
}
