#include "class_mode.h"

#include "datam.h"
#include "gbk.h"
#include "make_control.h"

#include <QEvent>
#include <QObject>
#include <QTimer>

namespace classroom {
namespace {

const QColor kSynced(0x00, 0x80, 0x00);
const QColor kWaiting(0x80, 0x40, 0x00);

// Keeps the mark right of `after` and hides it where it would reach
// `before` (a narrow bar).
class Placer : public QObject {
public:
    Placer(ui::Label* mark, QWidget* after, QWidget* before) : QObject(mark), mark_(mark), after_(after), before_(before) {
        for (QWidget* w : {after, before, mark->parentWidget()}) w->installEventFilter(this);
        mark->installEventFilter(this);
        place();
    }

    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::Show) place();
        return false;
    }

    void place() {
        const int left = after_->x() + after_->width() + 16;
        const int top = after_->y() + after_->height() - mark_->height();  // on the date line's baseline
        if (mark_->x() != left || mark_->y() != top) mark_->move(left, top);
        const bool fits = left + mark_->width() + 8 <= before_->x();
        if (mark_->isVisibleTo(mark_->parentWidget()) != (fits && wanted)) mark_->setVisible(fits && wanted);
    }

    bool wanted = false;
    ui::Label* mark_;

private:
    QWidget* after_;
    QWidget* before_;
};

void show(Placer* placer, const std::string& utf8, const QColor& color) {
    ui::Label* mark = placer->mark_;
    ui::FontSpec font = mark->font();
    font.color = color;
    mark->setFont(font);
    mark->setCaption(gbk::fromUtf8(utf8));
    placer->wanted = !utf8.empty();
    placer->place();
}

}  // namespace

std::string markText(int count) {
    if (count < 0) return "";
    if (count == 0) return "已同步";
    return "待同步 " + std::to_string(count);
}

ClassMode::ClassMode(const Config& config, data::Tdatam& datam, QWidget* bar, QWidget* after, QWidget* before) {
    if (!config.settings && config.notice.empty()) return;
    mark_ = ui::makeLabel(bar, "LabelClass", 0, 0, 10, 16, "", ui::makeFont("宋体", 14, kSynced));
    auto* placer = new Placer(mark_, after, before);
    if (!config.notice.empty()) show(placer, config.notice, ui::kRed);
    if (!config.settings) return;

    const Settings& s = *config.settings;
    datam.classMember = data::outbox::Member{s.school, s.className, s.pupil};
    Sender::Options options;
    options.databaseFile = datam.programDir + "/dat/kelvma.dat";
    options.server = s.server;
    sender_ = std::make_unique<Sender>(options);
    // A notice stays a while before the count takes its place.
    struct Shown {
        bool count;
        int last = -1;
    };
    auto shown = std::make_shared<Shown>(Shown{config.notice.empty()});
    auto* mark = mark_;
    auto showCount = [placer, shown] {
        if (shown->count) show(placer, markText(shown->last), shown->last == 0 ? kSynced : kWaiting);
    };
    if (!shown->count) QTimer::singleShot(15000, mark_, [shown, showCount] {
        shown->count = true;
        showCount();
    });
    QObject::connect(sender_.get(), &Sender::pending, mark, [shown, showCount](int count) {
        shown->last = count;
        showCount();
    });
    QObject::connect(sender_.get(), &Sender::serverState, mark, [mark](const QString& problem) {
        std::string hint;
        try {
            hint = gbk::fromUtf8(problem.toStdString());
        } catch (const gbk::EncodingError&) {
        }
        mark->setHint(hint);
        mark->setShowHint(!hint.empty());
    });
    sender_->start();
}

ClassMode::~ClassMode() {
    if (sender_) sender_->stop(std::chrono::seconds(1));
}

}  // namespace classroom
