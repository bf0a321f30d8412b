// The page subsystem: the page canvas, the homework report, the page viewer
// and printing, with the handlers of the page box, its bar, the print
// dialog and the tool button SpeedButton69.  What it needs of the cards and
// of the content pages it asks through the pure virtual functions below,
// which the homework session and learning implement.
#pragma once

#include "page_parts.h"
#include "shell.h"

#include <string>
#include <vector>

class QPrinter;

namespace pages {

class PageView : public virtual Shell, public PageParts {
public:
    explicit PageView(data::Tdatam& dm) : Shell(dm) {}

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
    // The head of a page: the logo (on logoCanvas, if any), the title, the
    // page number at the right (none when empty) and the rule under them.
    void DrawPageHead(ui::Canvas* logoCanvas, double pictureScale, const std::string& title,
                      const std::string& pageNumber);
    // The foot: the rule at device row footRow, the foot text at textTop.
    void DrawPageFoot(int footRow, int textTop);
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
    // The keys of a page view, on the page box or its bar: Escape goes back
    // as "返回" does; Page Down / Page Up scroll by nine tenths of the view
    // and, already at the bottom / the top, turn to the next / previous page
    // as the wheel does; Home and End scroll to the top and the bottom.
    bool PageKey(int key);
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

    // ---- what the pages need of the cards (homework) ----
    // The card pages: the page box sits over them, and a way back from a
    // page view gives them back their input.
    virtual ui::PageControl* CardPages() const = 0;
    // The cards give way to the report: hidden, their controls destroyed.
    virtual void PutAwayCards() = 0;
    // The focus goes to the page box, else to the cards.
    virtual void FocusRule() = 0;

    // ---- what the pages need of learning ----
    // The grade chosen in the grade list, and every grade's name in its
    // order (GBK): the learning record shows the chosen grade.
    virtual int SelectedGrade() const = 0;
    virtual std::vector<std::string> GradeNames() const = 0;
    // Today as the homework's clock says (a Julian day number): the
    // learning record counts its days back from it.
    virtual int TodayJulianDay() const = 0;
    // The learning page of the unit chosen ("知识学习").
    virtual void ShowUnitLearning() = 0;
    // While a content page is being composed (it lets events run), further
    // page requests and the ways back wait for it.
    virtual bool ComposingPage() const = 0;

protected:
    void bindPageEvents();

private:
    void drawPageOnce();
    void prepareScreenPage();
    // The JPEG data a report picture line names (id read as badId when it
    // is not a number).
    std::vector<unsigned char> fetchReportPicture(const std::string& line, long long badId);
    void drawReportText(const std::string& line, int g);
    void printPage(QPrinter& printer);
};

}  // namespace pages
