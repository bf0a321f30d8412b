// Content that would make huge card bitmaps: every question of a homework
// with a very long text or a very large picture.  The homework draws within
// the memory bound, the card over a bound says so in Chinese, and the
// homework can be answered and graded.  Each case is a test of its own, so
// that its peak memory (VmHWM) is its own.
#include "homework_fixture.h"

#include "jpeg_encode.h"

#include <QImage>

#include <chrono>
#include <functional>
#include <fstream>
#include <iostream>

namespace {

// Peak and current resident memory of this process, in MB.
long long statusMegabytes(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::string(field).size())) / 1024;
    return -1;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string hexOf(const std::vector<unsigned char>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) hex += {digits[b >> 4], digits[b & 15]};
    return hex;
}

std::string pictureOnEveryQuestion(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return "update b1 set zd11=1, zd12=x'" + hexOf(jpeg::encode(image)) +
           "', zd2='" + HomeworkTest::scramble("看图：\r\n<picture>\r\nA) 1  B) 2  C) 3  D) 4"_gbk, 3) +
           "' where zd9=3";
}

std::string linesOnEveryQuestion(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i) text += "第"_gbk + std::to_string(i) + "行 A) 1  B) 2  C) 3  D) 4\r\n";
    return "update b1 set zd2='" + HomeworkTest::scramble(text, 3) + "' where zd9=3";
}

constexpr long long kBoundMb = 300;

// Under AddressSanitizer every allocation carries shadow memory and freed
// blocks wait in quarantine, so the process's peak says nothing of the
// program's own; the cards' sizes are still checked there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPeakMeansSomething = false;
#else
constexpr bool kPeakMeansSomething = true;
#endif

class CardMemory : public HomeworkTest {
protected:
    // Draws the homework on the file changed by sql; the homework must draw
    // without an error box and go on to a grading.
    void drawWithin(const std::string& what, const std::string& sql, const std::function<void()>& shown = [] {}) {
        freshDatabase();
        dbExec(sql);
        resetPeak();
        const long long before = statusMegabytes("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        startHomework();
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        const long long peak = statusMegabytes("VmHWM:");
        std::cout << what << ": drawn in " << took.count() << " ms, peak " << peak << " MB (" << before
                  << " MB before)\n";
        if (kPeakMeansSomething) EXPECT_LT(peak, kBoundMb) << what;
        ASSERT_TRUE(errors.empty()) << errors[0];
        EXPECT_EQ(form->hw.QuestionCount, 20);
        for (ui::Image* card : form->hw.CardImages) EXPECT_LE(card->height(), 2200) << what;
        shown();
        answerRight(20);
        finishAfter(30);
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(form->hw.GradingCount, 1);
    }
};

TEST_F(CardMemory, TwentyThousandLinesOnEveryQuestionAreCutWithASentence) {
    drawWithin("20,000 lines on every question", linesOnEveryQuestion(20000), [this] {
        // The last card's lines, as drawn.
        EXPECT_EQ(form->m_pd->lineCount(), 40u);
        EXPECT_EQ(u8(form->m_pd->line(39)), "（题目太长，后面的内容无法显示。）");
    });
}

TEST_F(CardMemory, AOneByTallPictureOnEveryQuestionIsScaledDown) {
    drawWithin("a 1 x 65,500 picture on every question", pictureOnEveryQuestion(1, 65500));
}

TEST_F(CardMemory, AnEightThousandSquarePictureOnEveryQuestionBecomesASentence) {
    drawWithin("an 8192 x 8192 picture on every question", pictureOnEveryQuestion(8192, 8192));
}

}  // namespace
