// The content version the builder stamps into a database, and
// `contentbuilder upgrade`, which carries a pupil's record into newer content.
#include "builder.h"
#include "temp_content.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QProcess>

#include <filesystem>
#include <string>

using namespace testing_content;

namespace {

std::string scalar(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    std::string out = "<no row>";
    if (sqlite3_step(stmt) == SQLITE_ROW)
        out = sqlite3_column_text(stmt, 0) ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)) : "NULL";
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

std::string info(const std::string& path, const std::string& name) {
    return scalar(path, "SELECT value FROM dbinfo WHERE name = '" + name + "'");
}

// Builds files into a fresh folder; returns "sequence|digest" or the problems.
std::string versionOf(const Files& files) {
    TempContent content(files);
    const content::Problems problems = content::buildDatabase(content.dir(), content.output());
    if (!problems.empty()) return "problem: " + problems.front();
    const std::string out = content.output().string();
    return info(out, "content-sequence") + "|" + info(out, "content-digest");
}

}  // namespace

TEST(ContentVersion, FollowsTheSequenceNumberAndEveryChangeOfTheSources) {
    const std::string base = versionOf(validContent());
    ASSERT_EQ(base.substr(0, 2), "0|");  // no version.toml: sequence 0
    EXPECT_EQ(base.size(), 2u + 64u);
    EXPECT_EQ(versionOf(validContent()), base) << "the same sources give the same version";

    struct Case {
        const char* what;
        std::string file, text;
        std::string sequence;  // expected; "problem" for a rejection
    };
    const Case cases[] = {
        {"a sequence number", "version.toml", "sequence = 7\n", "7"},
        {"a sequence with a comment below", "version.toml", "sequence = 12\n# raised for the spring\n", "12"},
        {"not a number", "version.toml", "sequence = seven\n", "problem"},
        {"another file changes the digest", "notes.txt", "x", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Files files = validContent();
        files[c.file] = c.text;
        const std::string version = versionOf(files);
        if (c.sequence == "problem") {
            EXPECT_NE(version.find("version.toml"), std::string::npos) << version;
            continue;
        }
        EXPECT_EQ(version.substr(0, version.find('|')), c.sequence);
        EXPECT_NE(version.substr(version.find('|')), base.substr(1)) << "the digest covers every file";
    }
}

TEST(ContentVersion, UpgradeCarriesTheRecordIntoNewerContent) {
    TempContent oldContent(validContent());
    ASSERT_EQ(content::buildDatabase(oldContent.dir(), oldContent.output()), content::Problems{});
    Files newer = validContent();
    newer["version.toml"] = "sequence = 2\n";
    TempContent newContent(newer);
    ASSERT_EQ(content::buildDatabase(newContent.dir(), newContent.output()), content::Problems{});
    const std::string old = oldContent.output().string(), fresh = newContent.output().string();
    scalar(old, "UPDATE b1 SET zd7 = 9");
    scalar(old, "UPDATE b2 SET zd6 = 95");

    const std::string out = oldContent.dir().string() + "/merged.dat";
    QProcess builder;
    builder.start(CONTENTBUILDER, {"upgrade", QString::fromStdString(old), QString::fromStdString(fresh),
                                   QString::fromStdString(out)});
    ASSERT_TRUE(builder.waitForFinished(60000));
    EXPECT_EQ(builder.exitCode(), 0) << builder.readAllStandardError().toStdString();
    EXPECT_EQ(info(out, "content-sequence"), "2");
    EXPECT_EQ(scalar(out, "SELECT min(zd7) FROM b1"), "9");
    EXPECT_EQ(scalar(out, "SELECT zd6 FROM b2"), "95");

    // A newer file that is no database: nothing is written.
    const std::string broken = newContent.dir().string() + "/broken.dat";
    QProcess failing;
    std::filesystem::copy_file(CONTENTBUILDER, broken);
    const std::string out2 = oldContent.dir().string() + "/merged2.dat";
    failing.start(CONTENTBUILDER, {"upgrade", QString::fromStdString(old), QString::fromStdString(broken),
                                   QString::fromStdString(out2)});
    ASSERT_TRUE(failing.waitForFinished(60000));
    EXPECT_EQ(failing.exitCode(), 1);
    EXPECT_FALSE(std::filesystem::exists(out2));
}
