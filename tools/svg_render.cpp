#include "svg_render.h"

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace svg {
namespace {

const QString kSong = QStringLiteral("宋体");

// Text in pictures is drawn in the two faces of the program: "宋体" (and
// "serif", and text without a family) in Noto Serif CJK SC, "黑体" (and
// "sans-serif") in Noto Sans CJK SC.
void installFontSubstitutes() {
    static bool done = false;
    if (done)
        return;
    QFont::insertSubstitution(kSong, QStringLiteral("Noto Serif CJK SC"));
    QFont::insertSubstitution(QStringLiteral("serif"), QStringLiteral("Noto Serif CJK SC"));
    QFont::insertSubstitution(QStringLiteral("黑体"), QStringLiteral("Noto Sans CJK SC"));
    QFont::insertSubstitution(QStringLiteral("sans-serif"), QStringLiteral("Noto Sans CJK SC"));
    done = true;
}

// Collects what Qt's SVG module says (category "qt.svg") while it lives;
// every other message goes on to the handler installed before.
class SvgComplaints {
public:
    SvgComplaints() {
        complaints_ = &list_;
        previous_ = qInstallMessageHandler(&SvgComplaints::handle);
    }
    ~SvgComplaints() {
        qInstallMessageHandler(previous_);
        complaints_ = nullptr;
    }
    SvgComplaints(const SvgComplaints&) = delete;
    SvgComplaints& operator=(const SvgComplaints&) = delete;

    void throwIfAny() const {
        if (!list_.isEmpty())
            throw Error("Qt's SVG module: " + list_.join(QStringLiteral("; ")).toStdString());
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (complaints_ && context.category && QByteArray(context.category).startsWith("qt.svg"))
            complaints_->push_back(text);
        else if (previous_)
            previous_(type, context, text);
    }

    QStringList list_;
    static inline QStringList* complaints_ = nullptr;
    static inline QtMessageHandler previous_ = nullptr;
};

// Draws the picture into target, which the viewBox fills keeping its aspect,
// centred (SVG's default "xMidYMid meet"); QSvgRenderer itself stretches.
void draw(const QByteArray& text, QPaintDevice& device, const QRectF& target) {
    installFontSubstitutes();
    SvgComplaints complaints;
    QSvgRenderer renderer;
    if (!renderer.load(text))
        throw Error("Qt's SVG module cannot read the picture");
    complaints.throwIfAny();
    const QRectF box = renderer.viewBoxF();
    QRectF fitted = target;
    if (box.width() > 0 && box.height() > 0) {
        const double scale = std::min(target.width() / box.width(), target.height() / box.height());
        fitted.setSize(box.size() * scale);
        fitted.moveCenter(target.center());
    }
    QPainter painter(&device);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    painter.setFont(QFont(kSong));  // text without a font-family
    renderer.render(&painter, fitted);
    painter.end();
    complaints.throwIfAny();
}

// Ends the process when a picture draws for longer than the limit, saying
// which: Qt's SVG module cannot be stopped half way, and a picture that
// draws for minutes would stall the build without a word.
class RenderWatch {
public:
    RenderWatch(const QString& path, std::chrono::milliseconds limit)
        : thread_([this, name = path.toStdString(), limit] { watch(name, limit); }) {}
    ~RenderWatch() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    RenderWatch(const RenderWatch&) = delete;
    RenderWatch& operator=(const RenderWatch&) = delete;

private:
    void watch(const std::string& name, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, limit, [this] { return done_; }))
            return;
        std::fprintf(stderr, "%s: the picture takes longer than %lld ms to draw; the build stops\n", name.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(kRenderTimeoutStatus);
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;  // last: it starts once the rest is there
};

}  // namespace

QImage render(const QByteArray& svgText) {
    const Size size = check(std::string_view(svgText.constData(), static_cast<std::size_t>(svgText.size())));
    QImage image(size.width, size.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    draw(svgText, image, QRectF(0, 0, size.width, size.height));
    return image;
}

QImage renderFile(const QString& path, std::chrono::milliseconds limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error("cannot be read: " + file.errorString().toStdString());
    RenderWatch watch(path, limit);
    return render(file.readAll());
}

QImage renderIcon(const QByteArray& svgText, int side) {
    const Size size = check(std::string_view(svgText.constData(), static_cast<std::size_t>(svgText.size())));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const double scale = std::min(double(side) / size.width, double(side) / size.height);
    QRectF target(0, 0, size.width * scale, size.height * scale);
    target.moveCenter(QPointF(side / 2.0, side / 2.0));
    draw(svgText, image, target);
    return image;
}

}  // namespace svg
