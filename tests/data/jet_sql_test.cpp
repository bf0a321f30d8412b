#include "datam.h"
#include "jet_sql.h"

#include <gtest/gtest.h>

namespace {

struct Rewrite {
    const char* jet;
    const char* sqlite;
};

TEST(JetDialect, RewritesTopDateTimeLiteralsAndIncrementsOnly) {
    const Rewrite cases[] = {
        {"select top 20 zd1,zd2,zd6,zd9,zd11,zd14 from b1 where zd9=11 and zd10=0 order by zd1",
         "select zd1,zd2,zd6,zd9,zd11,zd14 from b1 where zd9=11 and zd10=0 order by zd1 limit 20"},
        {"select top 1 * from b4 where zd3=12 order by zd4,rnd(zd1)",
         "select * from b4 where zd3=12 order by zd4,rnd(zd1) limit 1"},
        {"  SELECT TOP 5 zd1 FROM b1 ; ", "  SELECT zd1 FROM b1 limit 5"},
        {"select distinct top 3 zd9 from b1", "select distinct zd9 from b1 limit 3"},
        {"select topx from b1", "select topx from b1"},
        {"select top 20zd1 from b1", "select top 20zd1 from b1"},
        {"select zd2 from b4 where zd2='select top 1'", "select zd2 from b4 where zd2='select top 1'"},
        {"update b2 set zd3='2026-12-7 8:5',zd5=0,zd6=0 where zd1=1",
         "update b2 set zd3='2026-12-07 08:05:00',zd5=0,zd6=0 where zd1=1"},
        {"update b2 set zd4='2024-2-29 23:59:59',zd5=zd5+60,zd6=80 where zd1=1",
         "update b2 set zd4='2024-02-29 23:59:59',zd5=min(zd5,9223372036854775807-60)+60,zd6=80 where zd1=1"},
        {"update b2 set zd3='2026-12-07 08:05' where zd1=1",
         "update b2 set zd3='2026-12-07 08:05:00' where zd1=1"},
        {"update b4 set zd2='it''s 2026-1-1 1:1' where zd1=1",
         "update b4 set zd2='it''s 2026-1-1 1:1' where zd1=1"},
        {"update b4 set zd2='2026-1-1' where zd1=1", "update b4 set zd2='2026-1-1' where zd1=1"},
        {"update b4 set zd2='2026-1-1  1:1' where zd1=1", "update b4 set zd2='2026-1-1  1:1' where zd1=1"},
        {"select \"2026-1-1 1:1\" from b1", "select \"2026-1-1 1:1\" from b1"},
        {"update b1 set zd7=zd7+1 where zd5<=3 and zd1 in (select zd3 from b3 where zd2=1)",
         "update b1 set zd7=min(zd7,9223372036854775807-1)+1 where zd5<=3 and zd1 in (select zd3 from b3 where zd2=1)"},
        {"update b4 set zd4 = zd4 + 1 where zd1=201", "update b4 set zd4=min(zd4,9223372036854775807-1)+1 where zd1=201"},
        {"update b4 set zd4=zd40+1, xzd4=zd4+1, zd4=zd4+1.5, zd4=zd4+1x", "update b4 set zd4=zd40+1, xzd4=zd4+1, zd4=zd4+1.5, zd4=zd4+1x"},
        {"update b4 set zd2='zd4=zd4+1'", "update b4 set zd2='zd4=zd4+1'"},
        {"select * from v_b where zd102=1 order by zd101", "select * from v_b where zd102=1 order by zd101"},
        {"update  b3 set zd3=5001,zd4='',zd5=0 where zd1=1",
         "update  b3 set zd3=5001,zd4='',zd5=0 where zd1=1"},
    };
    for (const auto& c : cases) EXPECT_EQ(data::jet::toSqlite(c.jet), c.sqlite) << c.jet;
}

TEST(JetDialect, ImpossibleDateTimesFailTheStatement) {
    const char* dates[] = {"2026-13-1 8:5", "2026-0-1 8:5",  "2026-2-30 8:5",   "2025-2-29 0:0",
                           "2026-4-31 0:0", "2026-1-0 0:0",  "2026-1-1 24:0",   "2026-1-1 8:60",
                           "2026-1-1 8:5:60", "0000-1-1 0:0"};
    for (const char* date : dates)
        EXPECT_THROW(data::jet::toSqlite(std::string("update b2 set zd3='") + date + "' where zd1=1"),
                     data::DataError)
            << date;
}

}  // namespace
