#include "application.h"

#include "pupil_error.h"
#include "text.h"

#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <exception>

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

void messageBox(const std::string& gbkText, const std::string& gbkCaption) {
    if (services().messageBox) return services().messageBox(gbkText, gbkCaption);
    QMessageBox box(QMessageBox::NoIcon, qtext(gbkCaption), qtext(gbkText), QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
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
                    QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(shownDetail));
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
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
