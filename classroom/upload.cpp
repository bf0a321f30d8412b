#include "upload.h"

#include "pg.h"

#include <string>

namespace classroom {

namespace {

// A PostgreSQL array literal of texts: every element quoted, with \ and "
// escaped.
std::string textArray(const std::vector<std::string>& items) {
    std::string literal = "{";
    for (const std::string& item : items) {
        if (literal.size() > 1) literal += ',';
        literal += '"';
        for (char c : item) {
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

const char* const kHomework =
    "INSERT INTO aoshu.homeworks (school, class, id, pupil, grade, grade_name, unit, unit_name, day, started, "
    "finished, seconds, score, grading) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, to_date($9, 'J'), $10, $11, $12, $13, $14) "
    "ON CONFLICT DO NOTHING";

const char* const kAnswers =
    "INSERT INTO aoshu.answers (school, class, id, pupil, slot, question, chosen, right_letter, is_right, "
    "question_text) "
    "SELECT $1, $2, $3, $4, a.* FROM unnest($5::int[], $6::int[], $7::text[], $8::text[], $9::boolean[], "
    "$10::text[]) AS a "
    "ON CONFLICT DO NOTHING";

}  // namespace

int Upload(Connection& connection, const std::vector<data::outbox::Entry>& entries) {
    Transaction transaction(connection);
    int added = 0;
    for (const data::outbox::Entry& e : entries) {
        const Result homework = connection.exec(
            kHomework, {e.school, e.className, e.id, e.pupil, std::to_string(e.grade), e.gradeName,
                        std::to_string(e.unit), e.unitName, std::to_string(e.day), timestamp(e.start),
                        timestamp(e.finish), std::to_string(e.seconds), std::to_string(e.score),
                        std::to_string(e.grading)});
        if (homework.affected() == 0) continue;  // the server has it already
        ++added;
        if (e.answers.empty()) continue;
        std::vector<std::string> slots, questions, chosen, keys, right, texts;
        for (const data::outbox::Answer& a : e.answers) {
            slots.push_back(std::to_string(a.slot));
            questions.push_back(std::to_string(a.question));
            chosen.push_back(std::string(1, a.chosen));
            keys.push_back(std::string(1, a.rightLetter));
            right.push_back(a.right ? "t" : "f");
            texts.push_back(a.text);
        }
        connection.exec(kAnswers, {e.school, e.className, e.id, e.pupil, textArray(slots), textArray(questions),
                                   textArray(chosen), textArray(keys), textArray(right), textArray(texts)});
    }
    transaction.commit();
    return added;
}

}  // namespace classroom
