// The main window "mainForm": the shell's controls, the parts of the
// subsystems (each declares and creates its own controls and keeps its
// state: homework_parts.h, page_parts.h, learning_parts.h), and the
// window's handlers.
//
// The handlers are members of this one class, as the controls they read and
// write are; each is defined in the folder of its subsystem: the shell
// (start-up, notice, exit) here in app/, grade and unit selection in
// learning/, the homework session in homework/.
#pragma once

#include "containers.h"
#include "controls.h"
#include "homework_parts.h"
#include "inputs.h"
#include "learning_parts.h"
#include "page_parts.h"

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

class TmainForm : public QWidget,
                  public homework::HomeworkParts,
                  public pages::PageParts,
                  public learning::LearningParts {
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
    ui::Memo* m_pd;
    ui::Panel* Panel_cy;
    ui::Panel* Panel_END;
    ui::Image* Image11;
    ui::Image* Image4;
    ui::SpeedButton* BT2;
    ui::Image* Image5;
    ui::SpeedButton* BT1;
    ui::Panel* Pts;
    ui::Timer Timer2;

    // ---- window state ----
    int ClosePermission = 0;   // 0: close requests are refused; 2: the program closes itself
    bool StartupCompleted = false;

    // Screen size the layout is computed from.
    int screenWidth() const;
    int screenHeight() const;

    // Caption of BJS kept while a page view shows "返  回", as Panel_cy's hint.
    const std::string& RememberedCaption() const { return Panel_cy->hint(); }
    void setRememberedCaption(std::string s) { Panel_cy->setHint(std::move(s)); }

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

    // ---- learning pages (learning/) ----
    void ComposeContentPage(const std::string& titleSuffix, const std::string& pageText, const PictureRule& rule,
                            bool swapCaption);
    void sp1Click();
    void SpeedButton6Click();
    void ShowQuestionAnalysis(ui::SpeedButton& sender);

    // ---- pages: canvas, report, viewer, printing (pages/) ----
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
    void Image2DblClick();
    // Closes the page view: the page box, its bar and BJS's own caption
    // back; over no homework, the centre panel shows again.
    void LeavePageView();
    void SpeedButton9Click() { Image2DblClick(); }
    void scrollClick() { FocusRule(); }
    void Image1DblClick();
    void Image1MouseMove(int x, int y);
    void SpeedButton69Click();
    void spb3Click() { OpenPrintDialog(); }
    void ShowProgressPage();  // "学习记录"
    void SaveAsPdfClick();    // "保存PDF"
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
    void createCentrePanel();
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
    void swapCaptionForPage();
    std::vector<unsigned char> learningPicture(int grade, long long owner, const std::string& line);
    void bindLearningEvents();
};
