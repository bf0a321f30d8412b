// The learning subsystem: grade and unit selection and the content pages
// (the learning page of a unit, the daily post, the question analysis),
// composed on the page view.  What it needs of the homework it asks through
// the pure virtual function below, which the window (app/) implements.
#pragma once

#include "learning_parts.h"
#include "page_view.h"

#include <string>
#include <vector>

namespace learning {

class Learning : public virtual pages::PageView, public LearningParts {
public:
    explicit Learning(data::Tdatam& dm) : Shell(dm), PageView(dm) {}

    void c1Change();
    void ComposeContentPage(const std::string& titleSuffix, const std::string& pageText, const PictureRule& rule,
                            bool swapCaption);
    void sp1Click();
    void SpeedButton6Click();
    void ShowQuestionAnalysis(ui::SpeedButton& sender);
    void ShowUnitLearning() override;
    bool ComposingPage() const override { return composingPage_; }

    // ---- what learning needs of the homework ----
    // The question id of a homework slot (1 to 20).
    virtual long long QuestionOfSlot(int slot) = 0;

protected:
    void bindLearningEvents();

private:
    void swapCaptionForPage();
    std::vector<unsigned char> learningPicture(int grade, long long owner, const std::string& line);
};

}  // namespace learning
