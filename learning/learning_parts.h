// The grade and unit selectors with the unit-learning button, their
// creation, and the state of the content page composer.  The window holds
// these parts; the selection and learning handlers use them.
#pragma once

#include "controls.h"
#include "inputs.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace learning {

struct LearningParts {
    ui::Label* Label1;
    ui::Image* im1;
    ui::SpeedButton* sp1;
    ui::ComboBox* c1;
    ui::ComboBox* c2;

    // Which lines of a content page are pictures, where their JPEG data
    // comes from, and how they sit: `offset` page units below the line's
    // position, and `advance` units more than their height taken.
    struct PictureRule {
        std::function<bool(const std::string& line)> isPictureLine;
        std::function<std::vector<unsigned char>(const std::string& line)> pictureBytes;
        int offset;
        int advance;
    };

    void c2Change() { UpdateUnitLearningButton(); }
    // The unit's status, behind the spaces of its list item, becomes sp1's
    // hint; sp1 is enabled for a unit with a learning page.
    void UpdateUnitLearningButton();

protected:
    // The selectors inside the notice panel.
    void createSelectors(QWidget* notice, const ui::FontSpec& labelFont);

    bool composingPage_ = false;
};

}  // namespace learning
