// The main window "mainForm": it composes the subsystems, each a class with
// its own controls, state and handlers (pages::PageView in pages/,
// homework::Session in homework/, learning::Learning in learning/), adds the
// shell's controls (those the subsystems use are declared in pages/shell.h),
// and answers what each subsystem asks of the others through its pure
// virtual functions.  The shell's handlers (start-up, notice, exit) are in
// shell.cpp.
#pragma once

#include "containers.h"
#include "controls.h"
#include "inputs.h"
#include "learning.h"
#include "session.h"

#include <QWidget>

#include <string>

class QDate;
class QScreen;

// The date line of the top bar: "2026年12月06日 星期日" (GBK).
std::string DateLine(const QDate& d);

class TmainForm : public QWidget,
                  public homework::Session,
                  public learning::Learning {
public:
    explicit TmainForm(data::Tdatam& datam);
    ~TmainForm() override;

    // The window has a border of one pixel; the components' positions are
    // relative to the client area inside it, which is their parent.
    static constexpr int kBorderWidth = 1;
    QWidget* clientArea() const { return client_; }

    // ---- components, in declaration order (a later one lies above) ----
    ui::Image* Image3;
    ui::Image* Image8;
    ui::SpeedButton* BEND;
    ui::Label* ldw1;
    ui::Image* Imagefm0;
    ui::Panel* Panel5;
    ui::Label* Lpy;
    ui::Image* Image9;
    ui::Image* Image69;
    ui::Image* Image6;
    ui::Panel* Panel_END;
    ui::Image* Image11;
    ui::Image* Image4;
    ui::Image* Image5;

    // ---- window state ----
    int ClosePermission = 0;   // 0: close requests are refused; 2: the program closes itself
    bool StartupCompleted = false;

    // The size the layout is computed from: the window's own, which fills
    // the screen's work area (the screen less any dock or panel).
    int screenWidth() const override;
    int screenHeight() const;

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
    void ShowExitConfirmation() override;
    void ConfirmNotice() override;
    void ExitWithCounters() override;
    void CloseProgram() override;
    void CentrePanelCy() override;
    void setBT1(const std::string& gbkCaption, int width) override;
    void showBT2(bool show) override;

    // ---- for the homework session ----
    int SelectedGrade() const override { return c1->itemIndex(); }
    std::vector<std::string> GradeNames() const override;
    int TodayJulianDay() const override;
    int SelectedUnit() const override { return c2->itemIndex(); }
    std::string SelectedUnitText() const override { return c2->text(); }
    bool UnitWithoutLearningPage() const override;
    void HideSelectors() override;
    void ShowDailyPost() override { SpeedButton6Click(); }
    void OpenQuestionAnalysis(ui::SpeedButton& analysisButton) override { ShowQuestionAnalysis(analysisButton); }

    // ---- for learning ----
    long long QuestionOfSlot(int slot) override { return hw.QuestionIds(slot); }

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
    void placeClientArea();
    // Places the controls that follow the window's size: the corner button,
    // the top bar's buttons, the centred panels, the work-area background
    // and the title.
    void layOutToWindow();
    // Fills the screen's work area, now and whenever it changes.
    void followWorkArea(QScreen* s);
    QMetaObject::Connection workAreaWatch_;
    // The title's left on a 1024-wide window.
    static constexpr int kTitleLeft = 366;
    QWidget* client_;
    bool shown_ = false;
    bool laidOut_ = false;
};
