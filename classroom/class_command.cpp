#include "class_command.h"

#include "class_report.h"
#include "pg.h"
#include "server_schema.h"

#include <map>
#include <ostream>
#include <set>

namespace classroom {

namespace {

const char* const kUsage =
    "用法：\n"
    "  aoshu-class init    --server URI\n"
    "  aoshu-class pupil   --server URI [--school 学校] --class 班级 --name 姓名 --login 登录名\n"
    "  aoshu-class teacher --server URI [--school 学校] --class 班级 --login 登录名\n"
    "  aoshu-class report  --server URI [--class 班级] [--since YYYY-MM-DD] [--csv | --pdf 文件]\n"
    "URI 是 libpq 的连接地址，例如 postgresql://teacher@db.school.example/aoshu；\n"
    "密码写在 libpq 的密码文件 ~/.pgpass 中（权限 0600），不写在地址里。\n";

struct UsageError {
    std::string text;
};

// The options after the command; each takes a value except those in flags.
std::map<std::string, std::string> options(const std::vector<std::string>& args, const std::set<std::string>& allowed,
                                           const std::set<std::string>& flags) {
    std::map<std::string, std::string> found;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (!allowed.count(name)) throw UsageError{"不认识的参数“" + name + "”。"};
        if (found.count(name)) throw UsageError{"参数“" + name + "”写了两次。"};
        if (flags.count(name)) {
            found[name] = "";
            continue;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{"参数“" + name + "”后面缺少内容。"};
        found[name] = args[++i];
    }
    return found;
}

const std::string& required(const std::map<std::string, std::string>& found, const std::string& name) {
    const auto at = found.find(name);
    if (at == found.end()) throw UsageError{"缺少参数“" + name + "”。"};
    return at->second;
}

std::string value(const std::map<std::string, std::string>& found, const std::string& name) {
    const auto at = found.find(name);
    return at == found.end() ? std::string() : at->second;
}

int writeReport(Connection& connection, const ReportRequest& request, const std::map<std::string, std::string>& o,
                std::ostream& out, std::ostream& err);

int report(const std::map<std::string, std::string>& o, std::ostream& out, std::ostream& err) {
    if (o.count("--csv") && o.count("--pdf")) throw UsageError{"--csv 和 --pdf 只能选一个。"};
    ReportRequest request;
    if (o.count("--class")) request.className = o.at("--class");
    if (o.count("--since")) {
        if (!IsDate(o.at("--since"))) throw UsageError{"日期“" + o.at("--since") + "”不对，请写成 2026-03-01 这样。"};
        request.since = o.at("--since");
    }
    Connection connection = OpenServer(required(o, "--server"));
    try {
        return writeReport(connection, request, o, out, err);
    } catch (const ServerError& e) {
        if (e.state() != "42501") throw;
        throw ServerError("这个登录名不能查看班级报告：学生的登录名只能上传作业，请用老师的登录名。", e.detail(),
                          e.state());
    }
}

int writeReport(Connection& connection, const ReportRequest& request, const std::map<std::string, std::string>& o,
                std::ostream& out, std::ostream& err) {
    if (o.count("--csv")) {
        WriteCsv(connection, request, out);
        out.flush();
        if (!out) {
            err << "aoshu-class：CSV 没有写完（输出出错）。\n";
            return kExitFile;
        }
        return kExitOk;
    }
    const std::vector<ClassFigures> classes = ReadReport(connection, request);
    if (!o.count("--pdf")) {
        out << ReportText(classes, request);
        return kExitOk;
    }
    const std::string why = WriteReportPdf(ReportLines(classes, request), o.at("--pdf"));
    if (!why.empty()) {
        err << "aoshu-class：" << why << "\n";
        return kExitFile;
    }
    err << "aoshu-class：报告已保存为 " << o.at("--pdf") << "\n";
    return kExitOk;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? kExitUsage : kExitOk;
    }
    const std::string& command = args[0];
    if (command == "init") {
        const auto o = options(args, {"--server"}, {});
        Connection connection = OpenServer(required(o, "--server"));
        InitSchema(connection);
        err << "aoshu-class：班级服务器已准备好（表和角色 aoshu_pupil、aoshu_teacher）。\n";
        return kExitOk;
    }
    if (command == "pupil") {
        const auto o = options(args, {"--server", "--school", "--class", "--name", "--login"}, {});
        const std::string& cls = required(o, "--class");
        const std::string& name = required(o, "--name");
        const std::string& login = required(o, "--login");
        Connection connection = OpenServer(required(o, "--server"));
        AddPupil(connection, value(o, "--school"), cls, name, login);
        err << "aoshu-class：学生“" << name << "”用登录名“" << login << "”上传作业。请用 psql 的 \\password "
            << login << " 给它设密码。\n";
        return kExitOk;
    }
    if (command == "teacher") {
        const auto o = options(args, {"--server", "--school", "--class", "--login"}, {});
        const std::string& cls = required(o, "--class");
        const std::string& login = required(o, "--login");
        Connection connection = OpenServer(required(o, "--server"));
        AddTeacher(connection, value(o, "--school"), cls, login);
        err << "aoshu-class：老师“" << login << "”可以查看班级“" << cls << "”。\n";
        return kExitOk;
    }
    if (command == "report")
        return report(options(args, {"--server", "--class", "--since", "--csv", "--pdf"}, {"--csv"}), out, err);
    throw UsageError{"不认识的命令“" + command + "”。"};
}

}  // namespace

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return run(args, out, err);
    } catch (const UsageError& e) {
        err << "aoshu-class：" << e.text << "\n" << kUsage;
        return kExitUsage;
    } catch (const ServerError& e) {
        err << "aoshu-class：" << e.sentence() << "\n";
        if (!e.detail().empty()) err << "服务器的说明：" << e.detail() << "\n";
        return kExitServer;
    } catch (const std::exception& e) {
        err << "aoshu-class：出错了：" << e.what() << "\n";
        return kExitServer;
    }
}

}  // namespace classroom
