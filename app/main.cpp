// Process entry: one instance per desktop, then the window and the data
// module, then the event loop.
#include "application.h"
#include "class_mode.h"
#include "config.h"
#include "data_place.h"
#include "data_upgrade.h"
#include "datam.h"
#include "mainform.h"
#include "single_instance.h"
#include "text.h"
#include "wayland.h"

#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>
#include <iostream>

namespace {

const char* const kWindowClass = "Tmainform";
const char* const kWindowTitle = "欢迎使用奥数! 请登录...";

}  // namespace

int main(int argc, char** argv) {
    // On a Wayland desktop the program is a Wayland client (docs/desktop.md).
    ui::preferNativeWayland();
    if (instance::anotherInstanceRunning(kWindowClass, kWindowTitle)) return 0;

    ui::Application app(argc, argv);
    // The class name of the window on X11, which the guard above looks for.
    QCoreApplication::setApplicationName(QStringLiteral("TmainForm"));
    // The application id on Wayland: the name of the menu entry, aoshu.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("aoshu"));
    ui::installFontSubstitutions();

    data::Tdatam datam;
    // The folder holding dat/: beside the program, or the user's own copy.
    app::ignoreRelativeXdgDirs();
    const app::DataPlace place = app::chooseDataFolder(QCoreApplication::applicationDirPath().toStdString());
    if (!place.problem.empty())
        std::cerr << "aoshu: " << place.problem << "\n";
    datam.programDir = place.folder.string();
    const std::string upgradeNotice =
        app::upgradeDatabase(QCoreApplication::applicationDirPath().toStdString(), place.folder);
    // Class mode, when the school or the user has set it up.
    const classroom::Config classConfig = classroom::readConfig(
        classroom::configFiles(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")), classroom::accountPupil());
    for (const std::string& problem : classConfig.problems) std::cerr << "aoshu: " << problem << "\n";
    TmainForm mainForm(datam);
    datam.DataModuleCreate();
    const classroom::ClassMode classMode(classConfig, datam, mainForm.Panel5, mainForm.Lpy, mainForm.Panel8);
    datam.showNotice = [&mainForm](const std::string& text) { mainForm.ShowNotice(text); };
    // A second start on a Wayland desktop hands over a token to come forward with.
    instance::listenForSecondStarts(kWindowClass, [&mainForm](const std::string& token) {
        if (!ui::activateWithToken(mainForm.windowHandle(), token))
            std::cerr << "aoshu: a second start asked for the window, but this desktop offers no xdg-activation"
                         " (or the window is not shown yet)\n";
    });

    mainForm.show();
    if (!upgradeNotice.empty()) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8("奥数天天练"), QString::fromStdString(upgradeNotice),
                        QMessageBox::Ok, &mainForm);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
        ui::execBox(box);
    }
    return app.exec();
}
