#include "svg_render.h"

#include "svg_parse.h"

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QSet>
#include <QXmlStreamReader>

#include <cmath>
#include <optional>

namespace svg {
namespace {

const QString kSvgNamespace = QStringLiteral("http://www.w3.org/2000/svg");
const QString kSong = QStringLiteral("宋体");
const QString kHei = QStringLiteral("黑体");
constexpr int kMaxSide = 4000;

void installFontSubstitutes() {
    static bool done = false;
    if (done)
        return;
    QFont::insertSubstitution(kSong, QStringLiteral("Noto Serif CJK SC"));
    QFont::insertSubstitution(kHei, QStringLiteral("Noto Sans CJK SC"));
    done = true;
}

// Inherited presentation properties, with SVG's initial values.
struct Style {
    std::optional<QColor> fill = QColor(Qt::black);
    std::optional<QColor> stroke;
    double strokeWidth = 1;
    QVector<double> dashes;
    Qt::PenCapStyle cap = Qt::FlatCap;
    Qt::PenJoinStyle join = Qt::SvgMiterJoin;
    double fillOpacity = 1;
    double strokeOpacity = 1;
    Qt::FillRule fillRule = Qt::WindingFill;
    double fontSize = 16;
    bool bold = false;
    QString family = kSong;
    int anchor = 0;  // 0 start, 1 middle, 2 end
};

const QSet<QString> kPresentation = {
    QStringLiteral("fill"), QStringLiteral("fill-opacity"), QStringLiteral("fill-rule"),
    QStringLiteral("stroke"), QStringLiteral("stroke-width"), QStringLiteral("stroke-dasharray"),
    QStringLiteral("stroke-linecap"), QStringLiteral("stroke-linejoin"), QStringLiteral("stroke-opacity"),
    QStringLiteral("opacity"), QStringLiteral("font-size"), QStringLiteral("font-weight"),
    QStringLiteral("font-family"), QStringLiteral("text-anchor"),
};

// Attributes of each element besides the presentation ones.
const QHash<QString, QSet<QString>> kGeometry = {
    {QStringLiteral("svg"), {QStringLiteral("width"), QStringLiteral("height"), QStringLiteral("viewBox"), QStringLiteral("version")}},
    {QStringLiteral("g"), {}},
    {QStringLiteral("line"), {QStringLiteral("x1"), QStringLiteral("y1"), QStringLiteral("x2"), QStringLiteral("y2")}},
    {QStringLiteral("rect"), {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("width"), QStringLiteral("height"), QStringLiteral("rx"), QStringLiteral("ry")}},
    {QStringLiteral("circle"), {QStringLiteral("cx"), QStringLiteral("cy"), QStringLiteral("r")}},
    {QStringLiteral("ellipse"), {QStringLiteral("cx"), QStringLiteral("cy"), QStringLiteral("rx"), QStringLiteral("ry")}},
    {QStringLiteral("polyline"), {QStringLiteral("points")}},
    {QStringLiteral("polygon"), {QStringLiteral("points")}},
    {QStringLiteral("path"), {QStringLiteral("d")}},
    {QStringLiteral("text"), {QStringLiteral("x"), QStringLiteral("y")}},
};

double unitInterval(const QString& v) {
    double x = parseLength(v);
    return std::clamp(x, 0.0, 1.0);
}

Qt::PenCapStyle parseCap(const QString& v) {
    if (v == QLatin1String("butt")) return Qt::FlatCap;
    if (v == QLatin1String("round")) return Qt::RoundCap;
    if (v == QLatin1String("square")) return Qt::SquareCap;
    throw std::invalid_argument("stroke-linecap must be butt, round or square");
}

Qt::PenJoinStyle parseJoin(const QString& v) {
    if (v == QLatin1String("miter")) return Qt::SvgMiterJoin;
    if (v == QLatin1String("round")) return Qt::RoundJoin;
    if (v == QLatin1String("bevel")) return Qt::BevelJoin;
    throw std::invalid_argument("stroke-linejoin must be miter, round or bevel");
}

bool parseBold(const QString& v) {
    if (v == QLatin1String("bold")) return true;
    if (v == QLatin1String("normal")) return false;
    bool ok = false;
    int weight = v.toInt(&ok);
    if (!ok || weight < 100 || weight > 900)
        throw std::invalid_argument("font-weight must be normal, bold or 100 to 900");
    return weight >= 600;
}

// "sans-serif" (or the Hei face by name) draws in the Hei face, anything else in the Song face.
QString parseFamily(const QString& v) {
    for (QString name : v.split(u',')) {
        name = name.trimmed().remove(u'"').remove(u'\'');
        if (name == QLatin1String("sans-serif") || name == kHei)
            return kHei;
    }
    return kSong;
}

int parseAnchor(const QString& v) {
    if (v == QLatin1String("start")) return 0;
    if (v == QLatin1String("middle")) return 1;
    if (v == QLatin1String("end")) return 2;
    throw std::invalid_argument("text-anchor must be start, middle or end");
}

// One presentation property into the style; "opacity" is the element's own.
void applyProperty(const QString& name, const QString& value, Style& s, double& opacity) {
    const QString v = value.trimmed();
    if (name == QLatin1String("fill")) s.fill = parseColor(v);
    else if (name == QLatin1String("stroke")) s.stroke = parseColor(v);
    else if (name == QLatin1String("stroke-width")) s.strokeWidth = std::max(0.0, parseLength(v));
    else if (name == QLatin1String("stroke-dasharray")) s.dashes = v == QLatin1String("none") ? QVector<double>() : parseNumberList(v);
    else if (name == QLatin1String("stroke-linecap")) s.cap = parseCap(v);
    else if (name == QLatin1String("stroke-linejoin")) s.join = parseJoin(v);
    else if (name == QLatin1String("fill-opacity")) s.fillOpacity = unitInterval(v);
    else if (name == QLatin1String("stroke-opacity")) s.strokeOpacity = unitInterval(v);
    else if (name == QLatin1String("opacity")) opacity = unitInterval(v);
    else if (name == QLatin1String("fill-rule")) {
        if (v != QLatin1String("nonzero") && v != QLatin1String("evenodd"))
            throw std::invalid_argument("fill-rule must be nonzero or evenodd");
        s.fillRule = v == QLatin1String("evenodd") ? Qt::OddEvenFill : Qt::WindingFill;
    } else if (name == QLatin1String("font-size")) s.fontSize = parseLength(v);
    else if (name == QLatin1String("font-weight")) s.bold = parseBold(v);
    else if (name == QLatin1String("font-family")) s.family = parseFamily(v);
    else if (name == QLatin1String("text-anchor")) s.anchor = parseAnchor(v);
}

QColor faded(QColor c, double opacity) {
    c.setAlphaF(static_cast<float>(c.alphaF() * opacity));
    return c;
}

void drawPath(QPainter& p, QPainterPath path, const Style& s) {
    path.setFillRule(s.fillRule);
    if (s.fill)
        p.fillPath(path, faded(*s.fill, s.fillOpacity));
    if (!s.stroke || s.strokeWidth <= 0)
        return;
    QPen pen(faded(*s.stroke, s.strokeOpacity), s.strokeWidth, Qt::SolidLine, s.cap, s.join);
    pen.setMiterLimit(4);
    QVector<double> dashes = s.dashes;
    if (dashes.size() % 2 == 1)
        dashes += dashes;
    bool visibleDashes = std::any_of(dashes.begin(), dashes.end(), [](double d) { return d > 0; });
    if (!dashes.isEmpty() && visibleDashes) {
        QVector<qreal> pattern;
        for (double d : dashes)
            pattern.push_back(std::max(d, 0.0) / s.strokeWidth);
        pen.setDashPattern(pattern);
    }
    p.strokePath(path, pen);
}

class Renderer {
public:
    explicit Renderer(const QByteArray& text) : xml_(text) {}

    QImage run() {
        while (!xml_.atEnd() && !xml_.isStartElement())
            xml_.readNext();
        checkXml();
        if (!xml_.isStartElement())
            fail(QStringLiteral("no <svg> element"));
        if (xml_.name() != QLatin1String("svg"))
            fail(QStringLiteral("the root element is <%1>, not <svg>").arg(xml_.name()));
        checkElement();
        const auto a = xml_.attributes();
        int width = side(a, QStringLiteral("width"));
        int height = side(a, QStringLiteral("height"));
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                               QPainter::SmoothPixmapTransform);
        if (a.hasAttribute(QStringLiteral("viewBox")))
            painter.setTransform(viewBox(a.value(QStringLiteral("viewBox")).toString(), width, height));
        Style style;
        double opacity = 1;
        applyAttributes(style, opacity);
        withOpacity(painter, opacity, [&](QPainter& p) { children(p, style); });
        painter.end();
        while (!xml_.atEnd())
            xml_.readNext();
        checkXml();
        return image;
    }

private:
    [[noreturn]] void fail(const QString& why) const {
        throw Error(QStringLiteral("line %1: %2").arg(xml_.lineNumber()).arg(why).toStdString());
    }
    [[noreturn]] void failHere(const QString& why) const {
        fail(QStringLiteral("<%1>: %2").arg(xml_.name()).arg(why));
    }

    void checkXml() const {
        if (xml_.hasError())
            fail(QStringLiteral("not well-formed XML: %1").arg(xml_.errorString()));
    }

    // The element must be in the subset, with known attributes only.
    void checkElement() const {
        const QString name = xml_.name().toString();
        if (!kGeometry.contains(name) || (!xml_.namespaceUri().isEmpty() && xml_.namespaceUri() != kSvgNamespace))
            fail(QStringLiteral("<%1> is not supported").arg(xml_.qualifiedName()));
        const auto& geometry = kGeometry[name];
        for (const auto& attr : xml_.attributes()) {
            const QString a = attr.qualifiedName().toString();
            bool known = geometry.contains(a) || kPresentation.contains(a) ||
                         a == QLatin1String("id") || a == QLatin1String("style") ||
                         (a == QLatin1String("transform") && name != QLatin1String("svg"));
            if (!known)
                failHere(QStringLiteral("attribute \"%1\" is not supported").arg(a));
        }
    }

    int side(const QXmlStreamAttributes& a, const QString& name) const {
        if (!a.hasAttribute(name))
            failHere(QStringLiteral("%1 is missing").arg(name));
        double v = number(a.value(name).toString());
        if (v != std::floor(v) || v < 1 || v > kMaxSide)
            failHere(QStringLiteral("%1 must be a whole number of pixels, 1 to %2").arg(name).arg(kMaxSide));
        return static_cast<int>(v);
    }

    double number(const QString& v) const {
        try {
            return parseLength(v);
        } catch (const std::invalid_argument& e) {
            failHere(QString::fromStdString(e.what()));
        }
    }

    double attr(const QString& name, double fallback = 0) const {
        auto a = xml_.attributes();
        return a.hasAttribute(name) ? number(a.value(name).toString()) : fallback;
    }

    // viewBox scaled to the size, aspect kept and centred (SVG's default).
    QTransform viewBox(const QString& v, int width, int height) const {
        QVector<double> box;
        try {
            box = parseNumberList(v);
        } catch (const std::invalid_argument& e) {
            failHere(QString::fromStdString(e.what()));
        }
        if (box.size() != 4 || box[2] <= 0 || box[3] <= 0)
            failHere(QStringLiteral("viewBox must be four numbers: x y width height"));
        double scale = std::min(width / box[2], height / box[3]);
        QTransform t;
        t.translate((width - box[2] * scale) / 2, (height - box[3] * scale) / 2);
        t.scale(scale, scale);
        t.translate(-box[0], -box[1]);
        return t;
    }

    void applyAttributes(Style& s, double& opacity) const {
        try {
            for (const auto& attr : xml_.attributes()) {
                const QString name = attr.qualifiedName().toString();
                if (name == QLatin1String("style"))
                    applyStyleAttribute(attr.value().toString(), s, opacity);
                else if (kPresentation.contains(name))
                    applyProperty(name, attr.value().toString(), s, opacity);
            }
        } catch (const std::invalid_argument& e) {
            failHere(QString::fromStdString(e.what()));
        }
    }

    void applyStyleAttribute(const QString& css, Style& s, double& opacity) const {
        for (const QString& item : css.split(u';', Qt::SkipEmptyParts)) {
            if (item.trimmed().isEmpty())
                continue;
            qsizetype colon = item.indexOf(u':');
            QString name = item.left(colon).trimmed();
            if (colon < 0 || !kPresentation.contains(name))
                failHere(QStringLiteral("style property \"%1\" is not supported").arg(name));
            applyProperty(name, item.mid(colon + 1), s, opacity);
        }
    }

    // Draws through a layer when the element is partly transparent as a whole.
    template <typename Draw>
    void withOpacity(QPainter& p, double opacity, Draw draw) {
        if (opacity >= 1) {
            draw(p);
            return;
        }
        QImage layer(p.device()->width(), p.device()->height(), QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        QPainter lp(&layer);
        lp.setRenderHints(p.renderHints());
        lp.setTransform(p.transform());
        draw(lp);
        lp.end();
        p.save();
        p.resetTransform();
        p.setOpacity(opacity);
        p.drawImage(0, 0, layer);
        p.restore();
    }

    void children(QPainter& p, const Style& style) {
        while (xml_.readNextStartElement())
            element(p, style);
        checkXml();
    }

    void element(QPainter& p, const Style& parent) {
        const QString name = xml_.name().toString();
        if (name == QLatin1String("title") || name == QLatin1String("desc")) {
            xml_.skipCurrentElement();
            return;
        }
        checkElement();
        if (name == QLatin1String("svg"))
            fail(QStringLiteral("<svg> inside <svg> is not supported"));
        Style s = parent;
        double opacity = 1;
        applyAttributes(s, opacity);
        QTransform t = transform();
        p.save();
        p.setTransform(t, true);
        withOpacity(p, opacity, [&](QPainter& lp) {
            if (name == QLatin1String("g"))
                children(lp, s);
            else if (name == QLatin1String("text"))
                text(lp, s);
            else {
                drawPath(lp, shape(name), s);
                noChildren();
            }
        });
        p.restore();
    }

    QTransform transform() const {
        auto a = xml_.attributes();
        if (!a.hasAttribute(QStringLiteral("transform")))
            return {};
        try {
            return parseTransform(a.value(QStringLiteral("transform")).toString());
        } catch (const std::invalid_argument& e) {
            failHere(QString::fromStdString(e.what()));
        }
    }

    // Shapes hold nothing but a <title> or <desc>.
    void noChildren() {
        while (xml_.readNextStartElement()) {
            if (xml_.name() != QLatin1String("title") && xml_.name() != QLatin1String("desc"))
                fail(QStringLiteral("<%1> inside a shape is not supported").arg(xml_.qualifiedName()));
            xml_.skipCurrentElement();
        }
        checkXml();
    }

    QPainterPath shape(const QString& name) const {
        QPainterPath path;
        if (name == QLatin1String("line")) {
            path.moveTo(attr(QStringLiteral("x1")), attr(QStringLiteral("y1")));
            path.lineTo(attr(QStringLiteral("x2")), attr(QStringLiteral("y2")));
        } else if (name == QLatin1String("rect")) {
            path = rect();
        } else if (name == QLatin1String("circle")) {
            double r = nonNegative(QStringLiteral("r"));
            path.addEllipse(QPointF(attr(QStringLiteral("cx")), attr(QStringLiteral("cy"))), r, r);
        } else if (name == QLatin1String("ellipse")) {
            path.addEllipse(QPointF(attr(QStringLiteral("cx")), attr(QStringLiteral("cy"))),
                            nonNegative(QStringLiteral("rx")), nonNegative(QStringLiteral("ry")));
        } else if (name == QLatin1String("polyline") || name == QLatin1String("polygon")) {
            path = polyline(name == QLatin1String("polygon"));
        } else {
            try {
                path = parsePathData(xml_.attributes().value(QStringLiteral("d")).toString());
            } catch (const std::invalid_argument& e) {
                failHere(QString::fromStdString(e.what()));
            }
        }
        return path;
    }

    double nonNegative(const QString& name) const {
        double v = attr(name);
        if (v < 0)
            failHere(QStringLiteral("%1 is negative").arg(name));
        return v;
    }

    QPainterPath rect() const {
        QPainterPath path;
        QRectF r(attr(QStringLiteral("x")), attr(QStringLiteral("y")),
                 nonNegative(QStringLiteral("width")), nonNegative(QStringLiteral("height")));
        auto a = xml_.attributes();
        bool hasRx = a.hasAttribute(QStringLiteral("rx")), hasRy = a.hasAttribute(QStringLiteral("ry"));
        double rx = hasRx ? nonNegative(QStringLiteral("rx")) : 0;
        double ry = hasRy ? nonNegative(QStringLiteral("ry")) : 0;
        if (!hasRy) ry = rx;
        if (!hasRx) rx = ry;
        rx = std::min(rx, r.width() / 2);
        ry = std::min(ry, r.height() / 2);
        if (r.isEmpty())
            return path;
        if (rx > 0 && ry > 0)
            path.addRoundedRect(r, rx, ry);
        else
            path.addRect(r);
        return path;
    }

    QPainterPath polyline(bool closed) const {
        QVector<double> v;
        try {
            v = parseNumberList(xml_.attributes().value(QStringLiteral("points")).toString());
        } catch (const std::invalid_argument& e) {
            failHere(QString::fromStdString(e.what()));
        }
        if (v.size() % 2 != 0)
            failHere(QStringLiteral("points must come in x,y pairs"));
        QPainterPath path;
        for (qsizetype i = 0; i + 1 < v.size(); i += 2) {
            if (i == 0) path.moveTo(v[0], v[1]);
            else path.lineTo(v[i], v[i + 1]);
        }
        if (closed && !v.isEmpty())
            path.closeSubpath();
        return path;
    }

    // Plain character data only; blanks collapse to single spaces.
    QString textContent() {
        QString out;
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isCharacters())
                out += xml_.text();
            else if (xml_.isStartElement() && (xml_.name() == QLatin1String("title") || xml_.name() == QLatin1String("desc")))
                xml_.skipCurrentElement();
            else if (xml_.isStartElement())
                fail(QStringLiteral("<%1> inside <text> is not supported").arg(xml_.qualifiedName()));
            else if (xml_.isEndElement())
                break;
        }
        checkXml();
        return out.simplified();
    }

    void text(QPainter& p, const Style& s) {
        const QPointF at(attr(QStringLiteral("x")), attr(QStringLiteral("y")));
        const QString content = textContent();
        if (content.isEmpty() || s.fontSize <= 0)
            return;
        QFont font(s.family);
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(s.fontSize))));
        font.setBold(s.bold);
        const double width = QFontMetricsF(font, p.device()).horizontalAdvance(content);
        const QPointF origin = at - QPointF(width * s.anchor / 2, 0);
        if (s.stroke && s.strokeWidth > 0) {
            QPainterPath path;
            path.addText(origin, font, content);
            drawPath(p, path, s);
            return;
        }
        if (!s.fill)
            return;
        p.setFont(font);
        p.setPen(faded(*s.fill, s.fillOpacity));
        p.drawText(origin, content);
    }

    QXmlStreamReader xml_;
};

}  // namespace

QImage render(const QByteArray& svgText) {
    installFontSubstitutes();
    return Renderer(svgText).run();
}

QImage renderFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error("cannot be read: " + file.errorString().toStdString());
    return render(file.readAll());
}

}  // namespace svg
