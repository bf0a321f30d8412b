// Question cards: the drawn question with its picture, the answer row under
// it, and the click on an option marker.
#include "card_bounds.h"
#include "datam.h"
#include "gbk.h"
#include "jpeg.h"
#include "session.h"

#include <climits>

using namespace ui;
using homework::Session;

namespace {

const char* const kNoOptions = "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,";
const int kLineHeight = 20;  // the card's font height
const int kAnswerPanelHeight = 36;

std::string slotNumber(int n) { return (n < 10 ? " " : "") + gbk::num(n) + "、"_gbk; }

// Position (1-based) of the letter's marker in the line: "X) ", else "X）",
// else "X)"; 0 when the line has none.
std::size_t markerPosition(const std::string& line, char letter) {
    const std::string x(1, letter);
    for (const std::string& marker : {x + ") ", x + "）"_gbk, x + ")"})
        if (std::size_t p = gbk::pos(marker, line)) return p;
    return 0;
}

std::string positionPair(std::size_t p, int y) {
    return gbk::num(static_cast<long long>(p) * kLineHeight / 2) + "," + gbk::num(y) + ",";
}

bool isPictureLine(const std::string& line) { return gbk::trim(line) == "<picture>"; }

// Up to eight numbers from the front of the option positions; a missing one
// can never be passed.
std::array<int, 8> readPositions(std::string text) {
    std::array<int, 8> v;
    v.fill(INT_MAX);
    for (int i = 0; i < 8 && !text.empty(); ++i) {
        const std::size_t comma = text.find(',');
        const std::string number = text.substr(0, comma);
        try {
            std::size_t used = 0;
            v[i] = std::stoi(number, &used);
            if (used != number.size()) v[i] = 0;
        } catch (const std::exception&) {
            v[i] = 0;
        }
        text = comma == std::string::npos ? std::string() : text.substr(comma + 1);
    }
    return v;
}

}  // namespace

void Session::BuildAnswerSelector(int index, const std::string& analysisText) {
    auto* panel = new Panel(scb1->client());
    panel->setColor(kSkyBlue);
    panel->setFont({"黑体", 19});
    panel->setGeometry(Bexz->x() + 1, 0, 786, kAnswerPanelHeight);
    panel->setHandCursor();
    panel->setBevels(BevelCut::None, BevelCut::None, 1, 0);
    panel->setCaption("请选择->"_gbk + std::string(63, ' '));
    panel->onMouseMove = [this](int, int) { FocusRule(); };
    panel->setMouseTracking(true);

    auto* group = new RadioGroup(panel);
    group->setHandCursor();
    group->setFont({"Arial", 19});
    group->setGeometry(137, -10, 300, 45);
    group->tag = index + 1;
    group->setColumns(4);
    group->setItems({"A", "B", "C", "D"});
    group->setItemIndex(-1);
    group->onClick = [this] { FocusRule(); };

    auto* analysis = new SpeedButton(panel);
    analysis->setHandCursor();
    analysis->setGlyph(SpeedButton1->glyph());
    analysis->setGeometry(600, 5, 75, 26);
    analysis->tag = analysisText.empty() ? 0 : index + 1;
    analysis->onClick = [this, analysis] { OpenQuestionAnalysis(*analysis); };
    analysis->hide();

    panel->show();
    const std::size_t at = static_cast<std::size_t>(index);
    hw.AnswerPanels[at] = panel;
    hw.AnswerGroups[at] = group;
    hw.AnalysisButtons[at] = analysis;
}

void Session::RenderQuestionCard(int n, int pictureFlag, const std::string& gbkText) {
    const bool withPicture = pictureFlag == 1;
    if (withPicture) {
        const std::vector<unsigned char> bytes =
            datam.ReadPicture("select zd1,zd11,zd12 from b1 where zd1="_gbk + gbk::num(hw.QuestionIds(n)), "zd12");
        Imageft->setPicture(ui::withLead("第" + std::to_string(n) + "题的图片已损坏，无法显示。",
                                         [&] { return cards::boundedPicture(bytes); }));
    }
    const int W = Imageft->width();
    const int H = Imageft->height();
    m_pd->setText(cards::boundedText(gbkText));
    const int L = static_cast<int>(m_pd->lineCount());

    auto* card = new Image(scb1->client());
    hw.CardImages[static_cast<std::size_t>(n - 1)] = card;
    card->tag = n;
    scb1->setVertPosition(0);
    card->setGeometry(Bexz->x() + 1, CardCursor(), 786,
                      L * (kLineHeight + 10) + (withPicture ? H : 0) + 100);
    card->onMouseMove = [this](int, int) { FocusRule(); };
    card->setMouseTracking(true);
    card->onMouseUp = [this, card](int x, int y) { CardMouseUp(*card, x, y); };
    card->setHandCursor();
    card->clearPicture();
    card->maxPixels = cards::kMaxCardPixels;

    Canvas& canvas = card->canvas();
    TileCanvas(canvas, *Imicon1, card->width(), card->height());
    canvas.font = {"宋体", kLineHeight};
    canvas.brushStyle = BrushStyle::Clear;
    card->show();
    canvas.textOut(10, 10, slotNumber(n));

    std::string positions = kNoOptions;
    int cardHeight = 0;
    canvas.copyMode = CopyMode::SrcAnd;
    if (L == 0) {
        // Nothing but the picture (or, without one, just the number).
        if (withPicture) canvas.copyRect(cornerRect(60, 10, 60 + W, 10 + H), Imageft->picture(), cornerRect(1, 1, W, H));
        cardHeight = withPicture ? H + 10 : 40;
    } else {
        int y = 10;
        for (int i = 0; i < L; ++i) {
            const std::string line = m_pd->line(static_cast<std::size_t>(i));
            if (withPicture && isPictureLine(line)) {
                canvas.copyRect(cornerRect(60, y + 10, 60 + W, y + 10 + H), Imageft->picture(), cornerRect(1, 1, W, H));
                y += H;
            } else {
                canvas.textOut(60, y, line);
            }
            if (positions == kNoOptions) {
                if (std::size_t p = markerPosition(line, 'A')) positions = positionPair(p, y);
            }
            for (char letter : {'B', 'C', 'D'})
                if (std::size_t p = markerPosition(line, letter)) positions += positionPair(p, y);
            y += kLineHeight + 10;
        }
        cardHeight = y + 10;
    }
    canvas.copyMode = CopyMode::SrcCopy;
    card->setHint(positions);
    card->resize(card->width(), cardHeight);

    hw.AnswerPanels[static_cast<std::size_t>(n - 1)]->move(Bexz->x() + 1, CardCursor() + cardHeight);
    setCardCursor(CardCursor() + cardHeight + kAnswerPanelHeight + 2);
    Imageft->clearPicture();
}

void Session::CardMouseUp(Image& card, int x, int y) {
    const int slot = card.tag;
    if (slot < 1 || slot > static_cast<int>(hw.AnswerGroups.size())) return;
    RadioGroup* group = hw.AnswerGroups[static_cast<std::size_t>(slot - 1)];
    if (!group || !group->visible() || card.hint() == kNoOptions) return;
    const std::array<int, 8> v = readPositions(card.hint());
    // D first: a click beyond several thresholds takes the latest option.
    for (int option = 3; option >= 0; --option) {
        const int ox = v[static_cast<std::size_t>(option * 2)];
        const int oy = v[static_cast<std::size_t>(option * 2 + 1)];
        if (y > oy && x > ox) {
            group->setItemIndex(option);
            return;
        }
    }
}

void Session::FocusRule() {
    if (SBOX1->canFocus())
        SBOX1->setFocus();
    else if (scb1->canFocus())
        scb1->setFocus();
}

// The cards give way to the report: hidden, and their run-time controls
// destroyed, analysis buttons and radio groups before the panels that hold
// them.
void Session::PutAwayCards() {
    page1->hide();
    for (SpeedButton* b : hw.AnalysisButtons) delete b;
    hw.AnalysisButtons.clear();
    for (RadioGroup* g : hw.AnswerGroups) delete g;
    hw.AnswerGroups.clear();
    for (Panel* p : hw.AnswerPanels) delete p;
    hw.AnswerPanels.clear();
    for (Image* i : hw.CardImages) delete i;
    hw.CardImages.clear();
}
