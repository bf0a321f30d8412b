// The page canvas: page units of 1/300 inch drawn on the page image on
// screen or on the printer's page, the three drawing primitives, and the
// drawing of one report page.
#include "application.h"
#include "datam.h"
#include "gbk.h"
#include "line_sheets.h"
#include "page_figures.h"
#include "page_view.h"
#include "page_layout.h"
#include "page_markup.h"
#include "report_pictures.h"
#include "rounding.h"
#include "scoped_flag.h"

#include <QScrollBar>


using namespace ui;
using pages::PageView;

using namespace pages::layout;

// A sheet being saved as PDF is drawn like a printed one.
bool PageView::DrawingToPrinter() const { return printerCanvas_ || (Panel_cy->visible() && pdydlg->visible()); }

Canvas* PageView::PageCanvas() {
    if (DrawingToPrinter()) return printerCanvas_;
    return &Image2->canvas();
}

void PageView::DrawPageText(int x, int y, int size, int width, int align, int bold, const char* face,
                             const std::string& text) {
    pages::sheets::drawPageText(PageCanvas(), PageScale, x, y, size, width, align, bold, face, text);
}

void PageView::DrawPageLine(int x1, int y1, int x2, int y2) {
    Canvas* canvas = PageCanvas();
    if (!canvas) return;
    canvas->moveTo(x1, y1);
    canvas->lineTo(x2, y2);
}

void PageView::TilePageBackground(Image& tile) {
    TileCanvas(Image2->canvas(), tile, Image2->width(), Image2->height());
}

void PageView::DrawPageLogo(Canvas& canvas, int top, double pictureScale) {
    const QImage& glyph = BT1->glyphBitmap();
    const int w = glyph.width();
    const int h = glyph.height();
    const double left = kLogoLeft * PageScale;
    const double y = top * PageScale;
    canvas.copyRect(cornerRect(roundInt(left), roundInt(y), roundInt(w * pictureScale + left),
                               roundInt(h * pictureScale + y)),
                    glyph, cornerRect(1, 1, w, h));
}

void PageView::DrawPageHead(Canvas* logoCanvas, double pictureScale, const std::string& title,
                            const std::string& pageNumber) {
    const double S = PageScale;
    if (logoCanvas) DrawPageLogo(*logoCanvas, kLogoTop, pictureScale);
    DrawPageText(kHeadTextLeft, kHeadTextTop, kFontSize, kHeadTextWidth, 0, 0, "宋体", title);
    DrawPageText(0, kHeadTextTop, kFontSize, kHeadTextWidth, 2, 0, "宋体", pageNumber);
    DrawPageLine(roundInt(kRuleLeft * S), roundInt(kHeadRule * S), roundInt(kRuleRight * S), roundInt(kHeadRule * S));
}

void PageView::DrawPageFoot(int footRow, int textTop) {
    const double S = PageScale;
    DrawPageLine(roundInt(kRuleLeft * S), footRow, roundInt(kRuleRight * S), footRow);
    DrawPageText(0, textTop, kFontSize, kTextWidth, 1, 0, "宋体", pages::FootText());
}

std::vector<unsigned char> PageView::fetchReportPicture(const std::string& line, long long badId) {
    const long long id = pages::pictureId(line, badId);
    return datam.ReadPicture("select zd1,zd12,zd15 from b1 where zd1="_gbk + gbk::num(id),
                             pages::isQuestionPicture(line) ? "zd12" : "zd15");
}

void PageView::DrawCurrentPage() {
    if (pageDrawing_) {
        // Asked again while the page is being built (a page turn while the
        // pictures load): draw the page then in force once this one is done.
        // Pages being printed are never drawn twice.
        if (!printing_) pageRedrawPending_ = true;
        return;
    }
    ScopedFlag drawing(pageDrawing_);
    do {
        pageRedrawPending_ = false;
        drawPageOnce();
    } while (pageRedrawPending_);
}

void PageView::prepareScreenPage() {
    PageScale = kScreenScale;
    PictureScale = 1.0;
    SBOX1->setVertPosition(0);
    SBOX1->horizontalScrollBar()->setValue(0);
    SpB1->tag = 3;
    SpB2->tag = 3;
    NewPageImage(roundInt(kScreenPageHeight * PageScale), true);
}

Canvas& PageView::NewPageImage(int height, bool letEventsRun) {
    Image2->setAutoSize(false);
    Image2->setGeometry(1, 0, 800, height);
    Image2->clearPicture();
    if (letEventsRun) {
        processMessages();
        processMessages();
    }
    Canvas& canvas = Image2->canvas();
    canvas.copyMode = CopyMode::SrcAnd;
    canvas.brushStyle = BrushStyle::Solid;
    TilePageBackground(*Imicon1);
    Imageft->setAutoSize(true);
    canvas.penWidth = 1;
    canvas.brushStyle = BrushStyle::Clear;
    return canvas;
}

void PageView::drawReportText(const std::string& line, int g) {
    pages::sheets::drawReportText(PageCanvas(), PageScale, line, g);
}

void PageView::drawPageOnce() {
    if (DrawingToPrinter()) {
        if (!printerCanvas_) return;  // the dialog is open but no job is
        PageScale = printerDpi_ / 300.0;
        PictureScale = PageScale / kScreenScale;
    } else {
        prepareScreenPage();
    }
    const double S = PageScale;
    std::size_t i = static_cast<std::size_t>(pages::firstLineOfPage(PageTable(), CurrentPage));

    DrawPageHead(PageCanvas(), PictureScale, ldw0->caption(),
                 "第"_gbk + gbk::num(CurrentPage) + "页,共"_gbk + gbk::num(PageCount()) + "页"_gbk);

    const int footRow = roundInt(kFootRule * S);
    int g = kBodyTop;
    while (i < m_pd->lineCount()) {
        const std::string line = m_pd->line(i);
        if (const int h = pages::figureHeight(line)) {  // a chart: placed as a picture of its height
            if (g > kBodyTop && roundInt(g * S + h * PictureScale) >= footRow) break;
            pages::drawFigure(PageCanvas(), line, g, S);
            g += roundInt(h * PictureScale / S) + kPictureGap;
            ++i;
            continue;
        }
        if (!pages::isPictureLine(line)) {
            if (g > kLastTextLine) break;
            drawReportText(line, g);
            if (g > kBodyTop || !line.empty()) g += kLinePitch;
            ++i;
            continue;
        }
        Imageft->clearPicture();
        Imageft->setPicture(pages::decodePicture(fetchReportPicture(line, 1), pages::pictureId(line, 1)));
        const int w = Imageft->width();
        const int h = Imageft->height();
        const double top = g * S;
        const double left = kReportPictureLeft * S;
        double width = w * PictureScale;
        double height = h * PictureScale;
        if (roundInt(top + height) >= footRow) {
            if (g > kBodyTop) break;  // the picture starts the next page
            // Taller than any page body: alone on its page, scaled down to
            // end just above the foot rule.
            const double shrink = (footRow - 1 - roundInt(top)) / height;
            width *= shrink;
            height *= shrink;
            g = kFootRule;
        } else {
            g += roundInt(h * PictureScale / S) + kPictureGap;
        }
        if (Canvas* canvas = PageCanvas()) {
            canvas->copyMode = CopyMode::SrcAnd;
            canvas->copyRect(cornerRect(roundInt(left), roundInt(top), roundInt(left + width), roundInt(top + height)),
                             Imageft->picture(), cornerRect(1, 1, w, h));
        }
        ++i;
        processMessages();
        processMessages();
    }

    DrawPageFoot(footRow, kFootTextTop);
    processMessages();
}
