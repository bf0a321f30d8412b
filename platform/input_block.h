// Keeping part of a window from taking clicks, the wheel and the keyboard
// while it keeps its look: a disabled widget greys its text and pictures,
// a blocked one is drawn as before.
#pragma once

class QWidget;

namespace ui {

// Blocks or lets through the pointer and keyboard input of w and every
// widget inside it.  Blocks on different widgets are independent.
void setInputBlocked(QWidget* w, bool blocked);
// True when w or a widget it lies in is blocked.
bool inputBlocked(const QWidget* w);

}  // namespace ui
