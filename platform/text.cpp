#include "text.h"

#include "gbk.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>

namespace ui {

void installFontSubstitutions() {
    QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"));
    QFont::insertSubstitution(QStringLiteral("黑体"), QStringLiteral("Noto Sans CJK SC"));
    QFont::insertSubstitution(QStringLiteral("@GungsuhChe"), QStringLiteral("Noto Sans CJK SC"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("DejaVu Sans"));
}

QFont toQFont(const FontSpec& spec) {
    QFont f(QString::fromUtf8(spec.face.c_str()));
    f.setPixelSize(spec.height > 0 ? spec.height : 1);
    f.setBold(spec.bold);
    f.setItalic(spec.italic);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QString qtext(std::string_view gbkBytes) {
    const std::string utf8 = gbk::toUtf8Shown(gbkBytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

int cellTextWidth(std::string_view gbkBytes, int height) {
    return static_cast<int>(gbkBytes.size()) * height / 2;
}

namespace {

// Byte length of the GBK character starting at s[i].
std::size_t charLength(std::string_view s, std::size_t i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    return (b >= 0x81 && b <= 0xFE && i + 1 < s.size()) ? 2 : 1;
}

}  // namespace

void drawCellText(QPainter& p, int x, int top, std::string_view gbkBytes, const FontSpec& spec) {
    if (gbkBytes.empty()) return;
    const int h = spec.height > 0 ? spec.height : 1;
    p.save();
    QFont font = toQFont(spec);
    p.setFont(font);
    // Characters the face has are placed as glyphs, all in one run: shaping
    // each character as a text of its own is what drawing costs otherwise.
    const QRawFont raw = QRawFont::fromFont(font);
    QList<quint32> glyphs;
    QList<QPointF> positions;
    // The ideographic em box sits about 0.88 of the height above the baseline.
    const qreal baseline = top + h * 0.88;
    qreal cellX = x;
    for (std::size_t i = 0; i < gbkBytes.size();) {
        std::size_t len = charLength(gbkBytes, i);
        const qreal cellW = h * static_cast<qreal>(len) / 2.0;
        unsigned char b = static_cast<unsigned char>(gbkBytes[i]);
        if (b > 0x20) {
            const QString ch = qtext(gbkBytes.substr(i, len));
            const QList<quint32> glyph = raw.isValid() ? raw.glyphIndexesForString(ch) : QList<quint32>();
            const qreal w = glyph.size() == 1 && glyph[0] != 0 ? raw.advancesForGlyphIndexes(glyph)[0].x()
                                                               : QFontMetricsF(font).horizontalAdvance(ch);
            const bool inFace = glyph.size() == 1 && glyph[0] != 0;
            if (inFace && w <= cellW) {
                glyphs.append(glyph[0]);
                positions.append(QPointF(cellX + (cellW - w) / 2.0, baseline));
            } else if (w <= cellW) {
                // Not in the face: drawn as text, so another face stands in.
                p.drawText(QPointF(cellX + (cellW - w) / 2.0, baseline), ch);
            } else {
                // A glyph wider than its cell ("%", "M") is narrowed to fit,
                // so it never runs into its neighbours.
                p.save();
                p.translate(cellX, baseline);
                p.scale(cellW / w, 1.0);
                if (inFace) {
                    QGlyphRun one;
                    one.setRawFont(raw);
                    one.setGlyphIndexes(glyph);
                    one.setPositions({QPointF(0, 0)});
                    p.drawGlyphRun(QPointF(0, 0), one);
                } else {
                    p.drawText(QPointF(0, 0), ch);
                }
                p.restore();
            }
        }
        cellX += cellW;
        i += len;
    }
    if (!glyphs.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        p.drawGlyphRun(QPointF(0, 0), run);
    }
    p.restore();
}

}  // namespace ui
