// The bundled database: enough questions, units and posts for every grade,
// every scrambled field readable, every picture decodable, and a full
// homework for every grade drawn by the real window.
#include "form_fixture.h"

#include "jpeg.h"

#include <algorithm>
#include <map>

namespace {

class BundledContentTest : public ProgramTest {
public:
    std::string databaseToCopy() const override { return BUNDLED_DATABASE; }

    // Opens the copy through the program's own data module.
    data::Tdatam& db() {
        if (!datam) {
            create();
            datam->OpenDatabase();
        }
        return *datam;
    }

    std::vector<std::map<std::string, std::string>> rows(const std::string& utf8Sql,
                                                         const std::vector<std::string>& columns) {
        std::vector<std::map<std::string, std::string>> out;
        db().RunQuery(gbk::fromUtf8(utf8Sql));
        for (data::Query& q = db().a_ls; !q.eof(); q.next()) {
            std::map<std::string, std::string> row;
            for (const std::string& c : columns) row[c] = q.fieldByName(c).asString();
            out.push_back(row);
        }
        return out;
    }

    QSize pictureSize(const std::string& utf8Sql, const char* column) {
        data::Query& q = db().aft;
        q.setSql(gbk::fromUtf8(utf8Sql));
        q.open();
        const QImage img = jpeg::decode(q.fieldByName(column).asBytes());
        q.close();
        return img.size();
    }
};

std::size_t lineCount(const std::string& gbkText) {
    std::size_t n = gbkText.empty() ? 0 : 1;
    for (std::size_t at = gbkText.find("\r\n"); at != std::string::npos; at = gbkText.find("\r\n", at + 2)) ++n;
    return n;
}

}  // namespace

TEST_F(BundledContentTest, EveryQuestionReadsBackAsGbkWithAKeyAToD) {
    const auto questions = rows("select zd1,zd2,zd6,zd9,zd14 from b1", {"zd1", "zd2", "zd6", "zd9", "zd14"});
    ASSERT_GE(questions.size(), 11u * 20 + 40);
    for (const auto& q : questions) {
        SCOPED_TRACE(q.at("zd1"));
        const long long key = std::stoll(q.at("zd9"));
        const std::string text = data::Tdatam::UnscrambleField(q.at("zd2"), key);
        const std::string answer = data::Tdatam::UnscrambleField(q.at("zd6"), key);
        const std::string analysis = data::Tdatam::UnscrambleField(q.at("zd14"), key);
        EXPECT_NO_THROW(gbk::toUtf8(text));
        EXPECT_NO_THROW(gbk::toUtf8(analysis));
        ASSERT_EQ(answer.size(), 5u);
        EXPECT_TRUE(answer[4] >= 'A' && answer[4] <= 'D') << answer;
        EXPECT_GT(analysis.size(), 4u) << "every question has its worked solution";
    }
}

// The homework a pupil meets first (the first 20 of a grade, and the fixed
// mock paper) keeps a picture on a third of its questions and a picture in a
// fifth of its analyses; the whole bank has one on at least a quarter.
TEST_F(BundledContentTest, EveryGradeHasItsQuestionsAndPictures) {
    for (int grade = 0; grade <= 11; ++grade) {
        for (int pool : {2, 0, 1}) {
            if (pool != 2 && grade != 11) continue;
            SCOPED_TRACE("grade " + std::to_string(grade) + " pool " + std::to_string(pool));
            const std::string where = " from b1 where zd9=" + std::to_string(grade) + " and zd10=" + std::to_string(pool);
            const auto ids = rows("select zd1" + where + " order by zd1", {"zd1"});
            if (pool == 0) {
                EXPECT_EQ(ids.size(), 20u);
            }
            EXPECT_GE(ids.size(), 20u);
            int withPicture = 0, firstWithPicture = 0, firstAnalysisPicture = 0;
            for (std::size_t i = 0; i < ids.size(); ++i) {
                const std::string id = ids[i].at("zd1");
                const bool first = i < 20;
                const auto q = rows("select zd11,zd14,zd9 from b1 where zd1=" + id, {"zd11", "zd14", "zd9"}).at(0);
                if (q.at("zd11") == "1") {
                    ++withPicture;
                    firstWithPicture += first;
                    const QSize s = pictureSize("select zd12 from b1 where zd1=" + id, "zd12");
                    EXPECT_TRUE(s.width() <= 700 && s.height() <= 400) << id;
                }
                const std::string analysis = data::Tdatam::UnscrambleField(q.at("zd14"), std::stoll(q.at("zd9")));
                if (gbk::pos("<picture>", analysis)) {
                    firstAnalysisPicture += first;
                    const QSize s = pictureSize("select zd15 from b1 where zd1=" + id, "zd15");
                    EXPECT_TRUE(s.width() <= 700 && s.height() <= 400) << id;
                }
            }
            EXPECT_GE(withPicture * 4, static_cast<int>(ids.size()));
            if (pool != 1) {
                EXPECT_GE(firstWithPicture * 3, 20);
                EXPECT_GE(firstAnalysisPicture * 5, 20);
            }
        }
    }
}

// Every grade has a bank to draw a new homework from each day: at least 100
// questions, each tagged with a unit of its grade, at least 8 for every unit
// with a learning page, each such unit with easy and harder questions; the
// mock room has at least three papers of 20.
TEST_F(BundledContentTest, EveryGradeHasABankTaggedByUnit) {
    for (int grade = 0; grade <= 10; ++grade) {
        SCOPED_TRACE("grade " + std::to_string(grade));
        const std::string g = std::to_string(grade);
        EXPECT_GE(std::stoi(rows("select count(*) as n from b1 where zd9=" + g, {"n"}).at(0).at("n")), 100);
        EXPECT_EQ(rows("select zd1 from b1 where zd9=" + g + " and (zd16 is null or zd16 not in "
                       "(select zd4 from b4 where zd3=" + g + "))", {"zd1"}).size(), 0u);
        const auto units = rows("select zd4, (select count(*) from b1 where zd9=" + g + " and zd16=b4.zd4) as n, "
                                "(select count(*) from b1 where zd9=" + g + " and zd16=b4.zd4 and zd5<=2) as easy, "
                                "(select count(*) from b1 where zd9=" + g + " and zd16=b4.zd4 and zd5>=3) as harder "
                                "from b4 where zd3=" + g + "", {"zd4", "n", "easy", "harder"});
        for (const auto& u : units) {
            SCOPED_TRACE("unit " + u.at("zd4"));
            EXPECT_GE(std::stoi(u.at("n")), 8);
            EXPECT_GE(std::stoi(u.at("easy")), 1);
            EXPECT_GE(std::stoi(u.at("harder")), 1);
        }
    }
    const auto papers = rows("select zd17, count(*) as n, min(zd10) as lo, max(zd10) as hi from b1 "
                             "where zd9=11 and zd17 is not null group by zd17 order by zd17", {"zd17", "n", "lo", "hi"});
    ASSERT_GE(papers.size(), 3u);
    for (std::size_t i = 0; i < papers.size(); ++i) {
        EXPECT_EQ(papers[i].at("zd17"), std::to_string(i + 1));
        EXPECT_EQ(papers[i].at("n"), "20");
        const std::string pool = i == 0 ? "0" : "1";  // the first is the fixed paper
        EXPECT_EQ(papers[i].at("lo"), pool);
        EXPECT_EQ(papers[i].at("hi"), pool);
    }
}

TEST_F(BundledContentTest, EveryGradeHasUnitsWithLearningPages) {
    for (int grade = 0; grade <= 11; ++grade) {
        SCOPED_TRACE(grade);
        const auto units =
            rows("select zd4,zd5,zd6 from b4 where zd3=" + std::to_string(grade) + " order by zd4", {"zd4", "zd5", "zd6"});
        EXPECT_GE(units.size(), 6u);
        EXPECT_LE(units.size(), 10u);
        int empty = 0;
        for (std::size_t i = 0; i < units.size(); ++i) {
            const auto& u = units[i];
            EXPECT_EQ(u.at("zd4"), std::to_string(i)) << "units are numbered without gaps";
            if (u.at("zd6") == "空"_gbk) {
                ++empty;
                EXPECT_TRUE(u.at("zd5").empty());
                continue;
            }
            EXPECT_GE(lineCount(u.at("zd5")), 12u) << i;
            EXPECT_TRUE(gbk::pos("\r\n<pic", "\r\n" + u.at("zd5"))) << i;
        }
        EXPECT_GE(empty, 1);
        EXPECT_LE(empty, 2);
        if (grade == 11) {
            EXPECT_FALSE(rows("select zd1 from b4 where zd3=11 and zd2 like '模拟试卷%'", {"zd1"}).empty());
        }
    }
    // Every picture of a learning page or post decodes and fits the page.
    for (const auto& p : rows("select zd1 from b6", {"zd1"})) {
        const QSize s = pictureSize("select zd5 from b6 where zd1=" + p.at("zd1"), "zd5");
        EXPECT_LE(s.width(), 600) << p.at("zd1");
    }
}

TEST_F(BundledContentTest, DailyPostsStartUnread) {
    const auto posts = rows("select zd1,zd4,zd5 from b4 where zd3=12", {"zd1", "zd4", "zd5"});
    EXPECT_GE(posts.size(), 31u);  // the fixed post and at least thirty more
    EXPECT_EQ(rows("select zd1 from b4 where zd1=201 and zd3=12", {"zd1"}).size(), 1u);
    int withPicture = 0;
    for (const auto& p : posts) {
        EXPECT_EQ(p.at("zd4"), "0") << p.at("zd1");
        EXPECT_GE(lineCount(p.at("zd5")), 8u) << p.at("zd1");
        withPicture += gbk::pos("\r\n<pic", "\r\n" + p.at("zd5")) != 0;
    }
    EXPECT_GE(withPicture, 5);
}

TEST_F(BundledContentTest, EveryGradeDrawsAFullHomework) {
    for (int grade = 0; grade <= 11; ++grade) {
        for (int unit : {0, 1}) {
            SCOPED_TRACE("grade " + std::to_string(grade) + " unit " + std::to_string(unit));
            freshDatabase();
            start();
            form->c1->setItemIndex(grade);
            form->c1Change();
            form->c2->setItemIndex(unit);
            handle([this] { form->ExtractHomework(); });
            EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
            EXPECT_EQ(form->hw.QuestionCount, 20);
            for (int slot = 1; slot <= 20; ++slot) EXPECT_GE(form->hw.AnswerKeys(slot), 0);
        }
    }
}

// A pupil must not find the key from the question's place: every letter is
// the key of a fair share of a grade's questions, and the keys do not run
// A, B, C, D in turn.
TEST_F(BundledContentTest, KeysFollowNoPattern) {
    for (int grade = 0; grade <= 11; ++grade) {
        SCOPED_TRACE("grade " + std::to_string(grade));
        std::string keys;
        for (const auto& q : rows("select zd6,zd9 from b1 where zd9=" + std::to_string(grade) + " order by zd1",
                                  {"zd6", "zd9"}))
            keys += data::Tdatam::UnscrambleField(q.at("zd6"), grade).substr(4, 1);
        ASSERT_GE(keys.size(), 40u);
        for (char letter : std::string("ABCD"))
            EXPECT_GE(std::count(keys.begin(), keys.end(), letter) * 100, static_cast<long>(keys.size()) * 15)
                << letter;
        std::size_t inTurn = 0;
        for (std::size_t i = 1; i < keys.size(); ++i) inTurn += (keys[i] - keys[i - 1] + 4) % 4 == 1;
        EXPECT_LE(inTurn * 100, (keys.size() - 1) * 40) << keys;
    }
}
