// Question cards: geometry, option positions and the click on the card.
#include "homework_fixture.h"

#include "jpeg.h"

#include <QMouseEvent>
#include <QWheelEvent>

namespace {

int pictureHeight(ProgramTest& t, int questionId) {
    data::Query& q = t.datam->aft;
    q.setSql("select zd12 from b1 where zd1="_gbk + gbk::num(questionId));
    q.open();
    const int h = jpeg::decode(q.fieldByName("zd12").asBytes()).height();
    q.close();
    return h;
}

}  // namespace

TEST_F(HomeworkTest, CardsStandOneBelowTheOtherWithTheirAnswerRows) {
    startHomework();
    const int h3 = pictureHeight(*this, 3003);
    const struct {
        int slot;
        int height;
        const char* positions;
    } cases[] = {
        {1, 80, "10,40,110,40,210,40,310,40,"},              // options on one line
        {2, 110, "10,40,110,40,10,70,110,70,"},              // two lines of two
        {3, h3 + 110, nullptr},                              // question, picture, options
        {4, 80, "10,40,100,40,190,40,280,40,"},              // full-width parentheses
        {5, 170, "10,40,10,70,10,100,10,130,"},              // one option per line
    };
    int top = form->Bexz->y() + 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slot);
        ui::Image* card = form->hw.CardImages[static_cast<std::size_t>(c.slot - 1)];
        EXPECT_EQ(card->geometry(), QRect(246, top, 786, c.height));
        EXPECT_EQ(card->tag, c.slot);
        if (c.positions) {
            EXPECT_EQ(card->hint(), c.positions);
        }
        EXPECT_EQ(form->hw.AnswerPanels[static_cast<std::size_t>(c.slot - 1)]->geometry(),
                  QRect(246, top + c.height, 786, 36));
        top += c.height + 36 + 2;
    }
    EXPECT_EQ(form->hw.CardImages[2]->hint(), "10," + std::to_string(70 + h3) + ",90," + std::to_string(70 + h3) +
                                                  ",170," + std::to_string(70 + h3) + ",250," +
                                                  std::to_string(70 + h3) + ",");
    EXPECT_EQ(form->Bexz->height(), form->CardCursor());
    EXPECT_EQ(u8(form->hw.AnswerPanels[0]->caption()), "请选择->" + std::string(63, ' '));
    // The scratch picture the cards were drawn from is never seen.
    ASSERT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Imageft->isVisible());
}

TEST_F(HomeworkTest, SlotNumbersBelowTenStartWithASpace) {
    startHomework();
    // The number is drawn; the tags and the drawn cards tell the slots apart.
    for (int slot : {7, 12}) EXPECT_EQ(form->hw.CardImages[static_cast<std::size_t>(slot - 1)]->tag, slot);
    // The number's first cell is blank below ten: pixels of the card at the
    // first cell stay the tiled background, at "12" they are ink.
    auto inkAt = [this](int slot, int x0, int x1) {
        const QImage& img = form->hw.CardImages[static_cast<std::size_t>(slot - 1)]->picture();
        int dark = 0;
        for (int x = x0; x < x1; ++x)
            for (int y = 10; y < 30; ++y) dark += qGray(img.pixel(x, y)) < 100;
        return dark;
    };
    EXPECT_EQ(inkAt(7, 10, 20), 0);
    EXPECT_GT(inkAt(7, 20, 30), 0);
    EXPECT_GT(inkAt(12, 10, 20), 0);
}

TEST_F(HomeworkTest, ClickOnACardSelectsTheOptionBeyondItsMarker) {
    startHomework();
    ui::Image& oneLine = *form->hw.CardImages[0];  // A 10,40  B 110,40  C 210,40  D 310,40
    ui::Image& perLine = *form->hw.CardImages[4];  // A 10,40  B 10,70   C 10,100  D 10,130
    const struct {
        ui::Image* card;
        int slot;
        int x;
        int y;
        int selected;
    } cases[] = {
        {&oneLine, 1, 400, 45, 3}, {&oneLine, 1, 305, 45, 2}, {&oneLine, 1, 111, 45, 1},
        {&oneLine, 1, 50, 45, 0},  {&oneLine, 1, 10, 45, -1},  // not beyond A
        {&oneLine, 1, 400, 40, -1},                             // on the line's top: strict
        {&perLine, 5, 50, 41, 0},  {&perLine, 5, 50, 71, 1},   {&perLine, 5, 50, 101, 2},
        {&perLine, 5, 300, 300, 3}, {&perLine, 5, 10, 131, -1},
    };
    // Any button released over the card runs the hit test.
    const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
    int i = 0;
    for (const auto& c : cases) {
        answer(c.slot, -1);
        const Qt::MouseButton button = buttons[i++ % 3];
        const QPointF at(c.x, c.y);
        QMouseEvent release(QEvent::MouseButtonRelease, at, c.card->mapToGlobal(at), button, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(c.card, &release);
        EXPECT_EQ(form->hw.AnswerGroups[static_cast<std::size_t>(c.slot - 1)]->itemIndex(), c.selected)
            << "slot " << c.slot << " at " << c.x << "," << c.y << ", button " << button;
    }
}

TEST_F(HomeworkTest, TheWheelBesideTheCardsScrollsThemByLineSteps) {
    startHomework();
    const QPoint rightMargin(1150, 600);  // on the screen, which the window fills
    QWidget* margin = form->childAt(rightMargin);
    ASSERT_TRUE(margin && margin->parentWidget() == form->MarginRight);
    QMouseEvent move(QEvent::MouseMove, margin->mapFrom(form.get(), rightMargin), rightMargin, Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(margin, &move);
    ASSERT_EQ(form->focusWidget(), form->scb1);
    auto wheel = [this](QPoint at, int delta) {
        QWidget* under = form->childAt(at);
        QWheelEvent e(under->mapFrom(form.get(), at), at, QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(under, &e);
    };

    const int step = form->scb1->viewport()->height() * 9 / 10 / 10;
    pauses.clear();
    for (int notch = 1; notch <= 3; ++notch) wheel(rightMargin, -120);
    EXPECT_EQ(form->scb1->vertPosition(), 3 * step);
    wheel(rightMargin, 120);
    EXPECT_EQ(form->scb1->vertPosition(), 2 * step);
    EXPECT_EQ(pauses, std::vector<int>(4 * 3, 10));  // four parts per step, 10 ms apart

    // The box's wheel handler, once set, takes the turns instead: here over
    // the left margin and over a card.
    std::vector<int> turns;
    form->scb1->onMouseWheel = [&turns](int delta) {
        turns.push_back(delta);
        return true;
    };
    for (QPoint at : {QPoint(100, 600), QPoint(640, 600)}) wheel(at, -120);
    EXPECT_EQ(turns, (std::vector<int>{-120, -120}));
    EXPECT_EQ(form->scb1->vertPosition(), 2 * step);
}

TEST_F(HomeworkTest, ClicksOnACardDoNothingOnceTheAnswersAreShown) {
    startHomework();
    for (int g = 0; g < 6; ++g) {
        finishAfter(10);
        if (g < 5) form->BT1Click();
    }
    form->BT1Click();  // "点击查看作业"
    form->CardMouseUp(*form->hw.CardImages[0], 400, 45);
    EXPECT_EQ(form->hw.AnswerGroups[0]->itemIndex(), -1);
}

TEST_F(HomeworkTest, APictureLineNeedsItsOwnLine) {
    dbExec("update b1 set zd2='" + scramble("题目\r\n  <picture>  \r\n<picture>和文字\r\nA) 1  B) 2  C) 3  D) 4"_gbk, 3) +
           "' where zd1=3003");
    startHomework();
    const int h3 = pictureHeight(*this, 3003);
    // question, picture (blanks around it), text line, options
    EXPECT_EQ(form->hw.CardImages[2]->height(), 10 + 30 + (h3 + 30) + 30 + 30 + 10);
}
