#include "class_fixture.h"

#include "server_schema.h"
#include "shared_server.h"

#include <cstdio>
#include <functional>

namespace classroom::testing {

std::string PupilLogin(const std::string& prefix, int n) {
    char name[16];
    std::snprintf(name, sizeof name, "p%02d", n);
    return prefix + name;
}

Connection MakeClass(const std::string& prefix, const std::string& className, int pupils) {
    Connection admin = OpenServer(SharedServer().superuserUri());
    InitSchema(admin);
    for (int n = 1; n <= pupils; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "学生%02d", n);
        AddPupil(admin, kSchool, className, name, PupilLogin(prefix, n));
    }
    AddTeacher(admin, kSchool, className, prefix + "teacher");
    return admin;
}

data::outbox::Entry MakeEntry(const std::string& login, const std::string& className, const std::string& pupil,
                              int n, int day, int right) {
    data::outbox::Entry e;
    char id[40];
    std::snprintf(id, sizeof id, "%016zx%016x", std::hash<std::string>{}(login), static_cast<unsigned>(n));
    e.id = id;
    e.school = kSchool;
    e.className = className;
    e.pupil = pupil;
    e.grade = 3;
    e.gradeName = "三年级";
    e.unit = n % 3;
    e.unitName = "单元" + std::to_string(n % 3);
    e.day = day;
    e.start = "2026-03-02 18:00:00";
    e.finish = "2026-03-02 18:20:00";
    e.seconds = 1200;
    e.score = right * 5;
    for (int slot = 1; slot <= 20; ++slot) {
        data::outbox::Answer a;
        a.slot = slot;
        a.question = 1000 + slot;
        a.rightLetter = "ABCD"[slot % 4];
        a.right = slot <= right;
        a.chosen = a.right ? a.rightLetter : (slot % 2 ? '@' : "ABCD"[(slot + 1) % 4]);
        a.text = "第" + std::to_string(slot) + "题：\"引号\" 与 \\ 斜杠";
        e.answers.push_back(a);
    }
    return e;
}

Connection ConnectAs(const std::string& login) { return OpenServer(SharedServer().uriFor(login)); }

}  // namespace classroom::testing
