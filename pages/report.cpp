// The homework detail report: the last recorded homework as report lines
// with their markup, cut into pages at the places where a screen page ends.
#include "application.h"
#include "datam.h"
#include "gbk.h"
#include "page_figures.h"
#include "page_view.h"
#include "page_layout.h"
#include "page_markup.h"
#include "report_pictures.h"
#include "safe_file.h"

#include <QStandardPaths>

#include <cstdio>

using namespace ui;
using pages::PageView;

namespace {

const std::string kCrLf = "\r\n";

// 'h"时"n"分"s"秒"': hours, minutes and seconds without leading zeros.  An
// empty date-time reads as midnight, as a zero date-time would.
std::string clockText(const std::optional<data::DateTime>& t) {
    const data::DateTime d = t.value_or(data::DateTime{});
    return gbk::num(d.hour) + "时"_gbk + gbk::num(d.minute) + "分"_gbk + gbk::num(d.second) + "秒"_gbk;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string verdictLine(const std::string& key, const std::string& chosen) {
    const std::string head = "标准答案: "_gbk + key;
    if (chosen == key) return head + "     你选择的答案: "_gbk + chosen + "   结果:(√)"_gbk;
    if (chosen == "@") return head + "     你选择的答案: ＿   结果:(×)"_gbk;
    return head + "     你选择的答案: "_gbk + chosen + "   结果:(×)"_gbk;
}

// The report lines also go to a text file (GBK, CR LF after every line),
// replaced each time; nothing reads it, so a failure is only logged.
void dumpReport(const std::vector<std::string>& lines) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/aoshu";
    std::string text;
    for (const std::string& line : lines) text += line + kCrLf;
    const std::string why = safefile::replaceFile(folder.toStdString(), "last-report.txt", text);
    if (!why.empty()) std::fprintf(stderr, "aoshu: cannot write the report text: %s\n", why.c_str());
}

}  // namespace

void PageView::BuildHomeworkReport() {
    datam.RunQuery("select * from b2 where zd1=1"_gbk);
    const data::Query& record = datam.a_ls;
    const long long score = record.fieldByName("zd6").asInteger();
    const long long used = record.fieldByName("zd5").asInteger();
    const std::string head = "`11Tarvix作业明细"_gbk + kCrLf + kCrLf + "`10作业开始时间: "_gbk +
                             clockText(record.fieldByName("zd3").asDateTime()) + "；作业完成时间: "_gbk +
                             clockText(record.fieldByName("zd4").asDateTime()) + "；用时："_gbk +
                             gbk::num(used / 60) + "分 "_gbk + gbk::num(used % 60) + "秒；   作业成绩："_gbk +
                             gbk::num(score) + " 分"_gbk + kCrLf + kCrLf;

    datam.RunQuery("select * from v_b where zd102=1 order by zd101"_gbk);
    std::string body = "`01选择题 (分数: 100 分，得分："_gbk + gbk::num(score) + "分)"_gbk + kCrLf + kCrLf;
    int n = 0;
    for (data::Query& rows = datam.a_ls; !rows.eof(); rows.next()) {
        // A slot that holds no question (a homework of fewer than 20, or
        // none drawn yet) is not a question of the report.
        if (rows.fieldByName("zd1").isNull()) continue;
        ++n;
        const long long key = rows.fieldByName("zd9").asInteger();
        const std::string id = rows.fieldByName("zd1").asString();
        const std::string answer = data::Tdatam::UnscrambleField(rows.fieldByName("zd6").asString(), key);
        const std::string chosen = rows.fieldByName("zd104").asString();
        const std::string question =
            replaceAll(gbk::trimRight(data::Tdatam::UnscrambleField(rows.fieldByName("zd2").asString(), key)),
                       kCrLf + "<picture>", kCrLf + "<picture>0" + id);
        body += (n < 10 ? "`00 " : "`00") + gbk::num(n) + "、"_gbk + question + kCrLf + kCrLf;
        body += verdictLine(gbk::copy(answer, 5, 1), chosen) + kCrLf + kCrLf;

        const std::string stored = rows.fieldByName("zd14").asString();
        if (stored.empty()) continue;
        std::string analysis = gbk::copy(data::Tdatam::UnscrambleField(stored, key), 5, 5000);
        if (analysis.empty()) continue;
        analysis = replaceAll("试题分析："_gbk + kCrLf + kCrLf + analysis, kCrLf + "<picture>", kCrLf + "<picture>1" + id);
        body += analysis + kCrLf + kCrLf;
    }

    m_pd->setText(head + body);
    dumpReport(m_pd->lines());
    PaginateReport();
}

void PageView::PaginateReport() {
    PageScale = pages::layout::kScreenScale;
    std::vector<pages::layout::LineShape> shapes;
    for (std::size_t i = 0; i < m_pd->lineCount(); ++i) {
        const std::string line = m_pd->line(i);
        if (const int h = pages::figureHeight(line))
            shapes.push_back({pages::layout::LineShape::Picture, h});
        else if (pages::isPictureLine(line))
            shapes.push_back({pages::layout::LineShape::Picture,
                              pages::pictureHeight(fetchReportPicture(line, 0), pages::pictureId(line, 0))});
        else
            shapes.push_back({line.empty() ? pages::layout::LineShape::Blank : pages::layout::LineShape::Text});
    }
    const std::vector<std::size_t> firstLines = pages::layout::paginate(shapes, PageScale);
    const int count = static_cast<int>(firstLines.size());

    SBOX1->setHint(pages::layout::pageTable(firstLines));
    SBOX1->tag = count;
    CurrentPage = 1;
    DrawCurrentPage();
    cyl->clearItems();
    for (int p = 1; p <= count; ++p) cyl->addItem("第"_gbk + gbk::num(p) + "页"_gbk);
    cyl->setItemIndex(0);
    SpeedButton69->setCaption("打印作业"_gbk);
    PYL->show();
    SBOX1->show();
}
