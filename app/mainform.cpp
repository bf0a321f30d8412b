#include "mainform.h"

#include "artwork.h"
#include "datam.h"
#include "gbk.h"
#include "jpeg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

using namespace ui;

namespace {

FontSpec makeFont(const char* face, int height, QColor color = Qt::black, bool bold = false, bool italic = false) {
    FontSpec f;
    f.face = face;
    f.height = height;
    f.color = color;
    f.bold = bold;
    f.italic = italic;
    return f;
}

const QColor kBlue(0x00, 0x00, 0xFF);
const QColor kRed(0xFF, 0x00, 0x00);

template <class T>
T* make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    T* c = new T(parent);
    c->name = name;
    c->setGeometry(left, top, width, height);
    return c;
}

Label* makeLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                 const char* caption, const FontSpec& f) {
    auto* l = make<Label>(parent, name, left, top, width, height);
    l->setFont(f);
    l->setCaption(gbk::fromUtf8(caption));
    return l;
}

SpeedButton* makeButton(QWidget* parent, const char* name, int left, int top, int width, int height,
                        const char* caption, const FontSpec& f) {
    auto* b = make<SpeedButton>(parent, name, left, top, width, height);
    b->setFont(f);
    b->setCaption(gbk::fromUtf8(caption));
    return b;
}

Image* makeBackdrop(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* i = make<Image>(parent, name, left, top, width, height);
    i->stretch = true;
    return i;
}

QImage picture(std::string_view name) {
    std::span<const unsigned char> bytes = artwork(name);
    if (bytes.empty()) return {};
    if (name.ends_with(".jpg")) return jpeg::decode(bytes.data(), bytes.size());
    return QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
}

}  // namespace

TmainForm::TmainForm(data::Tdatam& dm) : QWidget(nullptr), datam(dm), client_(new Container(this)) {
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

int TmainForm::screenWidth() const {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 1024;
}

int TmainForm::screenHeight() const {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 768;
}

void TmainForm::createComponents() {
    createTopArea();
    createWorkArea();
    createViewer();
    createCentrePanel();
    createPrintDialog();
    Timer2.setInterval(1000);
    Timer2.setEnabled(false);
}

void TmainForm::createTopArea() {
    Image1 = make<Image>(client_, "Image1", 0, 0, 1022, 120);
    Image1->stretch = true;
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
    ldw0 = makeLabel(client_, "ldw0", 366, 94, 244, 21, "Quorvel--Tarvix", green);
    Imageft = make<Image>(client_, "Imageft", 0, 120, 49, 49);
    Imageft->setAutoSize(true);
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
    Panel8 = make<Panel>(Panel5, "Panel8", 433, 2, 225, 32);
    Panel8->setBevels(BevelCut::Lowered, BevelCut::Raised);
    Panel8->setFont(bar);
    Panel8->setColor(kMoneyGreen);
    Lkssj = makeLabel(Panel8, "Lkssj", 109, 6, 55, 21, "", makeFont("宋体", 21, kRed));
    Label37 = makeLabel(Panel8, "Label37", 19, 8, 70, 20, "倒计时:", makeFont("黑体", 20));

    page1 = make<PageControl>(Panel_ZY, "page1", 50, 134, 1018, 524);
    page1->setFont(makeFont("黑体", 19));
    page1->setHandCursor();
    TabSheet1 = new TabSheet;
    TabSheet1->name = "TabSheet1";
    TabSheet1->setCaption("选择题(40分)"_gbk);
    page1->addSheet(TabSheet1);
    TabSheet1->setHandCursor();
    scb1 = make<ScrollBox>(TabSheet1, "scb1", 0, 0, 1010, 490);
    scb1->setColor(kSkyBlue);
    scb1->setShowHorzScrollBar(false);
    scb1->setHandCursor();
    scb1->setAlign(Align::Client);
    Bexz = make<Bevel>(scb1->client(), "Bexz", 151, 1, 790, 488);
    m_pd = make<Memo>(scb1->client(), "m_pd", -55, 74, 224, 135);
    m_pd->font = makeFont("Arial", 19);
    m_pd->hide();
}

void TmainForm::createViewer() {
    SBOX1 = make<ScrollBox>(Panel_ZY, "SBOX1", 154, 38, 791, 524);
    SBOX1->setColor(Qt::white);
    SBOX1->setCursor(Qt::SizeAllCursor);
    SBOX1->hide();
    Image2 = make<Image>(SBOX1->client(), "Image2", 120, 56, 137, 145);
    Image2->setHint("双击返回"_gbk);
    Image2->setShowHint(true);
    Image2->setCursor(Qt::SizeAllCursor);

    PYL = make<Panel>(Panel_ZY, "PYL", 185, 39, 720, 28);
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
    Image18 = makeBackdrop(PYL, "Image18", 647, 1, 72, 26);
    SpeedButton9 = makeButton(PYL, "SpeedButton9", 649, 4, 68, 22, "返回", makeFont("宋体", 13));
    SpeedButton9->setHandCursor();
    cyl = make<ComboBox>(PYL, "cyl", 294, 2, 95, 24);
    cyl->setFont(makeFont("宋体", 16, Qt::black, true));
    cyl->color = kSkyBlue;
    cyl->setHandCursor();
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
    Label1 = makeLabel(Pts, "Label1", 16, 15, 80, 15, "请选择年级", Pts->font());
    im1 = makeBackdrop(Pts, "im1", 227, 42, 28, 25);
    sp1 = makeButton(Pts, "sp1", 229, 45, 26, 22, "", makeFont("宋体", 13, kBlue));
    sp1->setHint("单元学习"_gbk);
    sp1->setShowHint(true);
    sp1->setHandCursor();
    const FontSpec list = makeFont("宋体", 16);
    c1 = make<ComboBox>(Pts, "c1", 101, 10, 154, 24);
    c1->setFont(list);
    c1->setItemHeight(16);
    c1->setHandCursor();
    for (const char* grade : {"一年级", "二年级上", "二年级下", "三年级上", "三年级下", "四年级上", "四年级下", "五年级上",
                              "五年级下", "六年级上", "六年级下", "模拟考场"})
        c1->addItem(gbk::fromUtf8(grade));
    c2 = make<ComboBox>(Pts, "c2", 16, 43, 213, 24);
    c2->setFont(list);
    c2->setItemHeight(16);
    c2->setHandCursor();
}

void TmainForm::createPrintDialog() {
    pdydlg = make<Panel>(Panel_cy, "pdydlg", 296, 64, 453, 317);
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
    Panel14->setColor(palette().color(QPalette::Highlight));
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
