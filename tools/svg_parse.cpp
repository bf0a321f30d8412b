#include "svg_parse.h"

#include <QtMath>

#include <cmath>
#include <stdexcept>

namespace svg {
namespace {

[[noreturn]] void fail(const QString& why) { throw std::invalid_argument(why.toStdString()); }

// Reads numbers, flags and command letters from an attribute value.
class Scanner {
public:
    explicit Scanner(const QString& text) : s_(text) {}

    void skipSeparators() {
        while (i_ < s_.size() && (s_[i_].isSpace() || s_[i_] == u','))
            ++i_;
    }
    bool atEnd() {
        skipSeparators();
        return i_ >= s_.size();
    }
    QChar peek() {
        skipSeparators();
        return i_ < s_.size() ? s_[i_] : QChar();
    }
    bool atLetter() { return peek().isLetter(); }
    QChar take() { return s_[i_++]; }

    double number() {
        skipSeparators();
        qsizetype start = i_;
        if (i_ < s_.size() && (s_[i_] == u'+' || s_[i_] == u'-'))
            ++i_;
        qsizetype digits = skipDigits();
        if (i_ < s_.size() && s_[i_] == u'.') {
            ++i_;
            digits += skipDigits();
        }
        if (digits == 0)
            fail(QStringLiteral("a number is expected at \"%1\"").arg(s_.mid(start, 12)));
        if (i_ < s_.size() && (s_[i_] == u'e' || s_[i_] == u'E')) {
            qsizetype mark = i_++;
            if (i_ < s_.size() && (s_[i_] == u'+' || s_[i_] == u'-'))
                ++i_;
            if (skipDigits() == 0)
                i_ = mark;
        }
        return s_.mid(start, i_ - start).toDouble();
    }

    bool flag() {
        skipSeparators();
        if (i_ < s_.size() && (s_[i_] == u'0' || s_[i_] == u'1'))
            return take() == u'1';
        fail(QStringLiteral("an arc flag 0 or 1 is expected"));
    }

    QString word() {
        skipSeparators();
        qsizetype start = i_;
        while (i_ < s_.size() && s_[i_].isLetter())
            ++i_;
        return s_.mid(start, i_ - start);
    }

    void expect(QChar c) {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
        if (i_ >= s_.size() || s_[i_] != c)
            fail(QStringLiteral("\"%1\" is expected").arg(c));
        ++i_;
    }

private:
    qsizetype skipDigits() {
        qsizetype n = 0;
        while (i_ < s_.size() && s_[i_].isDigit()) {
            ++i_;
            ++n;
        }
        return n;
    }

    QString s_;
    qsizetype i_ = 0;
};

double angleBetween(double ux, double uy, double vx, double vy) {
    return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
}

// Elliptical arc from the current point, as cubic curves (SVG's endpoint
// parameterisation converted to centre form).
void arcTo(QPainterPath& path, double rx, double ry, double phiDeg, bool large, bool sweep,
           QPointF end) {
    QPointF start = path.currentPosition();
    if (start == end)
        return;
    rx = std::abs(rx);
    ry = std::abs(ry);
    if (rx == 0 || ry == 0) {
        path.lineTo(end);
        return;
    }
    const double phi = qDegreesToRadians(phiDeg), c = std::cos(phi), s = std::sin(phi);
    const double dx2 = (start.x() - end.x()) / 2, dy2 = (start.y() - end.y()) / 2;
    const double x1 = c * dx2 + s * dy2, y1 = -s * dx2 + c * dy2;
    const double lambda = x1 * x1 / (rx * rx) + y1 * y1 / (ry * ry);
    if (lambda > 1) {
        rx *= std::sqrt(lambda);
        ry *= std::sqrt(lambda);
    }
    const double num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
    const double den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
    double coef = std::sqrt(std::max(0.0, num / den));
    if (large == sweep)
        coef = -coef;
    const double cxp = coef * rx * y1 / ry, cyp = -coef * ry * x1 / rx;
    const double cx = c * cxp - s * cyp + (start.x() + end.x()) / 2;
    const double cy = s * cxp + c * cyp + (start.y() + end.y()) / 2;
    const double theta = angleBetween(1, 0, (x1 - cxp) / rx, (y1 - cyp) / ry);
    double delta = angleBetween((x1 - cxp) / rx, (y1 - cyp) / ry, (-x1 - cxp) / rx, (-y1 - cyp) / ry);
    if (!sweep && delta > 0)
        delta -= 2 * M_PI;
    if (sweep && delta < 0)
        delta += 2 * M_PI;

    auto map = [&](double ux, double uy) {
        return QPointF(cx + rx * c * ux - ry * s * uy, cy + rx * s * ux + ry * c * uy);
    };
    const int segments = std::max(1, static_cast<int>(std::ceil(std::abs(delta) / (M_PI / 2) - 1e-9)));
    const double step = delta / segments, t = 4.0 / 3.0 * std::tan(step / 4);
    for (int i = 0; i < segments; ++i) {
        double a1 = theta + i * step, a2 = a1 + step;
        QPointF p1 = map(std::cos(a1) - t * std::sin(a1), std::sin(a1) + t * std::cos(a1));
        QPointF p2 = map(std::cos(a2) + t * std::sin(a2), std::sin(a2) - t * std::cos(a2));
        QPointF p3 = i + 1 == segments ? end : map(std::cos(a2), std::sin(a2));
        path.cubicTo(p1, p2, p3);
    }
}

// Runs one path command with its arguments; updates the reflection point
// that S and T use.
class PathBuilder {
public:
    void run(QChar cmd, Scanner& in) {
        const bool rel = cmd.isLower();
        const QPointF here = path_.currentPosition();
        auto point = [&] {
            double x = in.number();
            double y = in.number();
            return rel ? here + QPointF(x, y) : QPointF(x, y);
        };
        QPointF reflected = 2 * here - lastControl_;
        switch (cmd.toUpper().unicode()) {
        case 'M': start_ = point(); path_.moveTo(start_); lastControl_ = start_; return;
        case 'L': lineTo(point()); return;
        case 'H': { double x = in.number(); lineTo({rel ? here.x() + x : x, here.y()}); return; }
        case 'V': { double y = in.number(); lineTo({here.x(), rel ? here.y() + y : y}); return; }
        case 'C': { QPointF a = point(), b = point(), e = point(); cubic(a, b, e); return; }
        case 'S': { QPointF b = point(), e = point(); cubic(smooth_ == 'C' ? reflected : here, b, e); return; }
        case 'Q': { QPointF a = point(), e = point(); quad(a, e); return; }
        case 'T': { QPointF e = point(); quad(smooth_ == 'Q' ? reflected : here, e); return; }
        case 'A': {
            double rx = in.number(), ry = in.number(), phi = in.number();
            bool large = in.flag(), sweep = in.flag();
            QPointF e = point();
            arcTo(path_, rx, ry, phi, large, sweep, e);
            smooth_ = 0;
            lastControl_ = e;
            return;
        }
        case 'Z': path_.closeSubpath(); path_.moveTo(start_); smooth_ = 0; lastControl_ = start_; return;
        }
        fail(QStringLiteral("path command \"%1\" is not supported").arg(cmd));
    }
    const QPainterPath& path() const { return path_; }

private:
    void lineTo(QPointF p) { path_.lineTo(p); smooth_ = 0; lastControl_ = p; }
    void cubic(QPointF a, QPointF b, QPointF e) { path_.cubicTo(a, b, e); smooth_ = 'C'; lastControl_ = b; }
    void quad(QPointF a, QPointF e) { path_.quadTo(a, e); smooth_ = 'Q'; lastControl_ = a; }

    QPainterPath path_;
    QPointF start_, lastControl_;
    char smooth_ = 0;
};

}  // namespace

double parseLength(const QString& text) {
    QString t = text.trimmed();
    if (t.endsWith(QLatin1String("px")))
        t.chop(2);
    bool ok = false;
    double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        fail(QStringLiteral("\"%1\" is not a number of pixels").arg(text));
    return v;
}

QVector<double> parseNumberList(const QString& text) {
    QVector<double> out;
    Scanner in(text);
    while (!in.atEnd())
        out.push_back(in.number());
    return out;
}

std::optional<QColor> parseColor(const QString& text) {
    const QString t = text.trimmed();
    if (t == QLatin1String("none"))
        return std::nullopt;
    bool hex = t.startsWith(u'#') && (t.size() == 4 || t.size() == 7);
    bool name = !t.isEmpty() && std::all_of(t.begin(), t.end(), [](QChar c) { return c >= u'a' && c <= u'z'; });
    QColor c = (hex || name) ? QColor::fromString(t) : QColor();
    if (!c.isValid())
        fail(QStringLiteral("colour \"%1\" is not #rgb, #rrggbb, none or a colour name").arg(text));
    return c;
}

QTransform parseTransform(const QString& text) {
    QTransform total;
    Scanner in(text);
    while (!in.atEnd()) {
        QString name = in.word();
        in.expect(u'(');
        QVector<double> a;
        while (in.peek() != u')' && !in.atEnd())
            a.push_back(in.number());
        in.expect(u')');
        QTransform t;
        if (name == QLatin1String("translate") && (a.size() == 1 || a.size() == 2))
            t.translate(a[0], a.size() == 2 ? a[1] : 0);
        else if (name == QLatin1String("scale") && (a.size() == 1 || a.size() == 2))
            t.scale(a[0], a.size() == 2 ? a[1] : a[0]);
        else if (name == QLatin1String("rotate") && a.size() == 1)
            t.rotate(a[0]);
        else if (name == QLatin1String("rotate") && a.size() == 3)
            t.translate(a[1], a[2]).rotate(a[0]).translate(-a[1], -a[2]);
        else if (name == QLatin1String("matrix") && a.size() == 6)
            t = QTransform(a[0], a[1], a[2], a[3], a[4], a[5]);
        else
            fail(QStringLiteral("transform \"%1\" with %2 numbers is not supported").arg(name).arg(a.size()));
        total = t * total;
    }
    return total;
}

QPainterPath parsePathData(const QString& text) {
    static const QString commands = QStringLiteral("MmLlHhVvCcSsQqTtAaZz");
    Scanner in(text);
    PathBuilder builder;
    QChar cmd;
    bool first = true;
    while (!in.atEnd()) {
        if (in.atLetter()) {
            cmd = in.take();
            if (!commands.contains(cmd))
                fail(QStringLiteral("path command \"%1\" is not supported").arg(cmd));
        } else if (cmd.isNull() || cmd.toUpper() == u'Z') {
            fail(QStringLiteral("path data has a number without its command"));
        }
        if (first && cmd.toUpper() != u'M')
            fail(QStringLiteral("path data must begin with M"));
        first = false;
        builder.run(cmd, in);
        if (cmd == u'M')
            cmd = u'L';
        else if (cmd == u'm')
            cmd = u'l';
    }
    return builder.path();
}

}  // namespace svg
