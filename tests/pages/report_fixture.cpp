#include "report_fixture.h"

#include "jpeg.h"
#include "jpeg_encode.h"

#include <QBuffer>

namespace {

std::string hex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string stored(const std::string& utf8) { return HomeworkTest::scramble(gbk::fromUtf8(utf8), 3); }

}  // namespace

QImage ReportTest::flatPicture(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

void ReportTest::putPicture(int id, const char* column, const QImage& picture) {
    dbExec("update b1 set " + std::string(column) + "=X'" + hex(jpeg::encode(picture)) + "' where zd1=" +
           std::to_string(id));
}

void ReportTest::putQuestion(const Question& q) {
    dbExec("insert or replace into b1 (zd1,zd2,zd5,zd6,zd7,zd9,zd10,zd11,zd14) values (" + std::to_string(q.id) +
           ",'" + stored(q.text) + "',1,'" + stored(std::string("答案") + q.key) + "',0,3,9," +
           (q.pictureHeight ? "1" : "0") + ",'" + stored(q.analysis) + "')");
    if (q.pictureHeight) putPicture(q.id, "zd12", flatPicture(200, q.pictureHeight));
    if (q.analysisPictureHeight) putPicture(q.id, "zd15", flatPicture(200, q.analysisPictureHeight));
}

void ReportTest::putSlots(const std::vector<Slot>& filled) {
    dbExec("update b3 set zd3=0, zd4='' where zd1 between 1 and 20");
    for (std::size_t i = 0; i < filled.size(); ++i)
        dbExec("update b3 set zd3=" + std::to_string(filled[i].questionId) + ", zd4='" + filled[i].chosen +
               "' where zd1=" + std::to_string(i + 1));
}

void ReportTest::putRecord(const char* start, const char* finish, int seconds, int score) {
    dbExec(std::string("update b2 set zd3='") + start + "', zd4='" + finish + "', zd5=" + std::to_string(seconds) +
           ", zd6=" + std::to_string(score) + " where zd1=1");
}

void ReportTest::openLastHomework() {
    start();
    handle([this] { form->BT2Click(); });
}

void ReportTest::paginate(const std::vector<std::string>& lines) {
    if (!form) start();
    std::string text;
    for (const std::string& line : lines) text += gbk::fromUtf8(line) + "\r\n";
    form->m_pd->setText(text);
    form->OpenPageViewer();
    handle([this] { form->PaginateReport(); });
}

std::vector<std::string> ReportTest::reportLines() const {
    std::vector<std::string> out;
    for (const std::string& line : form->m_pd->lines()) out.push_back(u8(line));
    return out;
}
