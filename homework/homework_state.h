// The homework in progress: everything about it that lives in memory only.
#pragma once

#include "daily_choice.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ui {
class Image;
class Panel;
class RadioGroup;
class SpeedButton;
}  // namespace ui

constexpr int kSlots = 20;

struct HomeworkState {
    // Element 0 counts the seconds left (the start-up wait before the first
    // homework); 1..20 are the question ids of the slots (0 = empty slot);
    // 21..40 the answer keys of the slots as option indexes 0..3 (A..D), or
    // -1 for a key that is not A to D.
    std::array<std::int32_t, 41> values{};

    std::int32_t& SecondsLeft() { return values[0]; }
    std::int32_t& QuestionIds(int slot) { return values.at(static_cast<std::size_t>(slot)); }
    std::int32_t& AnswerKeys(int slot) { return values.at(static_cast<std::size_t>(20 + slot)); }

    std::int32_t QuestionCount = 0;
    std::int32_t HomeworkNo = 0;
    std::int32_t GradingCount = 0;
    // Time used up to the latest recorded grading, so a later record adds
    // only the time since then.
    std::int32_t RecordedSeconds = 0;
    // The day's choice this homework came from, for the pupil's history.
    daily::Homework Daily;
    // The question texts of the slots (UTF-8, index = slot - 1), for the
    // class outbox.
    std::array<std::string, kSlots> QuestionTexts;

    // The controls of the cards, index = slot - 1.  Owned by the window.
    std::vector<ui::SpeedButton*> AnalysisButtons;
    std::vector<ui::Image*> CardImages;
    std::vector<ui::Panel*> AnswerPanels;
    std::vector<ui::RadioGroup*> AnswerGroups;
};
