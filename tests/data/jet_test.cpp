// Jet 4.0 data files: telling formats apart, the header password, the
// conversion into our format and what a bad file gets at start-up.
#include "datam.h"
#include "jet_convert.h"
#include "jet_file.h"
#include "jet_fixtures.h"
#include "test_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using data::DataError;
using data::FileFormat;

// A program folder whose dat/kelvma.dat starts as a copy of a file.
struct ProgramFolder {
    testdb::TempDir dir;

    explicit ProgramFolder(const std::string& source) {
        fs::create_directories(dat());
        fs::copy_file(source, file());
        fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write);
    }
    std::string dat() const { return dir.path() + "/dat"; }
    std::string file() const { return dat() + "/kelvma.dat"; }

    // The start-up's open of the database.
    void open() const {
        data::Tdatam datam;
        datam.programDir = dir.path();
        datam.OpenDatabase();
    }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(dat())) found.insert(entry.path().filename().string());
        return found;
    }
};

// Rows of table in file a that file b does not hold (values and types).
long long differingRows(const std::string& a, const std::string& b, const std::string& table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(a.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    const std::string sql = "ATTACH '" + b + "' AS other; CREATE TEMP TABLE difference AS SELECT * FROM main." +
                            table + " EXCEPT SELECT * FROM other." + table;
    char* error = nullptr;
    long long count = -1;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) {
        sqlite3_exec(
            db, "SELECT count(*) FROM temp.difference",
            [](void* out, int, char** values, char**) {
                *static_cast<long long*>(out) = std::stoll(values[0]);
                return 0;
            },
            &count, &error);
    }
    if (error) ADD_FAILURE() << error;
    sqlite3_free(error);
    sqlite3_close(db);
    return count;
}

std::string jetHeader(unsigned char version, const char* magic = "Standard Jet DB") {
    std::string page(data::kJetPageSize, '\0');
    page[1] = 1;
    page.replace(4, std::char_traits<char>::length(magic), magic);
    page[0x14] = static_cast<char>(version);
    return page;
}

TEST(JetFormat, IsToldByTheFilesFirstBytes) {
    const struct {
        const char* name;
        std::string bytes;
        FileFormat format;
        const char* description;
    } cases[] = {
        {"ours", std::string("SQLite format 3\0rest", 20), FileFormat::SQLite, "an SQLite 3 database"},
        {"Jet 4.0", jetHeader(1), FileFormat::Jet4, "a Jet 4.0 (Access 2000) file"},
        {"Jet 3", jetHeader(0), FileFormat::Other, "a Jet 3 (Access 97) file"},
        {"newer Jet", jetHeader(7), FileFormat::Other, "a Jet file of unknown version 7"},
        {"ACE", jetHeader(2, "Standard ACE DB"), FileFormat::Other, "an Access 2007 or later (ACE, .accdb) file"},
        {"empty", "", FileFormat::Other, "an empty file"},
        {"text", "hello, world", FileFormat::Other, "a file of unknown format (it begins 68 65 6c 6c 6f 2c 20 77)"},
        {"cut-off header", std::string("\0\1\0\0Standard", 12), FileFormat::Other,
         "a file of unknown format (it begins 00 01 00 00 53 74 61 6e)"},
    };
    testdb::TempDir dir;
    for (const auto& c : cases) {
        const std::string file = dir.path() + "/f";
        testdb::writeFile(file, c.bytes);
        data::DetectedFormat found = data::detectFileFormat(file);
        EXPECT_EQ(found.format, c.format) << c.name;
        EXPECT_EQ(found.description, c.description) << c.name;
    }
    EXPECT_THROW(data::detectFileFormat(dir.path() + "/missing"), DataError);
}

TEST(JetPassword, IsReadFromTheMaskedHeader) {
    SKIP_WITHOUT_JET_FIXTURES();
    const struct {
        const char* file;
        const char* password;
    } cases[] = {
        {"small.mdb", "739184026551903"},
        {"kelvma-full.mdb", "739184026551903"},
        {"small-wrong-password.mdb", "jetfix-pw"},
        {"small-no-password.mdb", ""},
    };
    for (const auto& c : cases) {
        std::array<unsigned char, data::kJetPageSize> page{};
        const std::string bytes = testdb::readFile(jetfixtures::path(c.file)).substr(0, page.size());
        std::copy(bytes.begin(), bytes.end(), page.begin());
        EXPECT_EQ(data::jetDatabasePassword(page), c.password) << c.file;
    }
}

TEST(JetDateTime, IsWrittenAsOurDateTimeText) {
    const struct {
        double days;
        const char* text;  // nullptr: does not fit
    } cases[] = {
        {0, "1899-12-30 00:00:00"},
        {1.5, "1899-12-31 12:00:00"},
        {45000.25, "2023-03-15 06:00:00"},
        {46000 + 13.0 / 24 + 7.0 / 1440, "2025-12-09 13:07:00"},
        {36526.999999999, "2000-01-02 00:00:00"},  // rounds up to the next day
        {-1.25, "1899-12-29 06:00:00"},           // before 1899-12-30 the fraction still adds
        {-657434, "0100-01-01 00:00:00"},
        {2958465.9999, "9999-12-31 23:59:51"},
        {-657435, nullptr},
        {2958466, nullptr},
        {std::nan(""), nullptr},
        {INFINITY, nullptr},
    };
    for (const auto& c : cases) {
        auto text = data::jetDateTimeText(c.days);
        if (c.text)
            EXPECT_EQ(text.value_or("nothing"), c.text) << c.days;
        else
            EXPECT_FALSE(text.has_value()) << c.days << " gave " << *text;
    }
}

TEST(JetConversion, TheFullFileEqualsTheBundledDatabase) {
    SKIP_WITHOUT_JET_FIXTURES();
    testdb::TempDir dir;
    const std::string out = dir.path() + "/converted.dat";
    data::JetConversion result =
        data::convertJetFile(jetfixtures::path("kelvma-full.mdb"), out, testdb::kPassword);

    std::vector<std::pair<std::string, long long>> counts;
    for (const auto& t : result.tables) counts.emplace_back(t.table, t.rows);
    const std::vector<std::pair<std::string, long long>> expected = {
        {"b1", 266}, {"b2", 1}, {"b3", 20}, {"b4", 132}, {"b5", 1}, {"b6", 96}};
    EXPECT_EQ(counts, expected);
    EXPECT_TRUE(result.ignored.empty());

    // Every value with its type: NULL, '' and 0 differ, blobs compare byte
    // for byte.
    for (const auto& [table, rows] : expected) {
        EXPECT_EQ(differingRows(out, BUNDLED_DATABASE, table), 0) << table;
        EXPECT_EQ(differingRows(BUNDLED_DATABASE, out, table), 0) << table;
    }
    EXPECT_EQ(testdb::scalar(out, "SELECT count(*) FROM v_b WHERE zd102 = 1"), "20");
    EXPECT_EQ(testdb::scalar(out, "SELECT value FROM dbinfo WHERE name = 'format'"), "1");

    // The program's password opens it; the digest is of that password.
    for (const auto& [password, opens] : {std::pair{testdb::kPassword, true}, {"jetfix-pw", false}}) {
        data::Connection connection;
        connection.setConnectionString("Data Source=" + out + ";Jet OLEDB:Database Password=" + password);
        if (opens)
            EXPECT_NO_THROW(connection.open());
        else
            EXPECT_THROW(connection.open(), DataError);
    }
}

TEST(JetStartUp, ConvertsOnceAndKeepsTheJetFileBesideIt) {
    SKIP_WITHOUT_JET_FIXTURES();
    const std::string jet = testdb::readFile(jetfixtures::path("small.mdb"));
    const struct {
        const char* name;
        std::string olderBackup;  // a kelvma.dat.jet4 already there, or ""
        std::set<std::string> files;
        const char* backup;
    } cases[] = {
        {"first conversion", "", {"kelvma.dat", "kelvma.dat.jet4"}, "kelvma.dat.jet4"},
        {"an older backup stays", "older", {"kelvma.dat", "kelvma.dat.jet4", "kelvma.dat.jet4.1"},
         "kelvma.dat.jet4.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder(jetfixtures::path("small.mdb"));
        if (!c.olderBackup.empty()) testdb::writeFile(folder.file() + ".jet4", c.olderBackup);
        ASSERT_NO_THROW(folder.open());
        EXPECT_EQ(folder.names(), c.files);
        EXPECT_EQ(testdb::readFile(folder.dat() + "/" + c.backup), jet);
        if (!c.olderBackup.empty()) {
            EXPECT_EQ(testdb::readFile(folder.file() + ".jet4"), c.olderBackup);
        }

        // NULL stays NULL, an empty text stays empty, texts are UTF-8.
        EXPECT_EQ(testdb::scalar(folder.file(), "SELECT typeof(zd2) FROM b5 WHERE zd1 = 1"), "null");
        EXPECT_EQ(testdb::scalar(folder.file(), "SELECT count(*) FROM b3 WHERE zd4 = ''"), "3");
        EXPECT_EQ(testdb::scalar(folder.file(), "SELECT zd2 FROM b4 WHERE zd1 = 1"), "数一数");
        EXPECT_EQ(testdb::scalar(folder.file(), "SELECT group_concat(zd1) FROM b1"), "1,2,3,5");

        // The next start opens the converted file as it is.
        const std::string converted = testdb::readFile(folder.file());
        ASSERT_NO_THROW(folder.open());
        EXPECT_EQ(folder.names(), c.files);
        EXPECT_EQ(testdb::readFile(folder.file()), converted);
    }
}

TEST(JetStartUp, ABadFileGetsItsMessageAndStaysAsItWas) {
    SKIP_WITHOUT_JET_FIXTURES();
    auto withByte = [](std::size_t at, char value) {
        return [=](const std::string& file) {
            std::string bytes = testdb::readFile(jetfixtures::path("small.mdb"));
            bytes[at] = value;
            testdb::writeFile(file, bytes);
        };
    };
    auto cutTo = [](double share, std::size_t extra) {
        return [=](const std::string& file) {
            std::string bytes = testdb::readFile(jetfixtures::path("kelvma-full.mdb"));
            const std::size_t pages = static_cast<std::size_t>(bytes.size() / data::kJetPageSize * share);
            testdb::writeFile(file, bytes.substr(0, pages * data::kJetPageSize + extra));
        };
    };
    auto copyOf = [](const char* name) {
        return [=](const std::string& file) { testdb::writeFile(file, testdb::readFile(jetfixtures::path(name))); };
    };
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* message;
    } cases[] = {
        {"wrong password", copyOf("small-wrong-password.mdb"), "wrong database password"},
        {"no password", copyOf("small-no-password.mdb"), "the Jet file has no database password"},
        {"Jet 3 header", withByte(0x14, 0), "is a Jet 3 (Access 97) file"},
        {"no table b6", copyOf("small-no-b6.mdb"), "the Jet file has no table b6"},
        {"cut inside a page", cutTo(0.5, 100), "its size is not a whole number of pages"},
        {"cut to its header page", cutTo(0, data::kJetPageSize), "damaged"},
        {"cut to half its pages", cutTo(0.5, 0), "damaged"},
        {"last pages missing", cutTo(0.98, 0), "damaged: b6.zd5 (zd1="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder(jetfixtures::path("small.mdb"));
        c.make(folder.file());
        const std::string before = testdb::readFile(folder.file());
        try {
            folder.open();
            ADD_FAILURE() << "opened";
        } catch (const DataError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(folder.file()), std::string::npos) << e.what();
        }
        EXPECT_EQ(testdb::readFile(folder.file()), before);
        EXPECT_EQ(folder.names(), std::set<std::string>{"kelvma.dat"});
    }
}

}  // namespace
