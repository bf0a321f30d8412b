// Class mode in the window: the sender (sender.h) and its discreet mark in
// the top bar, right of the date line: "已同步" when the server has every
// grading, "待同步 3" while three are still to send.  The same place shows
// the one line about a class settings file that was left out (config.h).
#pragma once

#include "config.h"
#include "sender.h"

#include <memory>

class QWidget;

namespace data {
class Tdatam;
}

namespace ui {
class Label;
}

namespace classroom {

// The texts of the mark (UTF-8); count < 0: nothing known yet.
std::string markText(int count);

class ClassMode {
public:
    // Without settings only the notice (if any) shows and nothing is sent.
    // In class mode the data module records every grading for the class
    // and the sender starts on the database file in datam.programDir.  The
    // mark sits in `bar` right of `after`, and stays left of `before`.
    ClassMode(const Config& config, data::Tdatam& datam, QWidget* bar, QWidget* after, QWidget* before);
    // Stops the sender, waiting at most a second.
    ~ClassMode();
    ClassMode(const ClassMode&) = delete;
    ClassMode& operator=(const ClassMode&) = delete;

    ui::Label* mark() const { return mark_; }
    Sender* sender() const { return sender_.get(); }

private:
    ui::Label* mark_ = nullptr;  // owned by the bar
    std::unique_ptr<Sender> sender_;
};

}  // namespace classroom
