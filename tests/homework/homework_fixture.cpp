#include "homework_fixture.h"

#include "inputs.h"

#include <QMouseEvent>

void HomeworkTest::startHomework(int grade, int unit) {
    dbExec("update b5 set zd5=" + std::to_string(grade) + ", zd6=" + std::to_string(unit) + " where zd1=1");
    start();
    handle([this] { form->BT1Click(); });
}

void HomeworkTest::answer(int slot, int option) { form->hw.AnswerGroups.at(slot - 1)->setItemIndex(option); }

void HomeworkTest::answerRight(int right) {
    for (int slot = 1; slot <= 20; ++slot) {
        const int key = kKeys[static_cast<std::size_t>(slot - 1)];
        answer(slot, slot <= right ? key : (key + 1) % 4);
    }
}

void HomeworkTest::finishAfter(int seconds) {
    form->hw.SecondsLeft() -= seconds;
    handle([this] { form->BJSClick(); });
}

std::string HomeworkTest::scramble(const std::string& gbkText, int key) {
    std::string out;
    for (unsigned char b : gbkText) {
        out += static_cast<char>('0' + b / 100 + 20 + key);
        out += static_cast<char>('0' + b / 10 % 10 + 17 + key);
        out += static_cast<char>('0' + b % 10 + 17 + key);
    }
    return out;
}

void HomeworkTest::queueClick(QWidget* control) {
    const QPointF at(5, 5);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(control, new QMouseEvent(type, at, control->mapToGlobal(at), Qt::LeftButton,
                                                             type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                             Qt::NoModifier));
}
