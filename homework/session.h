// The homework subsystem: the session on BT1, BT2, BJS and the countdown,
// the drawing of a homework, its cards and its grading.  It calls the pages
// (the report, the way back from a page view); what it needs of the shell
// and of grade and unit selection it asks through the pure virtual
// functions below, which the window (app/) implements.
#pragma once

#include "homework_parts.h"
#include "page_view.h"

#include <string>

namespace homework {

class Session : public virtual pages::PageView, public HomeworkParts {
public:
    explicit Session(data::Tdatam& dm) : Shell(dm), PageView(dm) {}

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
    void GradeHomework();
    void BuildMarginPanels();
    void FocusRule() override;
    // The keyboard starts at the first question (scrolled into view).
    void FocusFirstCard();
    ui::PageControl* CardPages() const override { return page1; }
    void PutAwayCards() override;

    // ---- what the session needs of the shell ----
    virtual int screenWidth() const = 0;
    // Sets BT1's caption and width; Image5 follows at width + 3.
    virtual void setBT1(const std::string& gbkCaption, int width) = 0;
    virtual void showBT2(bool show) = 0;
    virtual void CentrePanelCy() = 0;
    // "确    认" on the notice: ends the program after a data error.
    virtual void ConfirmNotice() = 0;
    virtual void ShowExitConfirmation() = 0;
    // Leaves with the per-question counter statement (confirmed exit, or
    // after a perfect homework).
    virtual void ExitWithCounters() = 0;

    // ---- what the session needs of grade and unit selection ----
    // (SelectedGrade: see pages::PageView)
    virtual int SelectedUnit() const = 0;
    // The unit's list item (its name first).
    virtual std::string SelectedUnitText() const = 0;
    // The unit chosen has no learning page (status "空").
    virtual bool UnitWithoutLearningPage() const = 0;
    virtual void HideSelectors() = 0;
    virtual void ShowDailyPost() = 0;
    // The worked analysis of the question whose analysis button this is.
    virtual void OpenQuestionAnalysis(ui::SpeedButton& analysisButton) = 0;
};

}  // namespace homework
