#include "learning_parts.h"

#include "gbk.h"
#include "make_control.h"

using namespace ui;

namespace learning {
namespace {

// A unit item carries its status behind 33 spaces, out of sight in the list.
const std::string kStatusMark(17, ' ');

}  // namespace

void LearningParts::createSelectors(QWidget* notice, const FontSpec& labelFont) {
    Label1 = makeLabel(notice, "Label1", 16, 15, 80, 15, "请选择年级", labelFont);
    im1 = makeBackdrop(notice, "im1", 227, 42, 28, 25);
    sp1 = makeButton(notice, "sp1", 229, 45, 26, 22, "", makeFont("宋体", 13, kBlue));
    sp1->setHint("单元学习"_gbk);
    sp1->setShowHint(true);
    sp1->setHandCursor();
    const FontSpec list = makeFont("宋体", 16);
    c1 = make<ComboBox>(notice, "c1", 101, 10, 154, 24);
    c1->setFont(list);
    c1->setItemHeight(16);
    c1->setHandCursor();
    for (const char* grade : {"一年级", "二年级上", "二年级下", "三年级上", "三年级下", "四年级上", "四年级下", "五年级上",
                              "五年级下", "六年级上", "六年级下", "模拟考场"})
        c1->addItem(gbk::fromUtf8(grade));
    c2 = make<ComboBox>(notice, "c2", 16, 43, 213, 24);
    c2->setFont(list);
    c2->setItemHeight(16);
    c2->setHandCursor();
}

void LearningParts::UpdateUnitLearningButton() {
    const std::string item = c2->text();
    const std::size_t p = gbk::pos(kStatusMark, item);
    const std::string status = gbk::trim(gbk::copy(item, static_cast<long>(p) + 1, 100));
    sp1->setHint(status);
    sp1->setEnabled(!status.empty() && status != "空"_gbk);
}

}  // namespace learning
