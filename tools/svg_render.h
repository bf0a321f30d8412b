// Pictures of the content and the window artwork: checked against the list
// of svg_check.h, then drawn by Qt's SVG module (QSvgRenderer), antialiased.
// Needs a QGuiApplication (fonts).
#pragma once

#include "svg_check.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <chrono>

namespace svg {

// Renders SVG text onto white, into an RGB32 image of the root's width x
// height.  Throws Error for anything the check refuses and for every
// complaint Qt's SVG module makes while it reads or draws the picture.
QImage render(const QByteArray& svgText);

// Reads and renders a file; a file that cannot be read is an Error too.
// A picture still drawing after limit ends the process with
// kRenderTimeoutStatus and a line on stderr naming the file.
inline constexpr std::chrono::milliseconds kRenderLimit{20000};
inline constexpr int kRenderTimeoutStatus = 3;
QImage renderFile(const QString& path, std::chrono::milliseconds limit = kRenderLimit);

// The picture on a transparent square of side x side pixels (ARGB32,
// premultiplied), scaled to fit, for icons.
QImage renderIcon(const QByteArray& svgText, int side);

}  // namespace svg
