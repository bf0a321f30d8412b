// Jet 4.0 data files: telling formats apart, converting the full file, the
// conversion at start-up, what a bad file gets, and the start-up in a
// process of its own (jet_open_probe) killed at random moments, on a full
// disk and in a folder it cannot write.
#include "datam.h"
#include "jet_convert.h"
#include "jet_file.h"
#include "jet_fixtures.h"
#include "test_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using data::DataError;
using data::FileFormat;
using Names = std::set<std::string>;

const std::string kPassword = testdb::kPassword;

// A program folder whose dat/kelvma.dat starts as a copy of a file.
struct ProgramFolder {
    testdb::TempDir dir;
    explicit ProgramFolder(const std::string& source) {
        fs::create_directories(dat());
        fs::copy_file(source, file());
        fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                    fs::perms::others_read);
    }
    std::string dat() const { return dir.path() + "/dat"; }
    std::string file() const { return dat() + "/kelvma.dat"; }
    std::string read(const std::string& suffix = "") const { return testdb::readFile(file() + suffix); }
    // The files in dat/, leaving out the write-ahead log and its index, which
    // belong to the database file while the program uses it.
    Names names() const {
        Names found;
        for (const auto& entry : fs::directory_iterator(dat())) {
            const std::string name = entry.path().filename().string();
            if (!name.ends_with("-wal") && !name.ends_with("-shm")) found.insert(name);
        }
        return found;
    }
    // The start-up's open of the database.
    void open() const {
        data::Tdatam datam;
        datam.programDir = dir.path();
        datam.OpenDatabase();
    }
};

// jet_open_probe on a program folder: stdout through a pipe, stderr to a
// file beside dat/.
class Probe {
public:
    explicit Probe(const ProgramFolder& folder, std::vector<std::string> args = {})
        : errors_(folder.dir.path() + "/errors.txt") {
        int ends[2];
        if (pipe(ends) != 0) throw std::runtime_error("pipe");
        args.insert(args.begin(), {JET_OPEN_PROBE, folder.dir.path()});
        if ((pid_ = fork()) == 0) {
            dup2(ends[1], 1);
            dup2(open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(ends[1]);
        out_ = ends[0];
    }
    ~Probe() {
        if (status_ < 0) kill();
        finish();
        close(out_);
    }
    // Reads stdout up to "opening", printed just before the open.
    bool opening() {
        for (char c; read(out_, &c, 1) == 1;)
            if ((output_ += c).size() >= 8 && output_.compare(output_.size() - 8, 8, "opening\n") == 0)
                return true;
        return false;
    }
    void kill() { ::kill(pid_, SIGKILL); }
    // True when the probe opened the database.
    bool finish() {
        for (char c; read(out_, &c, 1) == 1;) output_ += c;
        if (status_ < 0) waitpid(pid_, &status_, 0);
        return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
    }
    const std::string& output() const { return output_; }
    std::string errors() const { return testdb::readFile(errors_); }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string errors_, output_;
};

// Rows of table in file a that file b does not hold (values and types).
bool loadSql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

long long differingRows(const std::string& a, const std::string& b, const std::string& table,
                        const std::string& columns = "*") {
    sqlite3* db = nullptr;
    sqlite3_open_v2(a.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const std::string sql = "ATTACH '" + b + "' AS other; CREATE TEMP TABLE d AS SELECT " + columns + " FROM main." +
                            table + " EXCEPT SELECT " + columns + " FROM other." + table;
    long long count = -1;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
        auto first = [](void* out, int, char** values, char**) {
            *static_cast<long long*>(out) = std::stoll(values[0]);
            return 0;
        };
        sqlite3_exec(db, "SELECT count(*) FROM temp.d", first, &count, nullptr);
    }
    sqlite3_close(db);
    return count;
}

// "zd1/column" -> upper-case hex of every non-empty blob of the columns, as
// mdb-export reads them from a Jet file ...
std::map<std::string, std::string> exportedBlobs(const std::string& file, const std::string& table,
                                                 const std::vector<std::string>& columns) {
    std::map<std::string, std::string> out;
    FILE* pipe = popen(("mdb-export -b hex -d '|' '" + file + "' " + table).c_str(), "r");
    if (!pipe) return out;
    std::string text;
    char buffer[65536];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
    std::vector<std::vector<std::string>> rows;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> fields;
        const std::string line = text.substr(start, end - start);
        for (std::size_t a = 0, b; a <= line.size(); a = b + 1) {
            b = line.find('|', a);
            if (b == std::string::npos) b = line.size();
            std::string f = line.substr(a, b - a);
            if (f.size() >= 2 && f.front() == '"' && f.back() == '"') f = f.substr(1, f.size() - 2);
            fields.push_back(f);
        }
        rows.push_back(fields);
    }
    if (rows.empty()) return out;
    for (std::size_t r = 1; r < rows.size(); ++r)
        for (const std::string& column : columns)
            for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c)
                if (rows[0][c] == column && !rows[r][c].empty()) out[rows[r][0] + "/" + column] = rows[r][c];
    return out;
}

// ... and as the converted file holds them.
std::map<std::string, std::string> convertedBlobs(const std::string& file, const std::string& table,
                                                  const std::vector<std::string>& columns) {
    std::map<std::string, std::string> out;
    for (const std::string& column : columns) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        const std::string sql = "SELECT zd1, hex(" + column + ") FROM " + table + " WHERE length(" + column + ") > 0";
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            out[std::to_string(sqlite3_column_int64(st, 0)) + "/" + column] =
                reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    return out;
}

std::string jetHeader(unsigned char version, const char* magic = "Standard Jet DB") {
    std::string page(data::kJetPageSize, '\0');
    page.replace(4, std::char_traits<char>::length(magic), magic);
    page[0x14] = static_cast<char>(version);
    return page;
}

TEST(JetFormat, IsToldByTheFilesFirstBytes) {
    const struct {
        std::string bytes;
        FileFormat format;
        const char* description;
    } cases[] = {
        {std::string("SQLite format 3\0rest", 20), FileFormat::SQLite, "an SQLite 3 database"},
        {jetHeader(1), FileFormat::Jet4, "a Jet 4.0 (Access 2000) file"},
        {jetHeader(0), FileFormat::Other, "a Jet 3 (Access 97) file"},
        {jetHeader(7), FileFormat::Other, "a Jet file of unknown version 7"},
        {jetHeader(2, "Standard ACE DB"), FileFormat::Other, "an Access 2007 or later (ACE, .accdb) file"},
        {"", FileFormat::Other, "an empty file"},
        {"hello, world", FileFormat::Other, "a file of unknown format (it begins 68 65 6c 6c 6f 2c 20 77)"},
        {std::string("\0\0\0\0Standard", 12), FileFormat::Other,
         "a file of unknown format (it begins 00 00 00 00 53 74 61 6e)"},
    };
    testdb::TempDir dir;
    for (const auto& c : cases) {
        testdb::writeFile(dir.path() + "/f", c.bytes);
        data::DetectedFormat found = data::detectFileFormat(dir.path() + "/f");
        EXPECT_EQ(found.format, c.format) << c.description;
        EXPECT_EQ(found.description, c.description);
    }
    EXPECT_THROW(data::detectFileFormat(dir.path() + "/missing"), DataError);
}

TEST(JetDateTime, IsWrittenAsOurDateTimeText) {
    const struct {
        double days;
        const char* text;  // nullptr: does not fit
    } cases[] = {
        {0, "1899-12-30 00:00:00"},         {1.5, "1899-12-31 12:00:00"},
        {45000.25, "2023-03-15 06:00:00"},  {36526.999999999, "2000-01-02 00:00:00"},
        {-1.25, "1899-12-29 06:00:00"},     {-657434, "0100-01-01 00:00:00"},
        {2958465.9999, "9999-12-31 23:59:51"}, {-657435, nullptr},
        {2958466, nullptr},                 {std::nan(""), nullptr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(data::jetDateTimeText(c.days).value_or("-"), c.text ? c.text : "-") << c.days;
}

TEST(JetConversion, TheFullFileEqualsTheBundledDatabase) {
    SKIP_WITHOUT_JET_FIXTURES();
    testdb::TempDir dir;
    const std::string out = dir.path() + "/converted.dat";
    data::JetConversion result = data::convertJetFile(jetfixtures::path("kelvma-full.mdb"), out, kPassword);
    std::vector<std::pair<std::string, long long>> counts;
    for (const auto& t : result.tables) counts.emplace_back(t.table, t.rows);
    EXPECT_EQ(counts, (decltype(counts){{"b1", 266}, {"b2", 1}, {"b3", 20}, {"b4", 132}, {"b5", 1}, {"b6", 96}}));
    EXPECT_TRUE(result.ignored.empty());
    // Every value with its type: NULL, '' and 0 differ.  The pictures are
    // compared with what mdb-export reads from the Jet file, byte for byte:
    // the bundled database renders them anew whenever the picture sources
    // or the renderer change.
    // The bundled content has grown since the Jet file was made: the values
    // it was made from are kept as SQL beside the tests.
    const std::string expected = dir.path() + "/expected.dat";
    ASSERT_TRUE(loadSql(expected, testdb::readFile(JET4_EXPECTED_SQL)));
    for (const auto& [table, rows] : counts) {
        const std::string columns = table == "b1"   ? "zd1,zd2,zd5,zd6,zd7,zd9,zd10,zd11,zd14"
                                    : table == "b6" ? "zd1,zd2,zd3,zd4"
                                                    : "*";
        EXPECT_EQ(differingRows(out, expected, table, columns), 0) << table;
        EXPECT_EQ(differingRows(expected, out, table, columns), 0) << table;
    }
    for (const auto& [table, blobs] : {std::pair<std::string, std::vector<std::string>>{"b1", {"zd12", "zd15"}},
                                       {"b6", {"zd5"}}}) {
        const std::map<std::string, std::string> exported = exportedBlobs(jetfixtures::path("kelvma-full.mdb"), table, blobs);
        const std::map<std::string, std::string> converted = convertedBlobs(out, table, blobs);
        EXPECT_EQ(converted.size(), exported.size()) << table;
        EXPECT_TRUE(converted == exported) << table;
    }
    EXPECT_EQ(testdb::scalar(out, "SELECT count(*) FROM v_b WHERE zd102 = 1"), "20");
    // dbinfo holds the digest of the program's password.
    for (const auto& [password, opens] : {std::pair{kPassword, true}, {"jetfix-pw", false}}) {
        data::Connection connection;
        connection.setConnectionString("Data Source=" + out + ";Jet OLEDB:Database Password=" + password);
        if (opens)
            EXPECT_NO_THROW(connection.open());
        else
            EXPECT_THROW(connection.open(), DataError);
    }
}

TEST(JetStartUp, ConvertsOnceAndKeepsTheJetFileWithoutReplacingAnOlderBackup) {
    SKIP_WITHOUT_JET_FIXTURES();
    for (const std::string older : {"", "an older backup"}) {
        SCOPED_TRACE(older);
        ProgramFolder folder(jetfixtures::path("small.mdb"));
        const std::string jet = folder.read();
        if (!older.empty()) testdb::writeFile(folder.file() + ".jet4", older);
        ASSERT_NO_THROW(folder.open());
        const std::string backup = older.empty() ? ".jet4" : ".jet4.1";
        const Names expected = older.empty() ? Names{"kelvma.dat", "kelvma.dat.jet4"}
                                             : Names{"kelvma.dat", "kelvma.dat.jet4", "kelvma.dat.jet4.1"};
        EXPECT_EQ(folder.names(), expected);
        EXPECT_EQ(folder.read(backup), jet);
        if (!older.empty()) {
            EXPECT_EQ(folder.read(".jet4"), older);
        }
        // NULL stays NULL, an empty text stays empty, texts are UTF-8.
        EXPECT_EQ(testdb::scalar(folder.file(), "SELECT typeof(zd2) FROM b5 WHERE zd1 = 1"), "null");
        EXPECT_EQ(testdb::scalar(folder.file(), "SELECT count(*) FROM b3 WHERE zd4 = ''"), "3");
        EXPECT_EQ(testdb::scalar(folder.file(), "SELECT zd2 FROM b4 WHERE zd1 = 1"), "数一数");
        // The next start opens the converted file as it is.
        const std::string converted = folder.read();
        const Names names = folder.names();
        ASSERT_NO_THROW(folder.open());
        EXPECT_EQ(folder.names(), names);
        EXPECT_EQ(folder.read(), converted);
    }
}

// Cuts the first row of a long-value chain (on a page marked "LVAL") to its
// 4-byte pointer to the next page and points it at itself: a chain that
// adds nothing and never ends.
void loopFirstChainPage(std::string& bytes) {
    const std::size_t size = data::kJetPageSize;
    auto u16 = [&](std::size_t at) { return std::size_t(std::uint8_t(bytes[at])) | std::uint8_t(bytes[at + 1]) << 8; };
    auto isLongValuePage = [&](std::size_t page) {
        return (page + 1) * size <= bytes.size() && bytes[page * size] == 1 &&
               bytes.compare(page * size + 4, 4, "LVAL") == 0;
    };
    for (std::size_t page = 1; (page + 1) * size <= bytes.size(); ++page) {
        const std::size_t base = page * size;
        if (!isLongValuePage(page) || u16(base + 12) == 0 || (u16(base + 14) & 0xc000)) continue;
        const std::size_t start = base + (u16(base + 14) & 0x1fff);
        const std::uint32_t next = std::uint8_t(bytes[start]) | std::uint8_t(bytes[start + 1]) << 8 |
                                   std::uint32_t(std::uint8_t(bytes[start + 2])) << 16 |
                                   std::uint32_t(std::uint8_t(bytes[start + 3])) << 24;
        if (!isLongValuePage(next >> 8) || (next & 0xff) != 0) continue;
        // Row 0 ends at the page's end; it now starts 4 bytes before.
        const std::size_t cut = size - 4;
        bytes[base + 14] = char(cut & 0xff);
        bytes[base + 15] = char(cut >> 8);
        const std::uint32_t self = std::uint32_t(page) << 8;
        for (int i = 0; i < 4; ++i) bytes[base + cut + i] = char(self >> (8 * i));
        return;
    }
    throw std::runtime_error("no long-value chain in the test file");
}

TEST(JetStartUp, ABadFileGetsItsMessageAndStaysAsItWas) {
    SKIP_WITHOUT_JET_FIXTURES();
    // A test file, cut after cutAt bytes, then changed.
    using Change = std::function<void(std::string&)>;
    auto fixture = [](const char* name, std::size_t cutAt = std::string::npos, Change change = nullptr) {
        return [=](const std::string& file) {
            std::string bytes = testdb::readFile(jetfixtures::path(name)).substr(0, cutAt);
            if (change) change(bytes);
            testdb::writeFile(file, bytes);
        };
    };
    const Change jet3 = [](std::string& bytes) { bytes[0x14] = 0; };
    // b1's table definition names its columns in UTF-16: "zd15" becomes "zd95".
    const Change renameZd15 = [](std::string& bytes) {
        bytes[bytes.find(std::string{'z', 0, 'd', 0, '1', 0, '5', 0}) + 4] = '9';
    };
    const std::size_t page = data::kJetPageSize;
    const std::size_t fullPages = fs::file_size(jetfixtures::path("kelvma-full.mdb")) / page;
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* message;
    } cases[] = {
        {"wrong password", fixture("small-wrong-password.mdb"), "wrong database password"},
        {"no password", fixture("small-no-password.mdb"), "the Jet file has no database password"},
        {"Jet 3 header", fixture("small.mdb", std::string::npos, jet3), "is a Jet 3 (Access 97) file"},
        {"no table b6", fixture("small-no-b6.mdb"), "the Jet file has no table b6"},
        {"no column b1.zd15", fixture("small.mdb", std::string::npos, renameZd15),
         "the Jet file's table b1 has no column zd15"},
        {"a long value's page points at itself", fixture("small.mdb", std::string::npos, loopFirstChainPage),
         "the Jet file is damaged"},
        {"cut inside a page", fixture("kelvma-full.mdb", 800 * page + 100), "not a whole number of pages"},
        {"only the header page", fixture("kelvma-full.mdb", page), "damaged: its catalog cannot be read"},
        {"half its pages", fixture("kelvma-full.mdb", fullPages / 2 * page), "the Jet file is damaged"},
        {"the last pages missing", fixture("kelvma-full.mdb", (fullPages - 30) * page), "damaged: b6.zd5 (zd1="},
    };
    for (const auto& c : cases) {
        ProgramFolder folder(jetfixtures::path("small.mdb"));
        c.make(folder.file());
        const std::string before = folder.read();
        try {
            folder.open();
            ADD_FAILURE() << c.name << ": opened";
        } catch (const DataError& e) {
            EXPECT_NE(std::string(e.what()).find(folder.file()), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
        }
        EXPECT_EQ(folder.read(), before) << c.name;
        EXPECT_EQ(folder.names(), Names{"kelvma.dat"}) << c.name;
    }
}

TEST(JetStartUp, ASecondProgramWaitsForTheConversionLockOnlySoLong) {
    SKIP_WITHOUT_JET_FIXTURES();
    ProgramFolder folder(jetfixtures::path("small.mdb"));
    const std::string before = folder.read();
    // Another process holding the conversion lock and never letting go.
    const int holder = ::open(folder.file().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto start = std::chrono::steady_clock::now();
    try {
        data::convertDataFileInPlace(folder.file(), kPassword, std::chrono::milliseconds(300));
        ADD_FAILURE() << "converted while locked";
    } catch (const DataError& e) {
        EXPECT_NE(std::string(e.what()).find("另一个程序正在转换数据文件"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(folder.file()), std::string::npos) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    ::close(holder);
    EXPECT_EQ(folder.read(), before);
    EXPECT_EQ(folder.names(), Names{"kelvma.dat"});
    EXPECT_TRUE(data::convertDataFileInPlace(folder.file(), kPassword));
}

TEST(JetStartUp, AFullDiskOrAFolderThatCannotBeWrittenLeavesTheJetFile) {
    SKIP_WITHOUT_JET_FIXTURES();
    const struct {
        std::vector<std::string> options;
        bool lockFolder;
        std::string message;
    } cases[] = {
        // Writes beyond a megabyte fail as on a full disk.
        {{"--file-limit=1000000"}, false, "cannot write"},
        // root may write anywhere: the probe then runs as nobody.
        {geteuid() == 0 ? std::vector<std::string>{"--as-nobody"} : std::vector<std::string>{}, true,
         "/dat cannot be written, so the Jet 4.0 file there cannot be converted"},
    };
    for (const auto& c : cases) {
        ProgramFolder folder(jetfixtures::path("kelvma-full.mdb"));
        const std::string jet = folder.read();
        fs::permissions(folder.dir.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
        if (c.lockFolder) fs::permissions(folder.dat(), static_cast<fs::perms>(0555));
        Probe probe(folder, c.options);
        EXPECT_FALSE(probe.finish());
        EXPECT_NE(probe.errors().find(c.message), std::string::npos) << probe.errors();
        fs::permissions(folder.dat(), fs::perms::owner_all);
        EXPECT_EQ(folder.read(), jet);
        EXPECT_EQ(folder.names(), Names{"kelvma.dat"});
        Probe again(folder);
        EXPECT_TRUE(again.finish()) << again.errors();
    }
}

TEST(JetKill, AKilledConversionLeavesTheJetFileOrTheWholeNewOneAndTheNextStartWorks) {
    SKIP_WITHOUT_JET_FIXTURES();
    const std::string jet = testdb::readFile(jetfixtures::path("kelvma-full.mdb"));
    // How long the open takes with the conversion, to spread the kills over it.
    ProgramFolder timing(jetfixtures::path("kelvma-full.mdb"));
    Probe first(timing);
    ASSERT_TRUE(first.opening());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(first.finish()) << first.errors();
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> delay(0, took.count() * 11 / 10);
    const int kills = 24;
    int untouched = 0, converted = 0, finishedFirst = 0;
    for (int i = 0; i < kills; ++i) {
        SCOPED_TRACE("kill " + std::to_string(i) + ", seed " + std::to_string(seed));
        ProgramFolder folder(jetfixtures::path("kelvma-full.mdb"));
        {
            Probe probe(folder);
            ASSERT_TRUE(probe.opening());
            std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
            probe.kill();
            finishedFirst += probe.finish();
        }
        if (folder.read() == jet) {
            ++untouched;
        } else {
            ++converted;
            EXPECT_EQ(testdb::scalar(folder.file(), "PRAGMA integrity_check"), "ok");
            EXPECT_EQ(testdb::scalar(folder.file(), "SELECT count(*) FROM b6"), "96");
            EXPECT_EQ(folder.read(".jet4"), jet);
        }
        Probe next(folder);
        EXPECT_TRUE(next.finish()) << next.errors();
        EXPECT_NE(next.output().find("opened 266"), std::string::npos);
        EXPECT_EQ(folder.names(), (Names{"kelvma.dat", "kelvma.dat.jet4"}));
        EXPECT_EQ(folder.read(".jet4"), jet);
    }
    std::cout << "conversion " << took.count() / 1000 << " ms; " << kills << " kills: Jet file untouched "
              << untouched << ", converted file " << converted << " (finished before the kill " << finishedFirst
              << ")\n";
}

}  // namespace
