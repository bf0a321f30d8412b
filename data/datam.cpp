#include "datam.h"

#include "gbk.h"

#include <cstdio>

namespace data {

Tdatam::Tdatam()
    : a_ls(ADOConnection1, "select * from a_stzb"),
      a_cp(ADOConnection1, "delete from a_stzb"),
      aft(ADOConnection1, "select zd1,zd12 from b1 where zd1=0") {}

Tdatam::~Tdatam() = default;

void Tdatam::DataModuleCreate() {
    ADOConnection1.close();
}

std::string Tdatam::BuildConnectionString(const std::string& programDir) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=" + programDir +
           "\\dat\\kelvma.dat;Mode=Share Deny None;Extended Properties=\"\";Persist Security "
           "Info=False;"
           "Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";Jet OLEDB:Database "
           "Password=\"739184026551903\";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Locking "
           "Mode=1;Jet OLEDB:Global Partial Bulk Ops=2;"
           "Jet OLEDB:Global Bulk Transactions=1;Jet OLEDB:New Database Password=\"\";Jet "
           "OLEDB:Create System Database=False;Jet OLEDB:Encrypt Database=False;Jet OLEDB:Don't "
           "Copy Locale on Compact=False;"
           "Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False";
}

void Tdatam::OpenDatabase() {
    ADOConnection1.setConnectionString(BuildConnectionString(programDir));
    ADOConnection1.open();
}

void Tdatam::RunQuery(std::string_view gbkSql) {
    try {
        a_ls.close();
        a_ls.setSql(std::string(gbkSql));
        a_ls.open();
    } catch (const std::exception& e) {
        a_ls.close();
        reportStatementFailure(gbkSql, e);
    }
}

void Tdatam::RunCommand(std::string_view gbkSql) {
    try {
        a_cp.close();
        a_cp.setSql(std::string(gbkSql));
        a_cp.execSql();
    } catch (const std::exception& e) {
        reportStatementFailure(gbkSql, e);
    }
}

std::vector<unsigned char> Tdatam::ReadPicture(std::string gbkSql, std::string_view column,
                                               std::vector<long long> parameters) {
    aft.close();
    aft.setSql(std::move(gbkSql));
    if (!parameters.empty()) aft.setParameters(std::move(parameters));
    aft.open();
    std::vector<unsigned char> bytes = aft.fieldByName(column).asBytes();
    aft.close();
    return bytes;
}

void Tdatam::reportStatementFailure(std::string_view gbkSql, const std::exception& error) {
    std::string statement;
    try {
        statement = gbk::toUtf8(gbkSql);
    } catch (const gbk::EncodingError&) {
        statement = "(a statement that is not GBK text)";
    }
    std::fprintf(stderr, "aoshu: statement failed: %s: %s\n", statement.c_str(), error.what());
    std::fflush(stderr);
    if (showNotice) showNotice("系统数据错!"_gbk);
}

}  // namespace data
