// The application object and the few process-wide services the handlers
// call: processing pending events, the system message box, the standard
// error box, a blocking pause and ending the process.
#pragma once

#include <QApplication>

class QMessageBox;

#include <exception>
#include <functional>
#include <string>

namespace ui {

// Catches every exception thrown by an event handler where events are
// dispatched, shows its message in the standard error box, and lets the
// program go on.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Runs the events that are waiting (repaints, queued clicks) and returns.
void processMessages();

// Shows a box over the window that owns it and waits until it is
// dismissed.  Over a full-screen window on Wayland the box is drawn inside
// that window, whose controls wait meanwhile: some compositors (weston)
// keep a full-screen window above its own dialogs.
void execBox(QMessageBox& box);

// A system message box with one OK button; waits until it is dismissed.
// Text and caption are GBK.
void messageBox(const std::string& gbkText, const std::string& gbkCaption);

// The standard error box for an error that reached the event loop: a short
// sentence for the pupil (a PupilError's own lead, otherwise one chosen by
// the kind of error), then the technical detail, which also goes to stderr.
void showError(const std::exception& error);
// The same for an error of unknown kind.
void showUnknownError();

// Blocks the window for the given time.
void pause(int milliseconds);

// Ends the process at once with the status given: no close handling,
// nothing written.
[[noreturn]] void terminate(int status);

// Replaceable services, so that tests can observe them instead of blocking
// or ending the test process.  Reset to the defaults with nullptr.
struct Services {
    std::function<void(const std::string& gbkText, const std::string& gbkCaption)> messageBox;
    std::function<void(const std::string& utf8Message)> showError;  // lead, empty line, detail
    std::function<void(int ms)> pause;
    std::function<void(int status)> terminate;  // may throw to unwind a test
};
Services& services();

// Thrown by a test's terminate service to unwind the handler that ended the
// program.
struct Terminated {
    int status;
};

}  // namespace ui
