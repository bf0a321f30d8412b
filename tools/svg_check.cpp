#include "svg_check.h"

#include <QColor>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

#include <cmath>
#include <map>
#include <vector>

namespace svg {
namespace {

const QString kSvgNamespace = QStringLiteral("http://www.w3.org/2000/svg");
constexpr int kMaxSide = 4000;
constexpr std::size_t kMaxDepth = 64;
// Bounds on the drawing work a picture asks for: elements, and the numbers
// of all its paths and point lists together (a segment takes 1 to 7).
constexpr std::size_t kMaxElements = 2000;
constexpr std::size_t kMaxPathNumbers = 40000;

// The numbers in a path or point list, counted as runs of digits, before
// the list is read.
std::size_t digitRuns(const QString& v) {
    std::size_t runs = 0;
    bool inRun = false;
    for (QChar c : v) {
        const bool digit = c.isDigit();
        runs += digit && !inRun;
        inRun = digit;
    }
    return runs;
}

// The forms an attribute value may take.
enum class Form {
    Any,          // id, version
    Side,         // root width and height: whole pixels, 1 to kMaxSide
    ViewBox,      // x y width height, width and height above 0
    Coordinate,   // a number, optionally "px"
    Extent,       // the same, not negative
    Fraction,     // a number from 0 to 1
    Colour,       // none, #rgb, #rrggbb or a colour name
    Dashes,       // none, or lengths not negative
    Cap, Join, FillRule, Anchor, Weight, Family,
    Transform,    // translate, scale, rotate, matrix
    PathData,     // the commands M L H V C S Q T A Z with their numbers
    Points,       // x,y pairs
};

using Attributes = std::map<QString, Form>;

// Presentation attributes: allowed on every element and inside style="...".
// No "opacity" here: Qt's SVG module lays a group's opacity on each child
// separately, so overlapping children would come out darker than SVG draws
// them; it is allowed on single shapes and texts only.
const Attributes kPresentation = {
    {QStringLiteral("fill"), Form::Colour},           {QStringLiteral("fill-opacity"), Form::Fraction},
    {QStringLiteral("fill-rule"), Form::FillRule},     {QStringLiteral("stroke"), Form::Colour},
    {QStringLiteral("stroke-width"), Form::Extent},    {QStringLiteral("stroke-dasharray"), Form::Dashes},
    {QStringLiteral("stroke-linecap"), Form::Cap},     {QStringLiteral("stroke-linejoin"), Form::Join},
    {QStringLiteral("stroke-opacity"), Form::Fraction}, {QStringLiteral("font-size"), Form::Extent},
    {QStringLiteral("font-weight"), Form::Weight},     {QStringLiteral("font-family"), Form::Family},
    {QStringLiteral("text-anchor"), Form::Anchor},
};

Attributes shape(std::initializer_list<std::pair<const QString, Form>> own) {
    Attributes a(own);
    a.emplace(QStringLiteral("transform"), Form::Transform);
    a.emplace(QStringLiteral("opacity"), Form::Fraction);
    return a;
}

const Form C = Form::Coordinate, E = Form::Extent;

// Each element's own attributes, besides the presentation ones and id.
const std::map<QString, Attributes> kElements = {
    {QStringLiteral("svg"), {{QStringLiteral("width"), Form::Side}, {QStringLiteral("height"), Form::Side},
                             {QStringLiteral("viewBox"), Form::ViewBox}, {QStringLiteral("version"), Form::Any}}},
    {QStringLiteral("g"), {{QStringLiteral("transform"), Form::Transform}}},
    {QStringLiteral("line"), shape({{QStringLiteral("x1"), C}, {QStringLiteral("y1"), C},
                                    {QStringLiteral("x2"), C}, {QStringLiteral("y2"), C}})},
    {QStringLiteral("rect"), shape({{QStringLiteral("x"), C}, {QStringLiteral("y"), C},
                                    {QStringLiteral("width"), E}, {QStringLiteral("height"), E},
                                    {QStringLiteral("rx"), E}, {QStringLiteral("ry"), E}})},
    {QStringLiteral("circle"), shape({{QStringLiteral("cx"), C}, {QStringLiteral("cy"), C}, {QStringLiteral("r"), E}})},
    {QStringLiteral("ellipse"), shape({{QStringLiteral("cx"), C}, {QStringLiteral("cy"), C},
                                       {QStringLiteral("rx"), E}, {QStringLiteral("ry"), E}})},
    {QStringLiteral("polyline"), shape({{QStringLiteral("points"), Form::Points}})},
    {QStringLiteral("polygon"), shape({{QStringLiteral("points"), Form::Points}})},
    {QStringLiteral("path"), shape({{QStringLiteral("d"), Form::PathData}})},
    {QStringLiteral("text"), shape({{QStringLiteral("x"), C}, {QStringLiteral("y"), C}})},
};

// Elements that may hold other elements; shapes hold only <title>/<desc>,
// <text> only characters.
bool isContainer(const QString& name) { return name == QLatin1String("svg") || name == QLatin1String("g"); }

const QRegularExpression kNumber(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));

bool isNumber(const QString& s) { return kNumber.match(s).hasMatch(); }

QStringList numberList(const QString& v) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    return v.trimmed().split(separators, Qt::SkipEmptyParts);
}

// The number of a length, or NaN when it is not one.
double length(QString v) {
    v = v.trimmed();
    if (v.endsWith(QLatin1String("px")))
        v.chop(2);
    return isNumber(v) ? v.toDouble() : std::nan("");
}

bool allNumbers(const QStringList& list) {
    return std::all_of(list.begin(), list.end(), isNumber);
}

bool oneOf(const QString& v, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return v == QLatin1String(w); });
}

bool isColour(const QString& v) {
    if (v == QLatin1String("none"))
        return true;
    static const QRegularExpression hex(QStringLiteral("^#([0-9a-fA-F]{3}|[0-9a-fA-F]{6})$"));
    static const QRegularExpression name(QStringLiteral("^[a-z]+$"));
    return hex.match(v).hasMatch() || (name.match(v).hasMatch() && QColor::isValidColorName(v));
}

// One of the two faces or their generic names: "sans-serif" and "黑体" draw
// in the Hei face, "serif" and "宋体" in the Song face.  No lists: Qt's SVG
// module would take a list for one family name.
bool isFamily(QString n) {
    if (n.size() >= 2 && (n.front() == u'"' || n.front() == u'\'') && n.back() == n.front())
        n = n.mid(1, n.size() - 2);
    return oneOf(n, {"sans-serif", "serif"}) || n == QStringLiteral("宋体") || n == QStringLiteral("黑体");
}

bool isTransform(const QString& v) {
    static const QRegularExpression item(QStringLiteral(R"(\s*([a-zA-Z]+)\s*\(([^()]*)\)\s*,?)"));
    qsizetype at = 0;
    int items = 0;
    while (at < v.size()) {
        auto m = item.match(v, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch())
            return v.mid(at).trimmed().isEmpty() && items > 0;
        const QString name = m.captured(1);
        const QStringList args = numberList(m.captured(2));
        const auto n = args.size();
        bool fits = (name == QLatin1String("translate") && (n == 1 || n == 2)) ||
                    (name == QLatin1String("scale") && (n == 1 || n == 2)) ||
                    (name == QLatin1String("rotate") && (n == 1 || n == 3)) ||
                    (name == QLatin1String("matrix") && n == 6);
        if (!fits || !allNumbers(args))
            return false;
        at = m.capturedEnd();
        ++items;
    }
    return items > 0;
}

// Path data: a moveto first, then commands each followed by whole groups
// of their numbers (none for Z).  Returns what is wrong, or nothing.
QString pathProblem(const QString& v) {
    static const QRegularExpression token(
        QStringLiteral(R"(\s*,?\s*([MmLlHhVvCcSsQqTtAaZz]|[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?))"));
    static const QString commands = QStringLiteral("MLHVCSQTAZ");
    static const int arguments[] = {2, 2, 1, 1, 6, 4, 4, 2, 7, 0};
    QChar command;
    int numbers = 0;
    auto groupDone = [&]() -> QString {
        if (command.isNull())
            return {};
        const int n = arguments[commands.indexOf(command.toUpper())];
        if (n == 0 ? numbers != 0 : numbers == 0 || numbers % n != 0)
            return QStringLiteral("has %1 numbers after %2 (%3)")
                .arg(numbers)
                .arg(command)
                .arg(n == 0 ? QStringLiteral("it takes none") : QStringLiteral("groups of %1").arg(n));
        return {};
    };
    qsizetype at = 0;
    while (true) {
        while (at < v.size() && v[at].isSpace())
            ++at;
        if (at == v.size())
            break;
        auto m = token.match(v, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch())
            return QStringLiteral("has \"%1\", which is not a command M L H V C S Q T A Z or a number")
                .arg(v.mid(at).trimmed().left(8));
        const QString t = m.captured(1);
        if (t.size() == 1 && t[0].isLetter()) {
            if (QString why = groupDone(); !why.isEmpty())
                return why;
            if (command.isNull() && t[0].toUpper() != u'M')
                return QStringLiteral("must begin with M");
            command = t[0];
            numbers = 0;
        } else {
            if (command.isNull())
                return QStringLiteral("must begin with M");
            ++numbers;
        }
        at = m.capturedEnd();
    }
    if (command.isNull())
        return QStringLiteral("is empty");
    return groupDone();
}

QString problem(Form form, const QString& v) {
    const QString t = v.trimmed();
    switch (form) {
    case Form::Any:
        return {};
    case Form::Side: {
        double x = length(t);
        return x == std::floor(x) && x >= 1 && x <= kMaxSide
                   ? QString()
                   : QStringLiteral("must be a whole number of pixels, 1 to %1").arg(kMaxSide);
    }
    case Form::ViewBox: {
        const QStringList n = numberList(t);
        return n.size() == 4 && allNumbers(n) && n[2].toDouble() > 0 && n[3].toDouble() > 0
                   ? QString()
                   : QStringLiteral("must be four numbers: x y width height");
    }
    case Form::Coordinate:
        return std::isnan(length(t)) ? QStringLiteral("is not a number of pixels") : QString();
    case Form::Extent:
        return std::isnan(length(t)) ? QStringLiteral("is not a number of pixels")
               : length(t) < 0       ? QStringLiteral("is negative")
                                     : QString();
    case Form::Fraction:
        return isNumber(t) && t.toDouble() >= 0 && t.toDouble() <= 1 ? QString() : QStringLiteral("is not 0 to 1");
    case Form::Colour:
        return isColour(t) ? QString() : QStringLiteral("is not #rgb, #rrggbb, none or a colour name");
    case Form::Dashes: {
        const QStringList n = numberList(t);
        bool ok = t == QLatin1String("none") ||
                  (!n.isEmpty() && std::all_of(n.begin(), n.end(), [](const QString& d) { return length(d) >= 0; }));
        return ok ? QString() : QStringLiteral("is not none or lengths");
    }
    case Form::Cap:
        return oneOf(t, {"butt", "round", "square"}) ? QString() : QStringLiteral("is not butt, round or square");
    case Form::Join:
        return oneOf(t, {"miter", "round", "bevel"}) ? QString() : QStringLiteral("is not miter, round or bevel");
    case Form::FillRule:
        return oneOf(t, {"nonzero", "evenodd"}) ? QString() : QStringLiteral("is not nonzero or evenodd");
    case Form::Anchor:
        return oneOf(t, {"start", "middle", "end"}) ? QString() : QStringLiteral("is not start, middle or end");
    case Form::Weight:
        return oneOf(t, {"normal", "bold"}) ? QString() : QStringLiteral("is not normal or bold");
    case Form::Family:
        return isFamily(t) ? QString() : QStringLiteral("is not sans-serif, serif, 宋体 or 黑体");
    case Form::Transform:
        return isTransform(t) ? QString()
                              : QStringLiteral("is not a list of translate, scale, rotate and matrix");
    case Form::PathData:
        return pathProblem(t);
    case Form::Points: {
        const QStringList n = numberList(t);
        return allNumbers(n) && n.size() % 2 == 0 ? QString() : QStringLiteral("is not a list of x,y pairs");
    }
    }
    return {};
}

class Checker {
public:
    explicit Checker(std::string_view text) : xml_(QByteArray(text.data(), static_cast<qsizetype>(text.size()))) {}

    Size run() {
        if (!nextElement())
            fail(QStringLiteral("no <svg> element"));
        if (xml_.name() != QLatin1String("svg"))
            fail(QStringLiteral("the root element is <%1>, not <svg>").arg(xml_.qualifiedName()));
        const bool stroked = element(false, true);
        const auto a = xml_.attributes();
        for (const char* side : {"width", "height"})
            if (!a.hasAttribute(QLatin1String(side)))
                failHere(QStringLiteral("%1 is missing").arg(QLatin1String(side)));
        Size size{static_cast<int>(length(a.value(QLatin1String("width")).toString())),
                  static_cast<int>(length(a.value(QLatin1String("height")).toString()))};
        body(stroked);
        while (!xml_.atEnd())
            next();
        return size;
    }

private:
    [[noreturn]] void fail(const QString& why) const {
        throw Error(QStringLiteral("line %1: %2").arg(xml_.lineNumber()).arg(why).toStdString());
    }
    [[noreturn]] void failHere(const QString& why) const {
        fail(QStringLiteral("<%1>: %2").arg(xml_.qualifiedName()).arg(why));
    }

    // Reads one token; a document type declaration is refused, as its
    // entities would be expanded differently by the two readers.
    void next() {
        xml_.readNext();
        if (xml_.hasError())
            fail(QStringLiteral("not well-formed XML: %1").arg(xml_.errorString()));
        if (xml_.isDTD())
            fail(QStringLiteral("a document type declaration is not supported"));
    }

    bool nextElement() {
        while (!xml_.atEnd()) {
            next();
            if (xml_.isStartElement())
                return true;
        }
        return false;
    }

    bool skipsQuietly() const { return xml_.name() == QLatin1String("title") || xml_.name() == QLatin1String("desc"); }

    void skipElement() {
        for (int depth = 1; depth > 0;) {
            if (xml_.atEnd())
                fail(QStringLiteral("not well-formed XML: the document ends early"));
            next();
            depth += xml_.isStartElement() ? 1 : xml_.isEndElement() ? -1 : 0;
        }
    }

    // The start element where the reader stands: known, in the SVG
    // namespace, with known attributes of the right form.  Returns whether
    // its outlines are stroked (the stroke is inherited).  Text must not be:
    // Qt's SVG module draws a stroke on text one pixel wide, whatever its
    // stroke-width.
    bool element(bool parentStroked, bool root = false) {
        const QString name = xml_.name().toString();
        auto known = kElements.find(name);
        const bool svgNamespace = xml_.namespaceUri().isEmpty() || xml_.namespaceUri() == kSvgNamespace;
        if (known == kElements.end() || !svgNamespace)
            fail(QStringLiteral("<%1> is not supported").arg(xml_.qualifiedName()));
        if (!root && name == QLatin1String("svg"))
            fail(QStringLiteral("<svg> inside <svg> is not supported"));
        if (++elements_ > kMaxElements)
            failHere(QStringLiteral("more than %1 elements: the picture would take too long to draw").arg(kMaxElements));
        bool stroked = parentStroked;
        for (const auto& attr : xml_.attributes()) {
            const QString a = attr.qualifiedName().toString();
            const QString v = attr.value().toString();
            if (a == QLatin1String("style")) {
                style(v, stroked);
                continue;
            }
            if (a == QLatin1String("stroke"))
                stroked = v.trimmed() != QLatin1String("none");
            Form form = Form::Any;
            if (auto own = known->second.find(a); own != known->second.end())
                form = own->second;
            else if (auto p = kPresentation.find(a); p != kPresentation.end())
                form = p->second;
            else if (a != QLatin1String("id"))
                failHere(QStringLiteral("attribute \"%1\" is not supported").arg(a));
            if ((form == Form::PathData || form == Form::Points) &&
                (pathNumbers_ += digitRuns(v)) > kMaxPathNumbers)
                failHere(QStringLiteral("the paths and point lists hold more than %1 numbers: the picture would "
                                        "take too long to draw").arg(kMaxPathNumbers));
            value(a, form, v);
        }
        if (stroked && name == QLatin1String("text"))
            failHere(QStringLiteral("a stroke on text is not supported (set stroke=\"none\")"));
        return stroked;
    }

    void value(const QString& name, Form form, const QString& v) const {
        const QString why = problem(form, v);
        if (!why.isEmpty())
            failHere(QStringLiteral("%1 \"%2\" %3").arg(name, v.left(40), why));
    }

    void style(const QString& css, bool& stroked) const {
        for (const QString& item : css.split(u';', Qt::SkipEmptyParts)) {
            if (item.trimmed().isEmpty())
                continue;
            const qsizetype colon = item.indexOf(u':');
            const QString name = item.left(colon).trimmed();
            auto p = kPresentation.find(name);
            if (colon < 0 || p == kPresentation.end())
                failHere(QStringLiteral("style property \"%1\" is not supported").arg(name));
            value(name, p->second, item.mid(colon + 1));
            if (name == QLatin1String("stroke"))
                stroked = item.mid(colon + 1).trimmed() != QLatin1String("none");
        }
    }

    // Reads the rest of the document below the root, keeping the names of
    // the open elements (no recursion: the nesting depth is the author's).
    void body(bool rootStroked) {
        struct Open {
            QString name;
            bool stroked;
        };
        std::vector<Open> open{{QStringLiteral("svg"), rootStroked}};
        while (!open.empty()) {
            if (xml_.atEnd())
                fail(QStringLiteral("not well-formed XML: the document ends early"));
            next();
            if (xml_.isEndElement()) {
                open.pop_back();
                continue;
            }
            if (!xml_.isStartElement())
                continue;
            if (skipsQuietly()) {
                skipElement();
                continue;
            }
            const QString& parent = open.back().name;
            if (parent == QLatin1String("text"))
                fail(QStringLiteral("<%1> inside <text> is not supported").arg(xml_.qualifiedName()));
            if (!isContainer(parent))
                fail(QStringLiteral("<%1> inside a shape is not supported").arg(xml_.qualifiedName()));
            if (open.size() >= kMaxDepth)
                fail(QStringLiteral("elements are nested more than %1 deep").arg(kMaxDepth));
            const bool stroked = element(open.back().stroked);
            open.push_back({xml_.name().toString(), stroked});
        }
    }

    QXmlStreamReader xml_;
    std::size_t elements_ = 0;
    std::size_t pathNumbers_ = 0;
};

}  // namespace

Size check(std::string_view text) { return Checker(text).run(); }

}  // namespace svg
