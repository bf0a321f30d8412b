// Creating a named control at its design-time place, with its font and
// caption: what every part of the window does when it builds its controls.
#pragma once

#include "controls.h"
#include "gbk.h"

#include <QColor>

namespace ui {

inline const QColor kBlue(0x00, 0x00, 0xFF);
inline const QColor kRed(0xFF, 0x00, 0x00);

inline FontSpec makeFont(const char* face, int height, QColor color = Qt::black, bool bold = false,
                         bool italic = false) {
    FontSpec f;
    f.face = face;
    f.height = height;
    f.color = color;
    f.bold = bold;
    f.italic = italic;
    return f;
}

template <class T>
T* make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    T* c = new T(parent);
    c->name = name;
    c->setGeometry(left, top, width, height);
    return c;
}

// caption: UTF-8.
inline Label* makeLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                        const char* caption, const FontSpec& f) {
    auto* l = make<Label>(parent, name, left, top, width, height);
    l->setFont(f);
    l->setCaption(gbk::fromUtf8(caption));
    return l;
}

// caption: UTF-8.
inline SpeedButton* makeButton(QWidget* parent, const char* name, int left, int top, int width, int height,
                               const char* caption, const FontSpec& f) {
    auto* b = make<SpeedButton>(parent, name, left, top, width, height);
    b->setFont(f);
    b->setCaption(gbk::fromUtf8(caption));
    return b;
}

// A stretched picture behind a button.
inline Image* makeBackdrop(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* i = make<Image>(parent, name, left, top, width, height);
    i->stretch = true;
    return i;
}

}  // namespace ui
