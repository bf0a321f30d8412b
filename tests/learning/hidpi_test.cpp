// The window on a screen with more pixels per unit (run with QT_SCALE_FACTOR
// on a screen that is 1280 x 1024 units): cards and page images are drawn
// with the screen's pixels while keeping their sizes and places in units.
#include "report_fixture.h"

#include <QScreen>

#include <cmath>

namespace {

double screenRatio() { return qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble(); }

// The control's bitmap has the ratio's pixels per unit and covers the control.
void expectCarriesRatio(const ui::Image* image, double ratio, const char* what) {
    const QImage& bitmap = image->picture();
    ASSERT_FALSE(bitmap.isNull()) << what;
    EXPECT_DOUBLE_EQ(bitmap.devicePixelRatio(), ratio) << what;
    EXPECT_EQ(bitmap.width(), static_cast<int>(std::ceil(image->width() * ratio))) << what;
    EXPECT_GE(bitmap.deviceIndependentSize().height(), image->height()) << what;
}

}  // namespace

TEST_F(ReportTest, CardsAndPagesAreDrawnWithTheScreensPixels) {
    const double ratio = screenRatio();
    ASSERT_GT(ratio, 1.0) << "run with QT_SCALE_FACTOR";
    startHomework();
    ASSERT_EQ(form->geometry(), QRect(0, 0, 1280, 1024));
    ASSERT_DOUBLE_EQ(form->devicePixelRatioF(), ratio);
    EXPECT_EQ(form->BEND->pos(), QPoint(1258, 2));
    EXPECT_EQ(form->Panel8->pos(), QPoint(527, 2));

    // The cards: 786 units wide, each followed by its answer row, with the
    // positions the layout gives at one pixel per unit.
    int cards = 0;
    for (ui::Image* card : form->hw.CardImages) {
        if (!card) continue;
        ++cards;
        EXPECT_EQ(card->width(), 786);
        expectCarriesRatio(card, ratio, "card");
        const int slot = card->tag;
        EXPECT_EQ(form->hw.AnswerPanels[static_cast<std::size_t>(slot - 1)]->y(), card->y() + card->height());
    }
    EXPECT_GT(cards, 0);
    // A report page and a content page.
    paginate(std::vector<std::string>(60, "x"));
    EXPECT_EQ(form->Image2->width(), 800);
    expectCarriesRatio(form->Image2, ratio, "report page");

    handle([this] { form->BJSClick(); });
    handle([this] { form->SpeedButton6Click(); });  // the daily post
    ASSERT_TRUE(form->SBOX1->isVisible());
    const QImage& post = form->Image2->picture();
    // A page over the pixel bound gets fewer pixels per unit, never fewer than one.
    const double units = double(post.deviceIndependentSize().width()) * post.deviceIndependentSize().height();
    EXPECT_LE(double(post.width()) * post.height(), double(ui::Image::kMaxCanvasPixels) * 1.01);
    EXPECT_GE(post.devicePixelRatio(), std::min(ratio, std::sqrt(ui::Image::kMaxCanvasPixels / units)) - 0.01);
    EXPECT_GT(post.devicePixelRatio(), 1.0);
}
