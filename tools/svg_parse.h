// Attribute values of the SVG subset.  Each parser throws std::invalid_argument
// with a short reason; the renderer adds the line and element.
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QString>
#include <QTransform>
#include <QVector>

#include <optional>

namespace svg {

// A number, optionally followed by "px".
double parseLength(const QString& text);

// Numbers separated by blanks and/or commas.
QVector<double> parseNumberList(const QString& text);

// "none" gives no colour; "#rgb", "#rrggbb" or a colour name.
std::optional<QColor> parseColor(const QString& text);

// translate, scale, rotate and matrix, applied right to left as in SVG.
QTransform parseTransform(const QString& text);

// Path data with the commands M L H V C S Q T A Z, absolute and relative.
QPainterPath parsePathData(const QString& text);

}  // namespace svg
