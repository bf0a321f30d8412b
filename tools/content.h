// The content of the bundled database as read from content/ (texts in UTF-8,
// multi-line texts already joined with CR LF).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace content {

inline constexpr int kGradeCount = 12;   // grade codes 0..11
inline constexpr int kPostGrade = 12;    // grade code of the daily posts
inline constexpr int kFixedPostId = 201;
inline constexpr int kMaxUnitId = 200;   // units take the b4 ids 1..200
inline constexpr int kPaperSize = 20;    // questions on one mock paper

// The items of the grade list, by grade code.
extern const char* const kGradeNames[kGradeCount];

// Picture number (1..999) -> SVG file, relative to the content folder.
using PictureList = std::map<int, std::string>;

struct Question {
    int level = 0;
    bool mock = false;          // pool "mock": a mock paper of grade 11
    int paper = 0;              // mock paper number 1, 2, ...; 0 for a homework question
    int unit = -1;              // position of the unit it practises in its grade; -1 untagged
    char key = 'A';
    std::string text;
    std::string picture;        // empty when none
    std::string analysis;       // empty when none
    std::string analysisPicture;
};

struct Unit {
    std::string name;
    std::string status;
    std::string page;
    PictureList pictures;
};

struct Grade {
    int code = 0;
    std::string file;           // e.g. "grade03.toml"; empty when the file is absent
    std::vector<Unit> units;
    std::vector<Question> questions;
};

struct Post {
    bool fixed = false;
    std::string title;
    std::string text;
    PictureList pictures;
};

struct Content {
    std::vector<Grade> grades;  // always kGradeCount entries, by code
    std::vector<Post> posts;    // file order
};

// Rejections, each "file: entry: what is wrong".
using Problems = std::vector<std::string>;

}  // namespace content
