// The database built from the seed content: tables, required rows, ids,
// scrambled columns, pictures and the password digest.
#include "builder.h"
#include "datam.h"
#include "gbk.h"
#include "jpeg.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QImage>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// The program's own reading of a scrambled column.
std::string unscramble(const std::string& stored, int key) { return data::Tdatam::UnscrambleField(stored, key); }

QImage decodeJpeg(const std::string& bytes) {
    return jpeg::decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

class SeedDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        path_ = dir_->path().toStdString() + "/dat/kelvma.dat";
        problems_ = content::buildDatabase(SEED_CONTENT_DIR, path_);
    }
    static void TearDownTestSuite() { delete dir_; }

    void SetUp() override {
        ASSERT_EQ(problems_, content::Problems{});
        ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    }
    void TearDown() override { sqlite3_close(db_); }

    // Rows of a query, every value as text ("NULL" for null).
    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
        std::vector<std::vector<std::string>> out;
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                auto* text = reinterpret_cast<const char*>(sqlite3_column_blob(stmt, c));
                row.push_back(sqlite3_column_type(stmt, c) == SQLITE_NULL
                                  ? "NULL"
                                  : std::string(text ? text : "", sqlite3_column_bytes(stmt, c)));
            }
            out.push_back(row);
        }
        sqlite3_finalize(stmt);
        return out;
    }
    std::string value(const std::string& sql) {
        auto r = rows(sql);
        return r.empty() || r[0].empty() ? "<no row>" : r[0][0];
    }

    static QTemporaryDir* dir_;
    static std::string path_;
    static content::Problems problems_;
    sqlite3* db_ = nullptr;
};

QTemporaryDir* SeedDatabase::dir_ = nullptr;
std::string SeedDatabase::path_;
content::Problems SeedDatabase::problems_;

TEST_F(SeedDatabase, EveryTableIsStrictAndTheViewExists) {
    for (const char* table : {"dbinfo", "b1", "b2", "b3", "b4", "b5", "b6"}) {
        std::string sql = value(std::string("select sql from sqlite_master where type='table' and name='") + table + "'");
        EXPECT_NE(sql.find("STRICT"), std::string::npos) << table << ": " << sql;
    }
    EXPECT_EQ(value("select count(*) from sqlite_master where type='view' and name='v_b'"), "1");
    EXPECT_EQ(value("pragma integrity_check"), "ok");
}

TEST_F(SeedDatabase, RequiredRowsHoldTheirStartingValues) {
    EXPECT_EQ(rows("select zd1, zd3, zd4, zd5, zd6, zd12 from b2"),
              (std::vector<std::vector<std::string>>{{"1", "NULL", "NULL", "0", "0", "0"}}));
    EXPECT_EQ(rows("select zd1, zd5, zd6 from b5"), (std::vector<std::vector<std::string>>{{"1", "0", "0"}}));
    auto slotRows = rows("select zd1, zd2, zd3, zd4, zd5, zd6 from b3 order by zd1");
    ASSERT_EQ(slotRows.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(slotRows[i], (std::vector<std::string>{std::to_string(i + 1), "1", "0", "", "0", "0"}));
    EXPECT_EQ(value("select count(*) from v_b where zd102=1"), "20");
}

TEST_F(SeedDatabase, QuestionIdsFollowGradeAndFileOrder) {
    EXPECT_EQ(value("select group_concat(zd1) from (select zd1 from b1 where zd9=3 order by zd1)"),
              "3001,3002,3003,3004,3005,3006,3007,3008,3009,3010,3011,3012,3013,3014,3015,3016,3017,3018,"
              "3019,3020,3021,3022");
    EXPECT_EQ(value("select group_concat(zd1) from (select zd1 from b1 where zd9=11 and zd10=0 order by zd1)"),
              "11002,11003,11005,11006");
    EXPECT_EQ(value("select group_concat(zd1) from (select zd1 from b1 where zd9=11 and zd10=2 order by zd1)"),
              "11001,11004,11007");
    EXPECT_EQ(value("select count(*) from b1 where zd9=10"), "0");
    EXPECT_EQ(value("select count(*) from b1 where zd7<>0 or zd5 not between 1 and 5"), "0");
}

TEST_F(SeedDatabase, ScrambledColumnsGiveBackTheClearText) {
    auto row = rows("select zd2, zd6, zd14, zd9 from b1 where zd1=3001")[0];
    int key = std::stoi(row[3]);
    EXPECT_EQ(key, 3);
    EXPECT_EQ(unscramble(row[0], key),
              gbk::fromUtf8("计算 25 × 4 + 75 × 4 的结果是多少？\r\nA) 300    B) 400    C) 500    D) 350"));
    EXPECT_EQ(unscramble(row[1], key), "答案B"_gbk);
    EXPECT_EQ(unscramble(row[2], key),
              gbk::fromUtf8("分析25 × 4 + 75 × 4 = (25 + 75) × 4 = 100 × 4 = 400。\r\n所以选B。"));
    // Stored scrambled text is plain ASCII, so it survives any text encoding.
    for (unsigned char c : row[0])
        EXPECT_LT(c, 0x80);
}

TEST_F(SeedDatabase, KeyAndAnalysisLengthsFollowTheProgramsTests) {
    // The fifth clear byte is the key; a missing analysis is an empty column.
    EXPECT_EQ(unscramble(value("select zd6 from b1 where zd1=11002"), 11), "答案C"_gbk);
    EXPECT_EQ(value("select zd14 from b1 where zd1=3021"), "");
    EXPECT_GT(value("select zd14 from b1 where zd1=3001").size(), 12u);
}

TEST_F(SeedDatabase, PicturesAreJpegsOfTheDrawnSize) {
    auto row = rows("select zd11, zd12, zd15 from b1 where zd1=3003")[0];
    EXPECT_EQ(row[0], "1");
    QImage question = decodeJpeg(row[1]);
    QImage analysis = decodeJpeg(row[2]);
    EXPECT_EQ(question.size(), QSize(240, 150));
    EXPECT_EQ(analysis.size(), QSize(520, 160));
    EXPECT_GT(qGray(question.pixel(5, 5)), 245);  // white background
    EXPECT_EQ(rows("select zd11, zd12 from b1 where zd1=3001")[0], (std::vector<std::string>{"0", "NULL"}));
}

TEST_F(SeedDatabase, UnitsAreNumberedByGradeAndPosition) {
    EXPECT_EQ(value("select group_concat(zd4) from (select zd4 from b4 where zd3=3 order by zd1)"), "0,1,2");
    EXPECT_EQ(rows("select zd2, zd6, zd5 from b4 where zd3=3 and zd4=2")[0],
              (std::vector<std::string>{"植树问题", "空", ""}));
    EXPECT_EQ(value("select substr(zd2, 1, 4) from b4 where zd3=11 and zd4=0"), "模拟试卷");
    EXPECT_EQ(value("select max(zd1) < 201 and min(zd1) = 1 and count(*) = max(zd1) from b4 where zd3<12"), "1");
    for (int grade = 0; grade < 12; ++grade)
        EXPECT_EQ(value("select count(*) >= 2 and sum(zd6='空') >= 1 from b4 where zd3=" + std::to_string(grade)), "1")
            << grade;
}

TEST_F(SeedDatabase, PostsStartAtTheFixedPost) {
    EXPECT_EQ(rows("select zd1, zd2, zd4 from b4 where zd3=12 order by zd1"),
              (std::vector<std::vector<std::string>>{{"201", "做作业的好习惯", "0"},
                                                     {"202", "凑十法", "0"},
                                                     {"203", "小高斯的故事", "0"},
                                                     {"204", "读题的小窍门", "0"}}));
    EXPECT_EQ(value("select zd5 from b4 where zd1=201"),
              "做作业的好习惯\r\n读题两遍，动手画一画，做完验一验。\r\n<pic1>");
}

TEST_F(SeedDatabase, PageAndPostPicturesAreKeyedByOwnerAndNumber) {
    EXPECT_EQ(value("select group_concat(zd4) from (select zd4 from b6 where zd2=3 and zd3=1 order by zd4)"), "1,2");
    EXPECT_EQ(value("select group_concat(zd4) from (select zd4 from b6 where zd2=12 and zd3=202 order by zd4)"), "1,2");
    QImage picture = decodeJpeg(value("select zd5 from b6 where zd2=12 and zd3=201 and zd4=1"));
    EXPECT_EQ(picture.size(), QSize(200, 100));
}

TEST_F(SeedDatabase, PasswordDigestIsSaltThenPassword) {
    std::string salt = value("select value from dbinfo where name='password-salt'");
    std::string digest = value("select value from dbinfo where name='password-sha256'");
    EXPECT_EQ(salt.size(), 32u);
    auto hashOf = [&](const std::string& password) {
        QByteArray bytes = QByteArray::fromHex(QByteArray::fromStdString(salt)) + QByteArray::fromStdString(password);
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
    };
    EXPECT_EQ(digest, hashOf("739184026551903"));
    EXPECT_NE(digest, hashOf("739184026551904"));
    EXPECT_EQ(value("select value from dbinfo where name='format'"), "1");
}

TEST_F(SeedDatabase, TheProgramOpensItWithItsPasswordOnly) {
    data::Tdatam datam;
    datam.programDir = dir_->path().toStdString();
    EXPECT_NO_THROW(datam.OpenDatabase());

    std::string wrong = data::Tdatam::BuildConnectionString(datam.programDir);
    wrong.replace(wrong.find("739184026551903"), 15, "739184026551904");
    data::Connection connection;
    connection.setConnectionString(wrong);
    EXPECT_THROW(connection.open(), data::DataError);
}

TEST(DatabaseSalt, EveryBuildDrawsItsOwnSalt) {
    QTemporaryDir dir;
    std::string salts[2];
    for (int i = 0; i < 2; ++i) {
        std::string path = dir.path().toStdString() + "/" + std::to_string(i) + ".dat";
        ASSERT_EQ(content::buildDatabase(SEED_CONTENT_DIR, path), content::Problems{});
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "select value from dbinfo where name='password-salt'", -1, &stmt, nullptr);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            salts[i] = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    EXPECT_FALSE(salts[0].empty());
    EXPECT_NE(salts[0], salts[1]);
}

}  // namespace
