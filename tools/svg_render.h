// A small SVG renderer for the pictures of the content and the window
// artwork: the subset described in docs/content-format.md, drawn with
// QPainter onto white.  Needs a QGuiApplication (fonts).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <stdexcept>

namespace svg {

// Anything outside the subset, or malformed: the message names the line and
// the element ("line 4: <image> is not supported"), not the file.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Renders SVG text into an RGB32 image of the root's width x height.
QImage render(const QByteArray& svgText);

// Reads and renders a file; a file that cannot be read is an Error too.
QImage renderFile(const QString& path);

}  // namespace svg
