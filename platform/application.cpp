#include "application.h"

#include "pupil_error.h"
#include "input_block.h"
#include "text.h"
#include "wayland.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <exception>
#include <vector>

namespace ui {

Services& services() {
    static Services s;
    return s;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // Blocks of a few megabytes and more (page bitmaps of up to 31 MB, and
    // the painter's scratch copies of them) come straight from the system
    // and go back to it when freed.  Left to itself, the allocator raises
    // this limit after the first such block and keeps the later ones.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const Terminated&) {
        throw;  // a test ending the program: let it unwind to the test
    } catch (const std::exception& e) {
        showError(e);
    } catch (...) {
        showUnknownError();
    }
    return false;
}

void processMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

namespace {

// The window a box belongs to: the active one, else the program's shown
// main window.  A box without one is a window of its own, which a Wayland
// compositor may keep below a full-screen window, out of the pupil's reach.
QWidget* boxOwner() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::Window) return w;
    return nullptr;
}

// A box inside its window: a veil over the window holds the box in its
// middle, and the window's own controls take no input meanwhile.
class BoxInside {
public:
    BoxInside(QMessageBox& box, QWidget* owner) : box_(box), veil_(owner) {
        for (QObject* o : owner->children())
            if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && !inputBlocked(w)) blocked_.push_back(w);
        for (QWidget* w : blocked_) setInputBlocked(w, true);
        veil_.setGeometry(owner->rect());
        box.setParent(&veil_, Qt::Widget);
        box.setAutoFillBackground(true);
        box.setStyleSheet(QStringLiteral("QMessageBox { background-color: #F0F0F0; border: 2px solid #808080; }"));
        box.adjustSize();
        box.move((veil_.width() - box.width()) / 2, (veil_.height() - box.height()) / 2);
        veil_.show();
        veil_.raise();
    }
    ~BoxInside() {
        box_.hide();
        box_.setParent(nullptr);  // the box is its caller's, not the veil's
        for (QWidget* w : blocked_)
            if (w) setInputBlocked(w, false);
    }
    BoxInside(const BoxInside&) = delete;
    BoxInside& operator=(const BoxInside&) = delete;

private:
    QMessageBox& box_;
    QWidget veil_;
    std::vector<QPointer<QWidget>> blocked_;
};

}  // namespace

void execBox(QMessageBox& box) {
    QWidget* owner = box.parentWidget();
    if (!owner || !onWayland() || !owner->isFullScreen()) {
        box.exec();
        return;
    }
    // Weston keeps a full-screen window above its own dialogs: there the
    // box, a window of its own, would wait unseen.  It is shown inside the
    // window instead.
    const BoxInside inside(box, owner);
    box.exec();
}

void messageBox(const std::string& gbkText, const std::string& gbkCaption) {
    if (services().messageBox) return services().messageBox(gbkText, gbkCaption);
    QMessageBox box(QMessageBox::NoIcon, qtext(gbkCaption), qtext(gbkText), QMessageBox::Ok, boxOwner());
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    execBox(box);
}

namespace {

std::string leadOf(const std::exception& error) {
    if (auto* pupil = dynamic_cast<const PupilError*>(&error)) return pupil->lead();
    if (dynamic_cast<const std::bad_alloc*>(&error)) return "电脑的内存不够用了，无法继续。";
    return "程序出了问题，无法继续。";
}

void showBox(const std::string& lead, const std::string& detail, const std::string& shownDetail) {
    // The detail goes to stderr whole, so a report from a pupil's computer
    // can name what failed.
    std::fprintf(stderr, "aoshu: error: %s (%s)\n", lead.c_str(), detail.c_str());
    std::fflush(stderr);
    const std::string text = lead + "\n\n" + shownDetail;
    if (services().showError) return services().showError(text);
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), QString::fromStdString(lead),
                    QMessageBox::Ok, boxOwner());
    box.setInformativeText(QString::fromStdString(shownDetail));
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    execBox(box);
}

}  // namespace

void showError(const std::exception& error) {
    auto* pupil = dynamic_cast<const PupilError*>(&error);
    showBox(leadOf(error), error.what(), pupil ? pupil->shownDetail() : error.what());
}

void showUnknownError() { showBox("程序出了问题，无法继续。", "unknown error", "原因不明"); }

void pause(int milliseconds) {
    if (services().pause) return services().pause(milliseconds);
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void terminate(int status) {
    if (services().terminate) services().terminate(status);
    std::exit(status);
}

}  // namespace ui
