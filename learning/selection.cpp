// Grade and unit selection: the unit list follows the grade, and the
// unit-learning button follows the unit.
#include "datam.h"
#include "gbk.h"
#include "mainform.h"

namespace {

// A unit item carries its status behind 33 spaces, out of sight in the list.
const std::string kStatusGap(33, ' ');
const std::string kStatusMark(17, ' ');

}  // namespace

void TmainForm::c1Change() {
    c2->clearItems();
    datam.RunQuery("select * from b4 where zd3="_gbk + gbk::num(c1->itemIndex()) + " order by zd4");
    for (data::Query& units = datam.a_ls; !units.eof(); units.next())
        c2->addItem(units.fieldByName("zd2").asString() + kStatusGap + units.fieldByName("zd6").asString());
    c2->setItemIndex(0);
    UpdateUnitLearningButton();
}

void TmainForm::c2Change() { UpdateUnitLearningButton(); }

void TmainForm::UpdateUnitLearningButton() {
    const std::string item = c2->text();
    const std::size_t p = gbk::pos(kStatusMark, item);
    const std::string status = gbk::trim(gbk::copy(item, static_cast<long>(p) + 1, 100));
    sp1->setHint(status);
    sp1->setEnabled(!status.empty() && status != "空"_gbk);
}
