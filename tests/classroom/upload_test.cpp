// Uploads from many machines at once, and what each role may read and write.
#include "class_fixture.h"
#include "server_schema.h"
#include "upload.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

namespace {

using namespace classroom::testing;
using classroom::Connection;
using classroom::ServerError;
using classroom::Upload;

constexpr int kDay = 2461102;  // 2026-03-02

long long count(Connection& c, const std::string& sql, const std::vector<classroom::Param>& params = {}) {
    return c.exec(sql, params).integer(0, 0);
}

TEST(Upload, FortyMachinesAtOnceEachHomeworkOnceAlsoWhenSentTwice) {
    constexpr int kPupils = 40, kHomeworks = 5;
    const std::string cls = "三年级1班";
    Connection admin = MakeClass("up", cls, kPupils);
    // Two senders per pupil (as after a retry that crossed a slow answer)
    // send the same batch at the same moment.
    std::latch ready(2 * kPupils);
    std::atomic<int> added{0}, failures{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 2 * kPupils; ++t) {
        senders.emplace_back([&, t] {
            const int n = t / 2 + 1;
            const std::string login = PupilLogin("up", n);
            std::vector<data::outbox::Entry> batch;
            for (int h = 0; h < kHomeworks; ++h)
                batch.push_back(MakeEntry(login, cls, "学生" + std::string(n < 10 ? "0" : "") + std::to_string(n), h,
                                          kDay + h, 10 + h));
            try {
                Connection c = ConnectAs(login);
                ready.arrive_and_wait();
                added += Upload(c, batch);
            } catch (const std::exception& e) {
                ready.count_down();
                ++failures;
                ADD_FAILURE() << e.what();
            }
        });
    }
    for (std::thread& s : senders) s.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(added, kPupils * kHomeworks);
    EXPECT_EQ(count(admin, "SELECT count(*) FROM aoshu.homeworks WHERE class = $1", {cls}), kPupils * kHomeworks);
    EXPECT_EQ(count(admin, "SELECT count(*) FROM aoshu.answers WHERE class = $1", {cls}), kPupils * kHomeworks * 20);
    EXPECT_EQ(count(admin, "SELECT count(DISTINCT question_text) FROM aoshu.answers WHERE class = $1", {cls}), 20);

    // Sent again with one new homework: only that one is new.
    Connection c = ConnectAs(PupilLogin("up", 1));
    std::vector<data::outbox::Entry> again;
    for (int h = 0; h <= kHomeworks; ++h) again.push_back(MakeEntry(PupilLogin("up", 1), cls, "学生01", h, kDay + h, 12));
    EXPECT_EQ(Upload(c, again), 1);
    EXPECT_EQ(count(admin, "SELECT count(*) FROM aoshu.homeworks WHERE class = $1", {cls}), kPupils * kHomeworks + 1);
}

TEST(Upload, APupilWritesOnlyItsOwnRowsAndReadsNoOneElses) {
    const std::string cls = "三年级2班";
    Connection admin = MakeClass("rls", cls, 2);
    Connection pupil = ConnectAs(PupilLogin("rls", 1));
    ASSERT_EQ(Upload(pupil, {MakeEntry(PupilLogin("rls", 1), cls, "学生01", 1, kDay, 15)}), 1);
    Connection other = ConnectAs(PupilLogin("rls", 2));
    ASSERT_EQ(Upload(other, {MakeEntry(PupilLogin("rls", 2), cls, "学生02", 1, kDay, 16)}), 1);

    for (const char* table : {"aoshu.homeworks", "aoshu.answers", "aoshu.teachers"}) {
        SCOPED_TRACE(table);
        try {
            pupil.exec(std::string("SELECT count(*) FROM ") + table);
            ADD_FAILURE() << "a pupil read " << table;
        } catch (const ServerError& e) {
            EXPECT_EQ(e.state(), "42501");
        }
    }
    const classroom::Result mine = pupil.exec("SELECT pupil FROM aoshu.pupils");
    ASSERT_EQ(mine.rows(), 1);
    EXPECT_EQ(mine.text(0, 0), "学生01");

    // Writing as another pupil, or into another class, is refused whole;
    // so is a homework without answers (each table checks for itself).
    data::outbox::Entry bare = MakeEntry("z", cls, "学生02", 7, kDay, 20);
    bare.answers.clear();
    const std::vector<data::outbox::Entry> forged[] = {
        {MakeEntry(PupilLogin("rls", 1), cls, "学生01", 2, kDay, 20), MakeEntry("x", cls, "学生02", 3, kDay, 20)},
        {MakeEntry("y", "三年级1班", "学生01", 4, kDay, 20)},
        {bare},
    };
    for (const auto& batch : forged) {
        try {
            Upload(pupil, batch);
            ADD_FAILURE() << "a forged homework was taken";
        } catch (const ServerError& e) {
            EXPECT_TRUE(e.refused()) << e.what();
        }
    }
    EXPECT_EQ(count(admin, "SELECT count(*) FROM aoshu.homeworks WHERE class = $1", {cls}), 2);

    // Data the schema does not allow is refused, and the batch with it.
    data::outbox::Entry bad = MakeEntry(PupilLogin("rls", 1), cls, "学生01", 5, kDay, 20);
    bad.score = 150;
    try {
        Upload(pupil, {MakeEntry(PupilLogin("rls", 1), cls, "学生01", 6, kDay, 20), bad});
        ADD_FAILURE() << "a score of 150 was taken";
    } catch (const ServerError& e) {
        EXPECT_TRUE(e.refused());
        EXPECT_EQ(e.state(), "23514");
    }
    EXPECT_EQ(count(admin, "SELECT count(*) FROM aoshu.homeworks WHERE class = $1", {cls}), 2);
}

TEST(Upload, ATeacherReadsItsClassOnly) {
    Connection admin = MakeClass("t1", "四年级1班", 1);
    MakeClass("t2", "四年级2班", 1);
    Connection p1 = ConnectAs(PupilLogin("t1", 1));
    Upload(p1, {MakeEntry(PupilLogin("t1", 1), "四年级1班", "学生01", 1, kDay, 10)});
    Connection p2 = ConnectAs(PupilLogin("t2", 1));
    Upload(p2, {MakeEntry(PupilLogin("t2", 1), "四年级2班", "学生01", 1, kDay, 10)});

    Connection teacher = ConnectAs("t1teacher");
    EXPECT_EQ(count(teacher, "SELECT count(*) FROM aoshu.homeworks"), 1);
    EXPECT_EQ(count(teacher, "SELECT count(*) FROM aoshu.answers"), 20);
    EXPECT_EQ(count(teacher, "SELECT count(*) FROM aoshu.pupils"), 1);
    EXPECT_EQ(teacher.exec("SELECT DISTINCT class FROM aoshu.homeworks").text(0, 0), "四年级1班");
    EXPECT_THROW(Upload(teacher, {MakeEntry("t", "四年级1班", "学生01", 9, kDay, 10)}), ServerError);
    EXPECT_THROW(teacher.exec("DELETE FROM aoshu.homeworks"), ServerError);
    EXPECT_THROW(classroom::AddPupil(teacher, kSchool, "四年级1班", "学生09", "t1p09"), ServerError);
}

}  // namespace
