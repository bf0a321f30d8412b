#include "application.h"

#include "text.h"

#include <QMessageBox>
#include <QThread>

#include <cstdlib>
#include <malloc.h>
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
        showError(e.what());
    } catch (...) {
        showError("Unknown error.");
    }
    return false;
}

void processMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void messageBox(const std::string& gbkText, const std::string& gbkCaption) {
    if (services().messageBox) return services().messageBox(gbkText, gbkCaption);
    QMessageBox box(QMessageBox::NoIcon, qtext(gbkCaption), qtext(gbkText), QMessageBox::Ok);
    box.exec();
}

void showError(const std::string& utf8Message) {
    if (services().showError) return services().showError(utf8Message);
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    QString::fromUtf8(utf8Message.c_str()), QMessageBox::Ok);
    box.exec();
}

void pause(int milliseconds) {
    if (services().pause) return services().pause(milliseconds);
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void terminate(int status) {
    if (services().terminate) services().terminate(status);
    std::exit(status);
}

}  // namespace ui
