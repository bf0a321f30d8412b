// Grade and unit selection: the unit list follows the grade, and the
// unit-learning button follows the unit.
#include "datam.h"
#include "gbk.h"
#include "learning.h"

using learning::Learning;

namespace {

// A unit item carries its status behind 33 spaces, out of sight in the list.
const std::string kStatusGap(33, ' ');

}  // namespace

void Learning::c1Change() {
    c2->clearItems();
    datam.RunQuery("select * from b4 where zd3="_gbk + gbk::num(c1->itemIndex()) + " order by zd4");
    for (data::Query& units = datam.a_ls; !units.eof(); units.next())
        c2->addItem(units.fieldByName("zd2").asString() + kStatusGap + units.fieldByName("zd6").asString());
    c2->setItemIndex(0);
    UpdateUnitLearningButton();
}

