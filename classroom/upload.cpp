#include "upload.h"

#include "pg.h"

#include <string>

namespace classroom {

namespace {

// A PostgreSQL array literal: every element quoted, with \ and " escaped;
// nullopt is NULL.
std::string arrayLiteral(const std::vector<Param>& items) {
    std::string literal = "{";
    for (const Param& item : items) {
        if (literal.size() > 1) literal += ',';
        if (!item) {
            literal += "NULL";
            continue;
        }
        literal += '"';
        for (char c : *item) {
            if (c == '"' || c == '\\') literal += '\\';
            literal += c;
        }
        literal += '"';
    }
    return literal + "}";
}

Param timestamp(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return text;
}

// A batch is two statements whatever its size: the homeworks, then the
// answers, each a set of arrays unnested on the server.  An answer of a
// homework the server holds already is held too (the two always arrive in
// one transaction), so the answers' conflicts are skipped alike.
const char* const kHomeworks =
    "INSERT INTO aoshu.homeworks (school, class, id, pupil, grade, grade_name, unit, unit_name, day, started, "
    "finished, seconds, score, grading) "
    "SELECT school, class, id, pupil, grade, grade_name, unit, unit_name, to_date(day::text, 'J'), started, "
    "finished, seconds, score, grading "
    "FROM unnest($1::text[], $2::text[], $3::text[], $4::text[], $5::int[], $6::text[], $7::int[], $8::text[], "
    "$9::int[], $10::timestamp[], $11::timestamp[], $12::int[], $13::int[], $14::int[]) "
    "AS e(school, class, id, pupil, grade, grade_name, unit, unit_name, day, started, finished, seconds, score, "
    "grading) "
    "ON CONFLICT DO NOTHING";

const char* const kAnswers =
    "INSERT INTO aoshu.answers (school, class, id, pupil, slot, question, chosen, right_letter, is_right, "
    "question_text) "
    "SELECT * FROM unnest($1::text[], $2::text[], $3::text[], $4::text[], $5::int[], $6::int[], $7::text[], "
    "$8::text[], $9::boolean[], $10::text[]) "
    "ON CONFLICT DO NOTHING";

}  // namespace

int Upload(Connection& connection, const std::vector<data::outbox::Entry>& entries) {
    if (entries.empty()) return 0;
    std::vector<std::vector<Param>> h(14), a(10);
    for (const data::outbox::Entry& e : entries) {
        const Param fields[] = {e.school, e.className, e.id, e.pupil, std::to_string(e.grade), e.gradeName,
                                std::to_string(e.unit), e.unitName, std::to_string(e.day), timestamp(e.start),
                                timestamp(e.finish), std::to_string(e.seconds), std::to_string(e.score),
                                std::to_string(e.grading)};
        for (std::size_t i = 0; i < h.size(); ++i) h[i].push_back(fields[i]);
        for (const data::outbox::Answer& x : e.answers) {
            const Param answer[] = {e.school, e.className, e.id, e.pupil, std::to_string(x.slot),
                                    std::to_string(x.question), std::string(1, x.chosen),
                                    std::string(1, x.rightLetter), x.right ? "t" : "f", x.text};
            for (std::size_t i = 0; i < a.size(); ++i) a[i].push_back(answer[i]);
        }
    }
    std::vector<Param> homeworkArrays, answerArrays;
    for (const auto& column : h) homeworkArrays.push_back(arrayLiteral(column));
    for (const auto& column : a) answerArrays.push_back(arrayLiteral(column));

    Transaction transaction(connection);
    const long long added = connection.exec(kHomeworks, homeworkArrays).affected();
    if (!a[0].empty()) connection.exec(kAnswers, answerArrays);
    transaction.commit();
    return static_cast<int>(added);
}

}  // namespace classroom
