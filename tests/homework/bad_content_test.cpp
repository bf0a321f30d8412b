// Bad content in a sound file: each case ends in the error box, with a
// sentence for the pupil in front of the detail, or in a sensible display;
// the program goes on, and a drawing that stopped wrote nothing.
#include "homework_fixture.h"

#include "jpeg.h"
#include "jpeg_encode.h"

#include <QImage>

namespace {

std::string hexOf(const std::vector<unsigned char>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) hex += {digits[b >> 4], digits[b & 15]};
    return hex;
}

std::vector<unsigned char> aJpeg(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return jpeg::encode(image);
}

// A baseline JPEG whose frame header claims width x height.
std::vector<unsigned char> claimingSize(int width, int height) {
    std::vector<unsigned char> bytes = aJpeg(16, 16);
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = static_cast<unsigned char>(height >> 8), bytes[i + 6] = static_cast<unsigned char>(height);
            bytes[i + 7] = static_cast<unsigned char>(width >> 8), bytes[i + 8] = static_cast<unsigned char>(width);
            break;
        }
    return bytes;
}

std::string manyLines(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i) text += "第" + std::to_string(i) + "行\r\n";
    return text;
}

}  // namespace

TEST_F(HomeworkTest, BadContentEndsInTheErrorBoxOrASensibleDisplay) {
    const std::vector<unsigned char> jpeg = aJpeg(200, 120);
    const struct {
        const char* what;
        std::string sql;        // run on the file before the start
        const char* lead;       // the error box's first line; nullptr: no error
    } cases[] = {
        {"picture that is no JPEG", "update b1 set zd11=1, zd12=x'89504E470D0A1A0A0000' where zd1=3003",
         "第3题的图片已损坏，无法显示。"},
        {"picture cut in half",
         "update b1 set zd11=1, zd12=x'" + hexOf({jpeg.begin(), jpeg.begin() + jpeg.size() / 2}) + "' where zd1=3003",
         "第3题的图片已损坏，无法显示。"},
        // Too large to decode: the card says so in place of the picture.
        {"picture claiming 60000 x 60000 pixels",
         "update b1 set zd11=1, zd12=x'" + hexOf(claimingSize(60000, 60000)) + "' where zd1=3004", nullptr},
        {"picture flag without a picture", "update b1 set zd11=1, zd12=null where zd1=3005", "第5题的图片已损坏，无法显示。"},
        {"question text that is not digits", "update b1 set zd2='abcdefghi' where zd1=3006", "第6题的题目数据有误。"},
        {"question text cut after a group and a byte",
         "update b1 set zd2='" + scramble("A) 1 B) 2 C) 3 D) 4"_gbk, 3) + "x' where zd1=3007", nullptr},
        {"question text of odd length", "update b1 set zd2=substr(zd2, 1, length(zd2) - 2) where zd1=3008", nullptr},
        {"answer key cut to three bytes", "update b1 set zd6=substr(zd6, 1, 3) where zd1=3009", nullptr},
        {"answer key that is not digits", "update b1 set zd6='@@@@@@@@@@@@@@@' where zd1=3010", "第10题的题目数据有误。"},
        {"analysis of 100 kB", "update b1 set zd14='" + scramble("分析"_gbk + std::string(34000, 'x'), 3) +
                                   "' where zd1=3011", nullptr},
        {"question text of 5000 lines",
         "update b1 set zd2='" + scramble(gbk::fromUtf8(manyLines(5000)), 3) + "' where zd1=3012", nullptr},
        {"unit learning text of 5000 lines", "update b4 set zd5='" + manyLines(5000) + "' where zd3=3", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freshDatabase();
        dbExec(c.sql);
        dbExec("update b2 set zd3='2001-02-03 04:05:00' where zd1=1; update b3 set zd3=999");
        startHomework();
        if (c.lead) {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_EQ(errors[0].substr(0, errors[0].find('\n')), c.lead) << errors[0];
            EXPECT_GT(errors[0].size(), std::string(c.lead).size() + 2) << "the detail follows";
            // Nothing of the stopped drawing reached the file.
            EXPECT_EQ(dbText("select zd3 from b2 where zd1=1"), "2001-02-03 04:05:00");
            EXPECT_EQ(dbInt("select count(*) from b3 where zd3=999"), 20);
        } else {
            EXPECT_TRUE(errors.empty()) << errors[0];
            EXPECT_EQ(form->hw.QuestionCount, 20);
            EXPECT_TRUE(form->page1->isVisible());
            EXPECT_EQ(dbInt("select count(*) from b3 where zd3 between 3001 and 3020"), 20);
            answerRight(20);
            finishAfter(30);
            EXPECT_TRUE(errors.empty());
            EXPECT_EQ(form->hw.GradingCount, 1);
        }
        // The program goes on: the exit still works.
        form->BENDClick();
        EXPECT_EQ(bt1(), "确认退出");
        form->BT1Click();
        EXPECT_FALSE(form->isVisible());
    }
}
