// contentbuilder import-jet: a Jet 4.0 file into a database file, from the
// command line, with the checks of the program's own conversion.
#include "datam.h"
#include "jet_fixtures.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <string>

namespace {

struct Finished {
    int status;
    std::string out, err;
};

Finished importJet(const std::string& in, const std::string& out) {
    QProcess builder;
    builder.start(CONTENTBUILDER, {"import-jet", QString::fromStdString(in), QString::fromStdString(out)});
    builder.waitForFinished(60000);
    return {builder.exitCode(), builder.readAllStandardOutput().toStdString(),
            builder.readAllStandardError().toStdString()};
}

std::string contentOf(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("(missing)");
}

TEST(ImportJet, WritesTheDatabaseAndSummarisesItsRows) {
    SKIP_WITHOUT_JET_FIXTURES();
    QTemporaryDir dir;
    const std::string out = dir.path().toStdString() + "/content/kelvma.dat";
    const Finished run = importJet(jetfixtures::path("small.mdb"), out);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "b1: 4 rows\nb2: 1 row\nb3: 3 rows\nb4: 5 rows\nb5: 1 row\nb6: 3 rows\n"
                       "contentbuilder: imported " + jetfixtures::path("small.mdb") + " into " + out +
                       " (6 tables, 17 rows)\n");
    data::Tdatam datam;
    datam.ADOConnection1.setConnectionString("Data Source=" + out +
                                             ";Jet OLEDB:Database Password=739184026551903");
    ASSERT_NO_THROW(datam.ADOConnection1.open());
    datam.RunQuery("select count(*) as n from v_b");
    EXPECT_EQ(datam.a_ls.fieldByName("n").asInteger(), 3);
}

TEST(ImportJet, ABadFileWritesNothingAndSaysWhy) {
    SKIP_WITHOUT_JET_FIXTURES();
    QTemporaryDir dir;
    const std::string out = dir.path().toStdString() + "/kelvma.dat";
    QFile old(QString::fromStdString(out));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an earlier build");
    old.close();
    const Finished run = importJet(jetfixtures::path("small-no-b6.mdb"), out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, jetfixtures::path("small-no-b6.mdb") + ": the Jet file has no table b6\ncontentbuilder: " +
                           out + " not written\n");
    EXPECT_EQ(contentOf(out), "an earlier build");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

}  // namespace
