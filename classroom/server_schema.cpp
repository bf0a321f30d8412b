#include "server_schema.h"

#include "pg.h"

namespace classroom {

namespace {

const char* const kSchema = R"sql(
CREATE SCHEMA IF NOT EXISTS aoshu;

DO $$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'aoshu_pupil') THEN CREATE ROLE aoshu_pupil NOLOGIN; END IF;
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'aoshu_teacher') THEN CREATE ROLE aoshu_teacher NOLOGIN; END IF;
END $$;

CREATE TABLE IF NOT EXISTS aoshu.pupils (
  school text NOT NULL DEFAULT '',
  class text NOT NULL,
  pupil text NOT NULL,
  login name NOT NULL,
  PRIMARY KEY (school, class, pupil, login)
);
CREATE UNIQUE INDEX IF NOT EXISTS pupils_login ON aoshu.pupils (login);

CREATE TABLE IF NOT EXISTS aoshu.teachers (
  school text NOT NULL DEFAULT '',
  class text NOT NULL,
  login name NOT NULL,
  PRIMARY KEY (school, class, login)
);

CREATE TABLE IF NOT EXISTS aoshu.homeworks (
  school text NOT NULL DEFAULT '',
  class text NOT NULL,
  id text NOT NULL CHECK (id ~ '^[0-9a-f]{32}$'),
  pupil text NOT NULL,
  grade int NOT NULL,
  grade_name text NOT NULL,
  unit int NOT NULL,
  unit_name text NOT NULL,
  day date NOT NULL CHECK (day BETWEEN '2000-01-01' AND '2200-01-01'),
  started timestamp,
  finished timestamp,
  seconds int NOT NULL CHECK (seconds >= 0),
  score int NOT NULL CHECK (score BETWEEN 0 AND 100),
  grading int NOT NULL CHECK (grading >= 1),
  received timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (school, class, id)
);

CREATE TABLE IF NOT EXISTS aoshu.answers (
  school text NOT NULL DEFAULT '',
  class text NOT NULL,
  id text NOT NULL,
  slot int NOT NULL CHECK (slot BETWEEN 1 AND 20),
  pupil text NOT NULL,
  question int NOT NULL,
  chosen char(1) NOT NULL CHECK (chosen IN ('A', 'B', 'C', 'D', '@')),
  right_letter char(1) NOT NULL CHECK (right_letter IN ('A', 'B', 'C', 'D', '@')),
  is_right boolean NOT NULL,
  question_text text NOT NULL DEFAULT '',
  PRIMARY KEY (school, class, id, slot),
  FOREIGN KEY (school, class, id) REFERENCES aoshu.homeworks ON DELETE CASCADE
);

REVOKE ALL ON ALL TABLES IN SCHEMA aoshu FROM PUBLIC;
GRANT USAGE ON SCHEMA aoshu TO aoshu_pupil, aoshu_teacher;
GRANT SELECT ON aoshu.pupils TO aoshu_pupil;
GRANT INSERT ON aoshu.homeworks, aoshu.answers TO aoshu_pupil;
GRANT SELECT ON aoshu.pupils, aoshu.teachers, aoshu.homeworks, aoshu.answers TO aoshu_teacher;

ALTER TABLE aoshu.pupils ENABLE ROW LEVEL SECURITY;
ALTER TABLE aoshu.teachers ENABLE ROW LEVEL SECURITY;
ALTER TABLE aoshu.homeworks ENABLE ROW LEVEL SECURITY;
ALTER TABLE aoshu.answers ENABLE ROW LEVEL SECURITY;

DROP POLICY IF EXISTS own_login ON aoshu.pupils;
CREATE POLICY own_login ON aoshu.pupils FOR SELECT TO aoshu_pupil USING (login = current_user);
DROP POLICY IF EXISTS own_login ON aoshu.teachers;
CREATE POLICY own_login ON aoshu.teachers FOR SELECT TO aoshu_teacher USING (login = current_user);

DROP POLICY IF EXISTS own_rows ON aoshu.homeworks;
CREATE POLICY own_rows ON aoshu.homeworks FOR INSERT TO aoshu_pupil WITH CHECK ((school, class, pupil) IN (
  SELECT p.school, p.class, p.pupil FROM aoshu.pupils p WHERE p.login = current_user));
DROP POLICY IF EXISTS own_rows ON aoshu.answers;
CREATE POLICY own_rows ON aoshu.answers FOR INSERT TO aoshu_pupil WITH CHECK ((school, class, pupil) IN (
  SELECT p.school, p.class, p.pupil FROM aoshu.pupils p WHERE p.login = current_user));
)sql";

// The teacher's policies, one per table: rows of a class the login teaches.
// The policies' subqueries do not refer to the row, so the server reads
// them once per statement, not once per row.
const char* const kTeacherPolicy = R"sql(
DROP POLICY IF EXISTS teacher_reads ON aoshu.%1;
CREATE POLICY teacher_reads ON aoshu.%1 FOR SELECT TO aoshu_teacher USING ((school, class) IN (
  SELECT t.school, t.class FROM aoshu.teachers t WHERE t.login = current_user));
)sql";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The login role, made when missing, in group.
void ensureLogin(Connection& connection, const std::string& login, const char* group) {
    if (login.empty() || login.size() > 63)
        throw ServerError("登录名不能为空，也不能超过63个字节。", login);
    const Result found = connection.exec("SELECT rolsuper FROM pg_roles WHERE rolname = $1", {login});
    if (found.rows() > 0 && found.text(0, 0) == "t")
        throw ServerError("“" + login + "”是服务器的管理员，不能作为学生或老师的登录名。", "");
    if (found.rows() == 0) connection.script("CREATE ROLE " + QuoteIdentifier(login) + " LOGIN");
    connection.script("GRANT " + std::string(group) + " TO " + QuoteIdentifier(login));
}

}  // namespace

void InitSchema(Connection& connection) {
    // Names and question texts are Chinese: a database in another encoding
    // would refuse them at the first upload.
    const std::string encoding = connection.exec("SELECT current_setting('server_encoding')").text(0, 0);
    if (encoding != "UTF8")
        throw ServerError("这个数据库的编码是 " + encoding + "，班级服务器需要 UTF8 编码的数据库（createdb -E UTF8 -T template0）。",
                          "");
    Transaction transaction(connection);
    // Two administrators running init at once wait for each other here.
    connection.script("SELECT pg_advisory_xact_lock(7300101); SET LOCAL client_min_messages = warning");
    connection.script(kSchema);
    for (const char* table : {"pupils", "homeworks", "answers"})
        connection.script(replaced(kTeacherPolicy, "%1", table));
    transaction.commit();
}

void AddPupil(Connection& connection, const std::string& school, const std::string& className,
              const std::string& pupil, const std::string& login) {
    Transaction transaction(connection);
    ensureLogin(connection, login, kPupilGroup);
    const Result other = connection.exec(
        "SELECT school, class, pupil FROM aoshu.pupils WHERE login = $1 AND (school, class, pupil) <> ($2, $3, $4)",
        {login, school, className, pupil});
    if (other.rows() > 0)
        throw ServerError("登录名“" + login + "”已经属于另一位学生（" + other.text(0, 1) + "，" + other.text(0, 2) + "）。",
                          "");
    connection.exec("INSERT INTO aoshu.pupils (school, class, pupil, login) VALUES ($1, $2, $3, $4) "
                    "ON CONFLICT DO NOTHING",
                    {school, className, pupil, login});
    transaction.commit();
}

void AddTeacher(Connection& connection, const std::string& school, const std::string& className,
                const std::string& login) {
    Transaction transaction(connection);
    ensureLogin(connection, login, kTeacherGroup);
    connection.exec("INSERT INTO aoshu.teachers (school, class, login) VALUES ($1, $2, $3) ON CONFLICT DO NOTHING",
                    {school, className, login});
    transaction.commit();
}

}  // namespace classroom
