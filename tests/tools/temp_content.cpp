#include "temp_content.h"

#include <fstream>

namespace testing_content {

std::string question(const std::string& text, const std::string& extra) {
    return "[[question]]\nlevel = 2\n" + extra + "text = \"\"\"\n" + text + "\n\"\"\"\n";
}

std::string grade3(const std::string& entries) {
    return "grade = 3\nname = \"三年级上\"\n\n" + entries;
}

Files validContent() {
    return {
        {"grades/grade03.toml",
         grade3("[[unit]]\nname = \"速算\"\nstatus = \"巧算方法\"\npage = \"\"\"\n第一行\n<pic1>\n\"\"\"\n"
                "[unit.pictures]\n1 = \"p/a.svg\"\n\n" +
                question("1 + 1 = ？\nA) 1    B) 3    C) 2    D) 4"))},
        {"posts.toml", "[[post]]\nfixed = true\ntitle = \"好习惯\"\ntext = \"读题两遍。\"\n"},
        {"p/a.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\">"
                    "<rect x=\"5\" y=\"5\" width=\"10\" height=\"10\"/></svg>"},
    };
}

TempContent::TempContent(const Files& files) {
    for (const auto& [path, text] : files) {
        std::filesystem::path p = dir() / path;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
}

std::filesystem::path TempContent::dir() const { return temp_.path().toStdString() + "/content"; }

std::filesystem::path TempContent::output() const { return temp_.path().toStdString() + "/out/kelvma.dat"; }

}  // namespace testing_content
