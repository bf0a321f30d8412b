#include "application.h"

#include "text.h"

#include <QMessageBox>
#include <QThread>

#include <cstdlib>
#include <exception>

namespace ui {

Services& services() {
    static Services s;
    return s;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

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
