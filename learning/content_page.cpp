// Content pages: one tall page image per topic, laid out like a report
// page (logo, title, head rule, body, foot rule and foot text) but of any
// length, with text lines and pictures from the database.
#include "application.h"
#include "gbk.h"
#include "jpeg.h"
#include "learning.h"
#include "page_layout.h"
#include "page_markup.h"
#include "pupil_error.h"
#include "rounding.h"
#include "scoped_flag.h"

#include <QScrollBar>


using namespace ui;
using learning::Learning;
using namespace pages::layout;

namespace {

constexpr int kPageHeight = 30000;  // page units; content below is cut off
constexpr int kTextLeft = 360;
constexpr int kPictureLeft = 460;  // content pictures sit further in than report ones

QImage decodeContentPicture(const std::vector<unsigned char>& bytes) {
    return withLead("这一页的图片已损坏，无法显示。", [&] { return jpeg::decode(bytes); });
}

}  // namespace

void Learning::swapCaptionForPage() {
    setRememberedCaption(BJS->caption());
    BJS->setCaption("返  回"_gbk);
}

void Learning::ComposeContentPage(const std::string& titleSuffix, const std::string& pageText,
                                   const PictureRule& rule, bool swapCaption) {
    ScopedFlag composing(composingPage_);
    // The page box over the work area; over a homework the tabs stay in view.
    const int tabs = CardPages()->visible() ? 32 : 0;
    SBOX1->setBounds((CardPages()->width() - 820) / 2, CardPages()->top() + tabs, 820, CardPages()->height() - tabs);
    SBOX1->setVertPosition(0);
    SBOX1->horizontalScrollBar()->setValue(0);
    PYL->move(SBOX1->left() + 50, SBOX1->top() + 1);
    for (QWidget* w : std::initializer_list<QWidget*>{SpB1, SpB2, spb3, cyl, Imag1, Imag2, Imag3}) w->hide();
    processMessages();
    processMessages();
    if (swapCaption) swapCaptionForPage();

    // A fresh page bitmap of 800 x 9677 pixels under the watermark.
    const double S = kScreenScale;
    PageScale = S;
    Canvas& canvas = NewPageImage(roundInt(kPageHeight * S), false);

    DrawPageLogo(canvas, kLogoTop, 1.0);
    DrawPageText(kHeadTextLeft, kHeadTextTop, kFontSize, kHeadTextWidth, 0, 0, "宋体", ldw0->caption() + titleSuffix);
    DrawPageLine(roundInt(kRuleLeft * S), roundInt(kHeadRule * S), roundInt(kRuleRight * S), roundInt(kHeadRule * S));
    int y = kBodyTop;

    m_pd->setText(pageText);
    for (const std::string& line : m_pd->lines()) {
        const std::string shown = line.substr(0, 4096);
        if (rule.isPictureLine(shown)) {
            const QImage picture = decodeContentPicture(rule.pictureBytes(shown));
            Imageft->clearPicture();
            Imageft->setPicture(picture);
            const int w = Imageft->width();
            const int h = Imageft->height();
            const double top = (y + rule.offset) * S;
            const double left = kPictureLeft * S;
            y += roundInt(h / S) + rule.advance;
            canvas.copyMode = CopyMode::SrcAnd;
            canvas.copyRect(cornerRect(roundInt(left), roundInt(top), roundInt(left + w), roundInt(top + h)),
                            Imageft->picture(), cornerRect(1, 1, w, h));
            processMessages();
            processMessages();
        } else {
            DrawPageText(kTextLeft, y, 50, kTextWidth, 0, 0, "宋体", shown);
        }
        y += kLinePitch;
    }

    // The page fills the box when it fits; otherwise it ends below the foot.
    y += 100;
    if (SBOX1->height() >= roundInt((y + 160) * S)) {
        Image2->resize(815, SBOX1->height() - 3);
    } else {
        y += 160;
        Image2->resize(800, roundInt(y * S));
    }
    const int footRow = Image2->height() - roundInt(160 * S);
    DrawPageLine(roundInt(kRuleLeft * S), footRow, roundInt(kRuleRight * S), footRow);
    DrawPageText(0, roundInt(Image2->height() / S - 150), kFontSize, kTextWidth, 1, 0, "宋体", pages::FootText());
    processMessages();

    Panel_cy->hide();
    SBOX1->show();
    SBOX1->updateRange();  // the page image was resized while the box was hidden
    PYL->show();
    SBOX1->setFocus();
}
