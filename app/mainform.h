// The main window "mainForm": every control of the window, created with its
// design-time name, position, font and colour, and the window's handlers.
//
// The handlers are members of this one class, as the controls they read and
// write are; each is defined in the folder of its subsystem: the shell
// (start-up, notice, exit) here in app/, grade and unit selection in
// learning/, the homework session in homework/.
#pragma once

#include "containers.h"
#include "controls.h"
#include "homework_state.h"
#include "inputs.h"

#include <QWidget>

#include <functional>

#include <string>
#include <vector>

class QDate;
class QPrinter;

namespace data {
class Tdatam;
}

// The date line of the top bar: "2026年12月06日 星期日" (GBK).
std::string DateLine(const QDate& d);

class TmainForm : public QWidget {
public:
    explicit TmainForm(data::Tdatam& datam);
    ~TmainForm() override;

    data::Tdatam& datam;

    // The window has a border of one pixel; the components' positions are
    // relative to the client area inside it, which is their parent.
    static constexpr int kBorderWidth = 1;
    QWidget* clientArea() const { return client_; }

    // ---- components, in declaration order (a later one lies above) ----
    ui::Image* Image1;
    ui::Image* Image3;
    ui::Image* Image8;
    ui::SpeedButton* BEND;
    ui::Label* ldw1;
    ui::Label* ldw0;
    ui::Image* Imageft;
    ui::Panel* Panel_ZY;
    ui::Image* Imicon1;
    ui::Image* Imicon0;
    ui::Image* Imagefm0;
    ui::Panel* Panel5;
    ui::Label* Lpy;
    ui::Image* Image9;
    ui::SpeedButton* BJS;
    ui::Image* Image69;
    ui::SpeedButton* SpeedButton69;
    ui::Image* Image6;
    ui::SpeedButton* SpeedButton6;
    ui::SpeedButton* SpeedButton1;
    ui::Panel* Panel8;
    ui::Label* Lkssj;
    ui::Label* Label37;
    ui::PageControl* page1;
    ui::TabSheet* TabSheet1;
    ui::ScrollBox* scb1;
    ui::Bevel* Bexz;
    ui::Memo* m_pd;
    ui::ScrollBox* SBOX1;
    ui::Image* Image2;
    ui::Panel* PYL;
    ui::Image* Imag3;
    ui::Image* Imag2;
    ui::Image* Imag1;
    ui::SpeedButton* SpB1;
    ui::SpeedButton* SpB2;
    ui::SpeedButton* spb3;
    ui::Image* Image18;
    ui::SpeedButton* SpeedButton9;
    ui::ComboBox* cyl;
    ui::Panel* Panel_cy;
    ui::Panel* Panel_END;
    ui::Image* Image11;
    ui::Image* Image4;
    ui::SpeedButton* BT2;
    ui::Image* Image5;
    ui::SpeedButton* BT1;
    ui::Panel* Pts;
    ui::Label* Label1;
    ui::Image* im1;
    ui::SpeedButton* sp1;
    ui::ComboBox* c1;
    ui::ComboBox* c2;
    ui::Panel* pdydlg;
    ui::Image* Image67;
    ui::Image* Image68;
    ui::Label* LabelJSQ;
    ui::Label* Label27;
    ui::Label* Label30;
    ui::Label* Label36;
    ui::SpeedButton* Button_DYXZQR;
    ui::SpeedButton* SpeedButton77;
    ui::Bevel* Bevel3;
    ui::Panel* Panel14;
    ui::SpinEdit* SpE1;
    ui::SpinEdit* SpE2;
    ui::Timer Timer2;

    // ---- window state ----
    int ClosePermission = 0;   // 0: close requests are refused; 2: the program closes itself
    bool StartupCompleted = false;
    HomeworkState hw;
    int CurrentPage = 0;       // report page shown, 0 while none
    // From "我做完了" or time up until the grading has finished.
    bool GradingInProgress = false;
    // Margin panels beside the cards, built with the first homework.
    ui::Panel* MarginLeft = nullptr;
    ui::Panel* MarginRight = nullptr;

    // Screen size the layout is computed from.
    int screenWidth() const;
    int screenHeight() const;

    // Time granted to the homework, kept as the tag of Panel8.
    int TimeGranted() const { return Panel8->tag; }
    void setTimeGranted(int s) { Panel8->tag = s; }
    // Caption of BJS kept while a page view shows "返  回", as Panel_cy's hint.
    const std::string& RememberedCaption() const { return Panel_cy->hint(); }
    void setRememberedCaption(std::string s) { Panel_cy->setHint(std::move(s)); }
    // Top of the next question card, as the tag of scb1.
    int CardCursor() const { return scb1->tag; }
    void setCardCursor(int y) { scb1->tag = y; }

    // ---- shell (app/) ----
    void FormCreate();
    void FormShow();
    void FormClose(QCloseEvent* e);
    void Timer2Timer();
    void CompleteStartup();
    // A statement of the start-up failed: "系统数据错!" and "确    认" only.
    void EndStartupWithDataError();
    void ShowNotice(const std::string& gbkText);
    void BENDClick();
    void ShowExitConfirmation();
    // "确    认" on the notice: ends the program after a data error.
    void ConfirmNotice();
    // Leaves with the per-question counter statement (confirmed exit, or
    // after a perfect homework).
    void ExitWithCounters();
    // ClosePermission := 2, then close: the program's own way out.
    void CloseProgram();
    void CentrePanelCy();
    // Sets BT1's caption and width; Image5 follows at width + 3.
    void setBT1(const std::string& gbkCaption, int width);
    void showBT2(bool show);
    void TileCanvas(ui::Canvas& canvas, ui::Image& tile, int width, int height);

    // ---- grade and unit selection (learning/) ----
    void c1Change();
    void c2Change();
    void UpdateUnitLearningButton();

    // ---- learning pages (learning/) ----
    // Which lines of a content page are pictures, where their JPEG data
    // comes from, and how they sit: `offset` page units below the line's
    // position, and `advance` units more than their height taken.
    struct PictureRule {
        std::function<bool(const std::string& line)> isPictureLine;
        std::function<std::vector<unsigned char>(const std::string& line)> pictureBytes;
        int offset;
        int advance;
    };
    void ComposeContentPage(const std::string& titleSuffix, const std::string& pageText, const PictureRule& rule,
                            bool swapCaption);
    void sp1Click();
    void SpeedButton6Click();
    void ShowQuestionAnalysis(ui::SpeedButton& sender);
    // While a content page is being composed (it lets events run), further
    // page requests and the ways back wait for it.
    bool ComposingPage() const { return composingPage_; }

    // ---- pages: canvas, report, viewer, printing (pages/) ----
    // Device pixels per page unit (1/300 inch) and per pixel of a stored
    // picture, for the target drawn on last.
    double PageScale = 800.0 / 2480;
    double PictureScale = 1.0;
    // The report's page count and page table, kept by the scroll box.
    int PageCount() const { return SBOX1->tag; }
    const std::string& PageTable() const { return SBOX1->hint(); }
    // Pages go to the printer while the print dialog is open.
    bool DrawingToPrinter() const;
    // The printer's page while a print job is open, else the page image;
    // nullptr while the dialog is open but no job is.
    ui::Canvas* PageCanvas();
    void DrawPageText(int x, int y, int size, int width, int align, int bold, const char* face,
                      const std::string& gbkText);
    void DrawPageLine(int x1, int y1, int x2, int y2);
    void TilePageBackground(ui::Image& tile);
    // BT1's glyph as the page logo, its top-left corner at (100, top) in page
    // units, each glyph pixel pictureScale device pixels wide.
    void DrawPageLogo(ui::Canvas& canvas, int top, double pictureScale);
    void DrawCurrentPage();
    // A fresh page image of 800 x height pixels (at the top of the page
    // box) under the watermark, ready for transparent text; events may run
    // once the old page is gone.
    ui::Canvas& NewPageImage(int height, bool letEventsRun);
    void BuildHomeworkReport();
    void PaginateReport();
    void ShowLastHomework();
    void OpenPageViewer();
    void SpB1Click();
    void SpB2Click();
    void cylChange();
    void SBOX1MouseWheel(ui::ScrollBox& sender, int wheelDelta);
    void Image2DblClick();
    void SpeedButton9Click() { Image2DblClick(); }
    void scrollClick() { FocusRule(); }
    void Image1DblClick();
    void Image1MouseMove(int x, int y);
    void SpeedButton69Click();
    void spb3Click() { OpenPrintDialog(); }
    void OpenPrintDialog();
    void Button_DYXZQRClick();
    void SpeedButton77Click();
    void SetA4Paper(QPrinter& printer);

    // ---- homework session (homework/) ----
    void BT1Click();
    void BT2Click();
    void BJSClick();
    void StartHomework();
    void ContinueHomework();
    void ShowAnswers();
    void FinishHomework();
    void ReturnFromPage();
    void CountdownTick();
    void ShowCountdown();
    void ExtractHomework();
    void BuildAnswerSelector(int index, const std::string& analysisText);
    void RenderQuestionCard(int n, int pictureFlag, const std::string& gbkText);
    void CardMouseUp(ui::Image& card, int x, int y);
    void FocusRule();
    void GradeHomework();
    void BuildMarginPanels();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void createComponents();
    void createTopArea();
    void createWorkArea();
    void createViewer();
    void createCentrePanel();
    void createPrintDialog();
    void loadArtwork();
    void bindEvents();
    void bindPageEvents();
    void drawPageOnce();
    void prepareScreenPage();
    // The JPEG data a report picture line names (id read as badId when it
    // is not a number).
    std::vector<unsigned char> fetchReportPicture(const std::string& line, long long badId);
    void drawReportText(const std::string& line, int g);
    void destroyCards();
    void printPage(QPrinter& printer);
    void placeClientArea();
    QWidget* client_;
    bool shown_ = false;
    // Page drawing lets events run; a screen redraw asked for meanwhile is
    // done once the page in progress is finished.
    bool pageDrawing_ = false;
    bool pageRedrawPending_ = false;
    // The open print job's page, and the print loop's state.
    ui::Canvas* printerCanvas_ = nullptr;
    int printerDpi_ = 300;
    bool printing_ = false;
    bool printCancelled_ = false;
    bool composingPage_ = false;
    void swapCaptionForPage();
    std::vector<unsigned char> learningPicture(int grade, long long owner, const std::string& line);
    void bindLearningEvents();
};
