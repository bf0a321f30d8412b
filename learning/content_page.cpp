// Content pages: one tall page image per topic, laid out like a report
// page (logo, title, head rule, body, foot rule and foot text) but of any
// length, with text lines and pictures from the database.
#include "application.h"
#include "gbk.h"
#include "jpeg.h"
#include "learning.h"
#include "page_layout.h"
#include "page_bounds.h"
#include "page_markup.h"
#include "picture_bounds.h"
#include "pupil_error.h"
#include "rounding.h"
#include "scoped_flag.h"

#include <QScrollBar>


using namespace ui;
using learning::Learning;
using namespace pages::layout;

namespace {

QImage decodeContentPicture(const std::vector<unsigned char>& bytes) {
    return withLead("这一页的图片已损坏，无法显示。", [&] {
        return pictures::decodeWithin(bytes, QString::fromUtf8("（图片太大，无法显示。）"), 600);
    });
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
    Canvas& canvas = NewPageImage(roundInt(kContentPageHeight * S), false);

    DrawPageHead(&canvas, 1.0, ldw0->caption() + titleSuffix, "");
    int y = kBodyTop;

    m_pd->setText(pageText);
    learning::PageBounds bounds(kContentPageHeight - 2 * kLinePitch);
    for (const std::string& line : m_pd->lines()) {
        if (!bounds.lineFits(y)) {
            y = static_cast<int>(bounds.noticeRow(y));
            DrawPageText(kContentTextLeft, y, 50, kTextWidth, 0, 0, "宋体", bounds.fullNotice());
            y += kLinePitch;
            break;
        }
        const std::string shown = line.substr(0, 4096);
        std::string notice;
        if (rule.isPictureLine(shown) && !bounds.takePicture(notice)) {
            if (notice.empty()) continue;
            DrawPageText(kContentTextLeft, y, 50, kTextWidth, 0, 0, "宋体", notice);
        } else if (rule.isPictureLine(shown)) {
            const QImage picture = bounds.picture(shown, [&] { return decodeContentPicture(rule.pictureBytes(shown)); });
            Imageft->clearPicture();
            Imageft->setPicture(picture);
            const int w = Imageft->width();
            const int h = Imageft->height();
            const double top = (y + rule.offset) * S;
            const double left = kContentPictureLeft * S;
            y += roundInt(h / S) + rule.advance;
            canvas.copyMode = CopyMode::SrcAnd;
            canvas.copyRect(cornerRect(roundInt(left), roundInt(top), roundInt(left + w), roundInt(top + h)),
                            Imageft->picture(), cornerRect(1, 1, w, h));
            processMessages();
            processMessages();
        } else {
            DrawPageText(kContentTextLeft, y, 50, kTextWidth, 0, 0, "宋体", shown);
        }
        y += kLinePitch;
    }

    // The page fills the box when it fits; otherwise it ends below the foot.
    y += kContentEndGap;
    if (SBOX1->height() >= roundInt((y + kContentFootRule) * S)) {
        Image2->resize(815, SBOX1->height() - 3);
    } else {
        y += kContentFootRule;
        Image2->resize(800, roundInt(y * S));
    }
    DrawPageFoot(Image2->height() - roundInt(kContentFootRule * S), roundInt(Image2->height() / S - kContentFootText));
    processMessages();

    Panel_cy->hide();
    SBOX1->show();
    SBOX1->updateRange();  // the page image was resized while the box was hidden
    PYL->show();
    SBOX1->setFocus();
}
