// Reports on databases the tests fill: questions of their own, the slots of
// the last homework and its record, then the report as the pupil opens it.
#pragma once

#include "homework_fixture.h"

#include <QImage>

#include <string>
#include <vector>

class ReportTest : public HomeworkTest {
public:
    struct Question {
        int id;
        std::string text;      // UTF-8, lines joined by CR LF
        char key = 'A';
        std::string analysis;  // UTF-8 clear analysis with its four-byte lead ("分析..."); "" for none
        int pictureHeight = 0;  // question picture (zd12), 0 for none
        int analysisPictureHeight = 0;
    };
    struct Slot {
        int questionId;
        const char* chosen;
    };

    // Questions outside every homework pool, scrambled with key 3.
    void putQuestion(const Question& q);
    // A picture of the given size in one flat colour.
    static QImage flatPicture(int width, int height, QColor color = QColor(0, 0, 255));
    void putPicture(int id, const char* column, const QImage& picture);
    // Slots 1.. hold these; the other slots hold no question.
    void putSlots(const std::vector<Slot>& filled);
    void putRecord(const char* start, const char* finish, int seconds, int score);

    // Starts the program and opens "上次作业".
    void openLastHomework();
    // Starts the program (unless it runs) and shows the given report text
    // (UTF-8 lines) in the viewer.
    void paginate(const std::vector<std::string>& lines);
    std::vector<std::string> reportLines() const;  // UTF-8
    std::string pageTable() const { return form->PageTable(); }
};
