#include "page_parts.h"

#include "application.h"
#include "make_control.h"

#include <QEvent>

using namespace ui;

namespace pages {

void PageParts::createViewer(QWidget* workArea) {
    SBOX1 = make<ScrollBox>(workArea, "SBOX1", 154, 38, 791, 524);
    SBOX1->setColor(Qt::white);
    SBOX1->setCursor(Qt::SizeAllCursor);
    SBOX1->hide();
    Image2 = make<Image>(SBOX1->client(), "Image2", 120, 56, 137, 145);
    Image2->setHint("双击返回"_gbk);
    Image2->setShowHint(true);
    Image2->setCursor(Qt::SizeAllCursor);

    PYL = make<Panel>(workArea, "PYL", 185, 39, 720, 28);
    PYL->setFont(makeFont("宋体", 12));
    PYL->setColor(Qt::white);
    PYL->hide();
    Imag3 = make<Image>(PYL, "Imag3", 577, 1, 71, 26);
    Imag2 = makeBackdrop(PYL, "Imag2", 76, 1, 77, 26);
    Imag1 = makeBackdrop(PYL, "Imag1", 2, 1, 77, 26);
    const FontSpec small = makeFont("宋体", 12);
    SpB1 = makeButton(PYL, "SpB1", 4, 3, 73, 23, "上一页", small);
    SpB2 = makeButton(PYL, "SpB2", 78, 3, 73, 23, "下一页", small);
    spb3 = makeButton(PYL, "spb3", 579, 3, 68, 23, "打印", small);
    spb3->setHint("打印"_gbk);
    spb3->setShowHint(true);
    ImagPdf = makeBackdrop(PYL, "ImagPdf", 488, 1, 84, 26);
    spbPdf = makeButton(PYL, "spbPdf", 490, 3, 80, 23, "保存PDF", small);
    spbPdf->setHint("把全部页面保存为PDF文件"_gbk);
    spbPdf->setShowHint(true);
    Image18 = makeBackdrop(PYL, "Image18", 647, 1, 72, 26);
    SpeedButton9 = makeButton(PYL, "SpeedButton9", 649, 4, 68, 22, "返回", makeFont("宋体", 13));
    SpeedButton9->setHandCursor();
    cyl = make<ComboBox>(PYL, "cyl", 294, 2, 95, 24);
    cyl->setFont(makeFont("宋体", 16, Qt::black, true));
    cyl->color = kSkyBlue;
    cyl->setHandCursor();
}

namespace {

// Keeps a button and its backdrop 110 pixels left of a neighbour, of its
// size and visibility.
class Follower : public QObject {
public:
    Follower(QWidget* neighbour, QWidget* button, QWidget* backdrop)
        : QObject(button), neighbour_(neighbour), button_(button), backdrop_(backdrop) {
        neighbour->installEventFilter(this);
        follow();
    }
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
            follow();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void follow() {
        button_->setGeometry(neighbour_->x() - 110, neighbour_->y(), neighbour_->width(), neighbour_->height());
        backdrop_->move(button_->x() - 2, button_->y() - 2);
        const bool shown = !neighbour_->isHidden();
        button_->setVisible(shown);
        backdrop_->setVisible(shown);
    }
    QWidget* neighbour_;
    QWidget* button_;
    QWidget* backdrop_;
};

}  // namespace

void PageParts::createProgressButton(Panel* topBar, SpeedButton* neighbour, Image* neighbourBackdrop) {
    ImageJL = makeBackdrop(topBar, "ImageJL", 0, 0, neighbourBackdrop->width(), neighbourBackdrop->height());
    ImageJL->setPicture(neighbourBackdrop->picture());
    SpeedButtonJL = makeButton(topBar, "SpeedButtonJL", 0, 0, neighbour->width(), neighbour->height(), "学习记录",
                               neighbour->font());
    SpeedButtonJL->setHandCursor();
    SpeedButtonJL->setHint("每天的练习、得分和常错的题"_gbk);
    SpeedButtonJL->setShowHint(true);
    new Follower(neighbour, SpeedButtonJL, ImageJL);
}

void PageParts::createPrintDialog(QWidget* centrePanel, const QColor& titleColor) {
    pdydlg = make<Panel>(centrePanel, "pdydlg", 296, 64, 453, 317);
    pdydlg->setFont(makeFont("宋体", 16));
    pdydlg->hide();
    const FontSpec f16 = makeFont("宋体", 16);
    Image67 = makeBackdrop(pdydlg, "Image67", 296, 242, 103, 31);
    Image68 = makeBackdrop(pdydlg, "Image68", 105, 242, 99, 32);
    LabelJSQ = makeLabel(pdydlg, "LabelJSQ", 176, 72, 144, 16, "所要打印内容共10页", f16);
    Label27 = makeLabel(pdydlg, "Label27", 168, 144, 16, 16, "从", f16);
    Label30 = makeLabel(pdydlg, "Label30", 240, 144, 32, 16, "页到", f16);
    Label36 = makeLabel(pdydlg, "Label36", 328, 144, 16, 16, "页", f16);
    Button_DYXZQR = makeButton(pdydlg, "Button_DYXZQR", 107, 244, 97, 29, "开始打印", makeFont("宋体", 13));
    Button_DYXZQR->setHint("打印"_gbk);
    Button_DYXZQR->setShowHint(true);
    SpeedButton77 = makeButton(pdydlg, "SpeedButton77", 298, 244, 100, 28, "放弃打印", makeFont("宋体", 13));
    SpeedButton77->setHandCursor();
    Bevel3 = make<Bevel>(pdydlg, "Bevel3", 88, 127, 329, 52);
    Panel14 = make<Panel>(pdydlg, "Panel14", 1, 1, 451, 32);
    Panel14->setBevels(BevelCut::Raised, BevelCut::Lowered);
    Panel14->setFont(makeFont("宋体", 12, Qt::white));
    Panel14->setColor(titleColor);
    Panel14->setCaption("打印选择对话框"_gbk);
    Panel14->setAlign(Align::Top);
    for (const char* n : {"SpE1", "SpE2"}) {
        auto* s = make<SpinEdit>(pdydlg, n, std::string_view(n) == "SpE1" ? 192 : 280, 141, 41, 22);
        s->setFont(makeFont("宋体", 13));
        s->setMinValue(1);
        s->setMaxValue(1);
        s->setValue(1);
        s->setMaxLength(1);
        (std::string_view(n) == "SpE1" ? SpE1 : SpE2) = s;
    }
}

void PageParts::SBOX1MouseWheel(ScrollBox& sender, int wheelDelta) {
    const bool turnsPages = PYL->visible() && SpB1->visible();
    if (wheelDelta < 0) {
        sender.lineDown();
        // Past 400 pixels, the fourth notch turns to the next page.
        if (turnsPages && SBOX1->vertPosition() > 400) {
            if (SpB2->tag > 0)
                SpB2->tag -= 1;
            else
                SpB2->click();
        }
        processMessages();
    } else {
        sender.lineUp();
        // At the top, the fourth notch turns to the previous page.
        if (turnsPages && SBOX1->vertPosition() == 0) {
            if (SpB1->tag > 0)
                SpB1->tag -= 1;
            else
                SpB1->click();
        }
    }
}

}  // namespace pages
