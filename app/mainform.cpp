#include "mainform.h"

#include "artwork.h"
#include "datam.h"
#include "gbk.h"
#include "jpeg.h"
#include "make_control.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

using namespace ui;

namespace {

QImage picture(std::string_view name) {
    std::span<const unsigned char> bytes = artwork(name);
    if (bytes.empty()) return {};
    if (name.ends_with(".jpg")) return jpeg::decode(bytes.data(), bytes.size());
    return QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
}

}  // namespace

TmainForm::TmainForm(data::Tdatam& dm) : Shell(dm), PageView(dm), QWidget(nullptr), Session(dm), Learning(dm), client_(new Container(this)) {
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("欢迎使用奥数! 请登录..."));
    // A client area of 1022 x 697 inside the border.
    resize(1022 + 2 * kBorderWidth, 697 + 2 * kBorderWidth);
    placeClientArea();
    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
    QWidget::setFont(toQFont(makeFont("宋体", 13)));
    createComponents();
    loadArtwork();
    bindEvents();
    FormCreate();
}

TmainForm::~TmainForm() = default;

int TmainForm::screenWidth() const { return width(); }

int TmainForm::screenHeight() const { return height(); }

void TmainForm::createComponents() {
    createTopArea();
    createWorkArea();
    createViewer(Panel_ZY);
    createCentrePanel();
    createPrintDialog(Panel_cy, palette().color(QPalette::Highlight));
    Timer2.setInterval(1000);
    Timer2.setEnabled(false);
}

void TmainForm::createTopArea() {
    Image1 = make<Image>(client_, "Image1", 0, 0, 1022, 120);
    Image1->stretch = true;
    Image1->maxWidening = 2;  // the sun stays round on a very wide screen
    Image1->setAlign(Align::Top);
    Image3 = make<Image>(client_, "Image3", 0, 684, 1022, 13);
    Image3->stretch = true;
    Image3->setAlign(Align::Bottom);
    Image8 = makeBackdrop(client_, "Image8", 48, 324, 22, 23);
    BEND = makeButton(client_, "BEND", 50, 326, 19, 19, "×", makeFont("@GungsuhChe", 19, kBlue, true));
    BEND->setHandCursor();
    const FontSpec title = makeFont("黑体", 21, Qt::black, true, true);
    ldw1 = makeLabel(client_, "ldw1", 367, 96, 244, 21, "Quorvel--Tarvix", title);
    FontSpec green = title;
    green.color = QColor(0x00, 0xFF, 0x00);
    ldw0 = makeLabel(client_, "ldw0", kTitleLeft, 94, 244, 21, "Quorvel--Tarvix", green);
    Imageft = make<Image>(client_, "Imageft", 0, 120, 49, 49);
    Imageft->setAutoSize(true);
    // A scratch picture under the work area: it takes each picture's size
    // and would show through below the work area (a tall one), so it stays
    // hidden; its picture is read, never drawn on screen.
    Imageft->hide();
}

void TmainForm::createWorkArea() {
    Panel_ZY = make<Panel>(client_, "Panel_ZY", 8, 136, 1022, 564);
    Panel_ZY->setBevels(BevelCut::Raised, BevelCut::Lowered);
    Imicon1 = make<Image>(Panel_ZY, "Imicon1", 119, 40, 112, 106);
    Imicon1->setAutoSize(true);
    Imicon1->hide();
    Imicon0 = make<Image>(Panel_ZY, "Imicon0", 7, 40, 112, 106);
    Imicon0->setAutoSize(true);
    Imicon0->hide();
    Imagefm0 = make<Image>(Panel_ZY, "Imagefm0", 8, 40, 105, 105);

    Panel5 = make<Panel>(Panel_ZY, "Panel5", 2, 2, 1018, 36);
    Panel5->setBevels(BevelCut::Lowered, BevelCut::Raised);
    Panel5->setAlign(Align::Top);
    Lpy = makeLabel(Panel5, "Lpy", 16, 12, 128, 16, "给出一些常见信息", makeFont("黑体", 16, QColor(0x00, 0x80, 0x00)));
    const FontSpec bar = makeFont("宋体", 16, Qt::black, true);
    Image9 = makeBackdrop(Panel5, "Image9", 896, 2, 107, 31);
    BJS = makeButton(Panel5, "BJS", 898, 4, 104, 28, "我检查完了", bar);
    Image69 = makeBackdrop(Panel5, "Image69", 786, 2, 108, 31);
    SpeedButton69 = makeButton(Panel5, "SpeedButton69", 788, 4, 104, 28, "打印作业", bar);
    Image6 = makeBackdrop(Panel5, "Image6", 674, 2, 108, 31);
    SpeedButton6 = makeButton(Panel5, "SpeedButton6", 676, 4, 104, 28, "每日一帖", bar);
    for (SpeedButton* b : {BJS, SpeedButton69, SpeedButton6}) b->setHandCursor();
    SpeedButton1 = makeButton(Panel5, "SpeedButton1", 248, 6, 75, 26, "", makeFont("宋体", 13));
    SpeedButton1->hide();
    createCountdown(Panel5);
    createCardArea(Panel_ZY);
    m_pd = make<Memo>(scb1->client(), "m_pd", -55, 74, 224, 135);
    m_pd->font = makeFont("Arial", 19);
    m_pd->hide();
}

void TmainForm::createCentrePanel() {
    Panel_cy = make<Panel>(client_, "Panel_cy", 264, 288, 469, 333);
    Panel_cy->setBevels(BevelCut::Raised, BevelCut::Lowered, 2, 4);
    Panel_END = make<Panel>(Panel_cy, "Panel_END", 8, 8, 453, 317);
    Panel_END->setAlign(Align::Client);
    Image11 = make<Image>(Panel_END, "Image11", 1, 1, 451, 315);
    Image11->stretch = true;
    Image11->setAlign(Align::Client);
    const FontSpec button = makeFont("黑体", 16, kBlue);
    Image4 = makeBackdrop(Panel_END, "Image4", 163, 263, 114, 32);
    BT2 = makeButton(Panel_END, "BT2", 164, 265, 112, 29, "我放弃", button);
    Image5 = makeBackdrop(Panel_END, "Image5", 35, 263, 115, 32);
    BT1 = makeButton(Panel_END, "BT1", 37, 265, 112, 29, "点击进入", button);
    BT1->setHandCursor();
    BT2->setHandCursor();

    Pts = make<Panel>(Panel_cy, "Pts", 29, 184, 268, 78);
    Pts->setBevels(BevelCut::Raised, BevelCut::Lowered);
    Pts->setFont(makeFont("宋体", 15, kRed, true));
    createSelectors(Pts, Pts->font());
}

void TmainForm::loadArtwork() {
    Image1->setPicture(picture("banner.jpg"));
    Image3->setPicture(picture("strip.jpg"));
    const QImage small = picture("button-small.jpg");
    for (Image* i : {Image8, Image9, Image69, Image6, Image18, Image67}) i->setPicture(small);
    const QImage wide = picture("button-wide.jpg");
    for (Image* i : {Image5, Image4, im1}) i->setPicture(wide);
    const QImage bar = picture("bar.jpg");
    for (Image* i : {Imag1, Imag2, Imag3, Image68}) i->setPicture(bar);
    Image68->stretch = true;
    Image11->setPicture(picture("panel.jpg"));
    Imicon0->setPicture(picture("tile-a.bmp"));
    Imicon1->setPicture(picture("tile-b.bmp"));
    BT1->setGlyph(picture("glyph-bt1.bmp"));
    BT2->setGlyph(picture("glyph-bt2.bmp"));
    SpeedButton1->setGlyph(picture("glyph-analysis.bmp"));
    SpB1->setGlyph(picture("glyph-prev.bmp"), 2);
    SpB2->setGlyph(picture("glyph-next.bmp"), 2);
    spb3->setGlyph(picture("glyph-print.bmp"), 2);
    SpeedButton9->setGlyph(picture("glyph-back.bmp"), 2);
    sp1->setGlyph(picture("glyph-learn.bmp"), 2);
    Button_DYXZQR->setGlyph(picture("glyph-printstart.bmp"), 2);
    SpeedButton77->setGlyph(picture("glyph-printcancel.bmp"), 2);
}

void TmainForm::bindEvents() {
    Timer2.onTimer = [this] { Timer2Timer(); };
    BEND->onClick = [this] { BENDClick(); };
    BJS->onClick = [this] { BJSClick(); };
    BT1->onClick = [this] { BT1Click(); };
    BT2->onClick = [this] { BT2Click(); };
    c1->onChange = [this] { c1Change(); };
    c2->onChange = [this] { c2Change(); };
    scb1->onMouseWheel = [this](int delta) {
        SBOX1MouseWheel(*scb1, delta);
        return true;
    };
    // "学习记录" beside "每日一帖", made after the artwork: it copies the
    // neighbour's.
    createProgressButton(Panel5, SpeedButton6, Image6);
    bindPageEvents();
    bindLearningEvents();
}

void TmainForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TmainForm::closeEvent(QCloseEvent* e) { FormClose(e); }

void TmainForm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    placeClientArea();
    if (laidOut_) layOutToWindow();
}

void TmainForm::placeClientArea() {
    // The client area re-docks its aligned children when it is resized.
    client_->setGeometry(rect().adjusted(kBorderWidth, kBorderWidth, -kBorderWidth, -kBorderWidth));
}

void TmainForm::paintEvent(QPaintEvent*) {
    // The border and whatever the client area's children leave uncovered.
    QPainter p(this);
    p.fillRect(rect(), kSkyBlue);
}
