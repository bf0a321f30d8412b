// Grade and unit selection: the unit list and the unit-learning button.
#include "form_fixture.h"

namespace {

std::string statusOf(const std::string& gbkItem) {
    const std::size_t p = gbkItem.find(std::string(33, ' '));
    return p == std::string::npos ? std::string() : gbkItem.substr(p + 33);
}

}  // namespace

TEST_F(ProgramTest, ChoosingAGradeRefillsTheUnitList) {
    start();
    const struct {
        int grade;
        int units;
        const char* first;
    } cases[] = {{3, 3, "速算与巧算"}, {0, 2, "数一数"}, {11, 2, "模拟试卷一"}};
    for (const auto& c : cases) {
        form->c1->setItemIndex(c.grade);
        handle([this] { form->c1Change(); });
        EXPECT_EQ(form->c2->count(), c.units) << c.grade;
        EXPECT_EQ(form->c2->itemIndex(), 0);
        const std::string name = gbk::fromUtf8(c.first);
        // Name, exactly 33 spaces, status.
        EXPECT_EQ(form->c2->text().substr(0, name.size() + 33), name + std::string(33, ' '));
        EXPECT_EQ(form->sp1->hint(), statusOf(form->c2->text()));
    }
}

TEST_F(ProgramTest, TheUnitSetsTheLearningButton) {
    // A unit whose status is longer than 68 bytes, and one with an empty status.
    dbExec("insert into b4 (zd1,zd2,zd3,zd4,zd5,zd6) values (150,'长状态',3,3,'', '" +
           std::string(40, 'x') + "一二三四五六七八九十十一十二十三十四十五')");
    dbExec("insert into b4 (zd1,zd2,zd3,zd4,zd5,zd6) values (151,'无状态',3,4,'','')");
    start();
    form->c1->setItemIndex(3);
    form->c1Change();
    const struct {
        int unit;
        std::string hint;  // UTF-8
        bool enabled;
    } cases[] = {
        {0, "凑整、拆分与分组的巧算方法", true},
        {2, "空", false},
        {3, std::string(40, 'x') + "一二三四五六七八九十十一十二", true},  // cut after 68 bytes
        {4, "", false},
    };
    for (const auto& c : cases) {
        form->c2->setItemIndex(c.unit);
        form->c2Change();
        EXPECT_EQ(u8(form->sp1->hint()), c.hint) << c.unit;
        EXPECT_EQ(form->sp1->enabled(), c.enabled) << c.unit;
    }
}

TEST_F(ProgramTest, AGradeWithoutUnitsLeavesTheButtonDisabled) {
    dbExec("delete from b4 where zd3=5");
    start();
    for (int grade : {5, -1}) {
        form->c1->setItemIndex(grade);
        form->c1Change();
        EXPECT_EQ(form->c2->count(), 0);
        EXPECT_EQ(form->c2->itemIndex(), -1);
        EXPECT_TRUE(form->sp1->hint().empty());
        EXPECT_FALSE(form->sp1->enabled());
    }
}

TEST_F(ProgramTest, AUnitNameWithARunOfSpacesMovesTheStatus) {
    dbExec("update b4 set zd2='甲" + std::string(17, ' ') + "乙' where zd3=3 and zd4=0");
    start();
    form->c1->setItemIndex(3);
    form->c1Change();
    EXPECT_EQ(u8(form->sp1->hint()), "乙" + std::string(33, ' ') + "凑整、拆分与分组的巧算方法");
}

TEST_F(ProgramTest, AFailingUnitQueryLeavesAnEmptyList) {
    start();
    dbExec("alter table b4 rename to b4_gone");
    form->c1->setItemIndex(2);
    handle([this] { form->c1Change(); });
    EXPECT_EQ(u8(form->Pts->caption()), "系统数据错!");
    EXPECT_EQ(form->c2->count(), 0);
    EXPECT_FALSE(form->sp1->enabled());
    EXPECT_TRUE(errors.empty());
}
