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
#include "inputs.h"
#include "learning_parts.h"
#include "session.h"

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
                  public homework::Session,
                  public learning::LearningParts {
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

    // Screen size the layout is computed from.
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
    // "确    认" on the notice: ends the program after a data error.
    void ConfirmNotice() override;
    // Leaves with the per-question counter statement (confirmed exit, or
    // after a perfect homework).
    void ExitWithCounters() override;
    void CloseProgram() override;
    void CentrePanelCy() override;
    // Sets BT1's caption and width; Image5 follows at width + 3.
    void setBT1(const std::string& gbkCaption, int width) override;
    void showBT2(bool show) override;

    // ---- grade and unit selection (learning/) ----
    void c1Change();

    // ---- learning pages (learning/) ----
    void ComposeContentPage(const std::string& titleSuffix, const std::string& pageText, const PictureRule& rule,
                            bool swapCaption);
    void sp1Click();
    void SpeedButton6Click();
    void ShowQuestionAnalysis(ui::SpeedButton& sender);

    // ---- for the homework session ----
    int SelectedGrade() const override { return c1->itemIndex(); }
    int SelectedUnit() const override { return c2->itemIndex(); }
    std::string SelectedUnitText() const override { return c2->text(); }
    bool UnitWithoutLearningPage() const override;
    void HideSelectors() override;
    void ShowDailyPost() override { SpeedButton6Click(); }
    void OpenQuestionAnalysis(ui::SpeedButton& analysisButton) override { ShowQuestionAnalysis(analysisButton); }

    // ---- for the pages, of learning ----
    void ShowUnitLearning() override;
    bool ComposingPage() const override { return composingPage_; }

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
    QWidget* client_;
    bool shown_ = false;
    void swapCaptionForPage();
    std::vector<unsigned char> learningPicture(int grade, long long owner, const std::string& line);
    void bindLearningEvents();
};
