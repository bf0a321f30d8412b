// The page viewer: the bar over the page (previous, next, page list, print,
// back), the mouse wheel with its page-turn countdown, the ways back, and
// the hidden exit gesture on the banner.
#include "application.h"
#include "gbk.h"
#include "page_view.h"

using namespace ui;
using pages::PageView;

void PageView::bindPageEvents() {
    SpB1->onClick = [this] { SpB1Click(); };
    SpB2->onClick = [this] { SpB2Click(); };
    cyl->onChange = [this] { cylChange(); };
    spb3->onClick = [this] { spb3Click(); };
    SpeedButton9->onClick = [this] { SpeedButton9Click(); };
    Image2->onDblClick = [this] { Image2DblClick(); };
    Image2->onMouseMove = [this](int, int) { scrollClick(); };
    Image2->setMouseTracking(true);
    SBOX1->onMouseWheel = [this](int delta) {
        SBOX1MouseWheel(*SBOX1, delta);
        return true;
    };
    Image1->onDblClick = [this] { Image1DblClick(); };
    Image1->onMouseMove = [this](int x, int y) { Image1MouseMove(x, y); };
    Image1->setMouseTracking(true);
    SpeedButton69->onClick = [this] { SpeedButton69Click(); };
    Button_DYXZQR->onClick = [this] { Button_DYXZQRClick(); };
    SpeedButton77->onClick = [this] { SpeedButton77Click(); };
    SpeedButtonJL->onClick = [this] { ShowProgressPage(); };
    spbPdf->onClick = [this] { SaveAsPdfClick(); };
    ImagPdf->setPicture(Imag3->picture());
    onKeyPress(SBOX1, [this](int key) { return PageKey(key); });
    onKeyPress(PYL, [this](int key) { return PageKey(key); });
    onKeyPress(pdydlg, [this](int key) {
        if (key != Qt::Key_Escape) return false;
        SpeedButton77Click();  // "放弃打印"
        return true;
    });
}

bool PageView::PageKey(int key) {
    const bool turnsPages = PYL->visible() && SpB1->visible();
    const int position = SBOX1->vertPosition();
    switch (key) {
    case Qt::Key_Escape:
        SpeedButton9Click();
        return true;
    case Qt::Key_PageDown:
        if (turnsPages && position >= SBOX1->maxVertPosition())
            SpB2->click();
        else
            SBOX1->setVertPosition(position + SBOX1->pageStep());
        return true;
    case Qt::Key_PageUp:
        if (turnsPages && position == 0)
            SpB1->click();
        else
            SBOX1->setVertPosition(position - SBOX1->pageStep());
        return true;
    case Qt::Key_Home:
        SBOX1->setVertPosition(0);
        return true;
    case Qt::Key_End:
        SBOX1->setVertPosition(SBOX1->maxVertPosition());
        return true;
    default:
        return false;
    }
}

void PageView::OpenPageViewer() {
    SBOX1->setBounds((CardPages()->width() - 820) / 2, CardPages()->top(), 820, CardPages()->height());
    PYL->move(SBOX1->left() + 50, SBOX1->top() + 1);
    for (QWidget* w : std::initializer_list<QWidget*>{SpB1, SpB2, spb3, cyl, Imag1, Imag2, Imag3}) w->show();
}

void PageView::ShowLastHomework() {
    OpenPageViewer();
    processMessages();
    processMessages();
    setRememberedCaption(BJS->caption());
    BJS->setCaption("返  回"_gbk);
    BuildHomeworkReport();
    Panel_cy->hide();
    SBOX1->setFocus();
}

void PageView::SpB2Click() {
    if (PageCount() <= CurrentPage) return;
    SpB1->setEnabled(true);
    ++CurrentPage;
    cyl->setItemIndex(CurrentPage - 1);
    if (PageCount() == CurrentPage) SpB2->setEnabled(false);
    DrawCurrentPage();
}

void PageView::SpB1Click() {
    if (CurrentPage <= 1) return;
    SpB2->setEnabled(true);
    --CurrentPage;
    cyl->setItemIndex(CurrentPage - 1);
    if (CurrentPage == 1) SpB1->setEnabled(false);
    DrawCurrentPage();
}

void PageView::cylChange() {
    const int k = cyl->itemIndex();
    if (k < 0) return;
    if (k == 0) {
        SpB2->setEnabled(true);
        SpB1->setEnabled(false);
    } else if (k == PageCount() - 1) {
        SpB1->setEnabled(true);
        SpB2->setEnabled(false);
    } else {
        SpB1->setEnabled(true);
        SpB2->setEnabled(true);
    }
    CurrentPage = k + 1;
    DrawCurrentPage();
}

void PageView::Image2DblClick() {
    if (ComposingPage()) return;  // the page being composed shows first
    if (gbk::pos("退出"_gbk, BJS->caption())) {
        CloseProgram();
        return;
    }
    LeavePageView();
    if (CardPages()->visible()) CardPages()->setEnabled(true);
}

void PageView::LeavePageView() {
    SBOX1->hide();
    Image2->clearPicture();  // a content page's bitmap is 31 MB
    CurrentPage = 0;
    SBOX1->tag = 0;
    PYL->hide();
    BJS->setCaption(RememberedCaption());
    if (!CardPages()->visible()) {
        SpeedButton69->setCaption("知识学习"_gbk);
        Panel_cy->show();
    }
}

void PageView::Image1MouseMove(int x, int y) {
    if (x > 5 && y > 5) Image1->tag = 0;
}

void PageView::Image1DblClick() {
    if (Image1->tag == 3) {
        CloseProgram();
        return;
    }
    Image1->tag += 1;
}
