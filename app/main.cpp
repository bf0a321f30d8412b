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

#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>
#include <iostream>

namespace {

const char* const kWindowClass = "Tmainform";
const char* const kWindowTitle = "欢迎使用奥数! 请登录...";

}  // namespace

int main(int argc, char** argv) {
    if (instance::anotherInstanceRunning(kWindowClass, kWindowTitle)) return 0;

    ui::Application app(argc, argv);
    // The class name of the window on X11, which the guard above looks for.
    QCoreApplication::setApplicationName(QStringLiteral("TmainForm"));
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

    mainForm.show();
    if (!upgradeNotice.empty()) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8("奥数天天练"), QString::fromStdString(upgradeNotice),
                        QMessageBox::Ok, &mainForm);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
        box.exec();
    }
    return app.exec();
}
