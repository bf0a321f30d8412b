#include "builder.h"

#include "gbk.h"

#include "content_reader.h"
#include "content_version.h"
#include "database_writer.h"
#include "jpeg_encode.h"
#include "near_duplicates.h"
#include "svg_render.h"
#include "text_rules.h"

#include <QFile>
#include <QImage>
#include <QString>

#include <cmath>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace content {
namespace {

constexpr long kPageUnits = 30000;     // height of the content page image
constexpr double kUnitsPerPixel = 3.1; // 2480 page units over 800 pixels

struct Limit {
    int width;
    int height;
};
constexpr Limit kQuestionPicture{700, 400};
constexpr Limit kPagePicture{600, 600};

// Renders a picture once per use, checking it against the use's size limit.
class PictureRenderer {
public:
    PictureRenderer(const fs::path& dir, Problems& problems) : dir_(dir), problems_(problems) {}

    void use(const std::string& prefix, const std::string& path, Limit limit) {
        if (path.empty())
            return;
        QImage image = render(prefix, path);
        if (image.isNull())
            return;
        if (image.width() > limit.width || image.height() > limit.height) {
            problems_.push_back(prefix + path + " is " + std::to_string(image.width()) + "x" +
                                std::to_string(image.height()) + " pixels (at most " +
                                std::to_string(limit.width) + "x" + std::to_string(limit.height) + ")");
            return;
        }
        heights_[path] = image.height();
        if (!data_.count(path))
            data_[path] = jpeg::encode(image);
    }

    int height(const std::string& path) const {
        auto it = heights_.find(path);
        return it == heights_.end() ? 0 : it->second;
    }
    const PictureData& data() const { return data_; }

private:
    QImage render(const std::string& prefix, const std::string& path) {
        try {
            return svg::renderFile(QString::fromStdString((dir_ / path).string()));
        } catch (const svg::Error& e) {
            problems_.push_back(prefix + path + ": " + e.what());
        }
        return {};
    }

    fs::path dir_;
    Problems& problems_;
    std::map<std::string, int> heights_;
    PictureData data_;
};

// A content page whose foot would lie below the page image is cut off there.
void checkPageHeight(const std::string& prefix, const std::string& text, const PictureList& list,
                     const PictureRenderer& pictures, Problems& problems) {
    if (!gbk::encodable(text))
        return;  // already rejected
    long y = 200;
    for (const auto& line : splitLines(gbk::fromUtf8(text))) {
        int n = pictureTagNumber(line);
        if (n > 0 && list.count(n))
            y += std::lround(pictures.height(list.at(n)) * kUnitsPerPixel) - 10;
        y += 60;
    }
    y += 100 + 160;
    if (y > kPageUnits)
        problems.push_back(prefix + "is too long: it needs " + std::to_string(y) +
                           " page units, the content page holds " + std::to_string(kPageUnits));
}

void renderGrade(const Grade& g, PictureRenderer& pictures, Problems& problems) {
    for (std::size_t i = 0; i < g.questions.size(); ++i) {
        std::string prefix = g.file + ": question " + std::to_string(i + 1) + ": ";
        pictures.use(prefix, g.questions[i].picture, kQuestionPicture);
        pictures.use(prefix, g.questions[i].analysisPicture, kQuestionPicture);
    }
    for (std::size_t i = 0; i < g.units.size(); ++i) {
        const Unit& u = g.units[i];
        std::string prefix = g.file + ": unit " + std::to_string(i + 1) + " \"" + u.name + "\": ";
        for (const auto& [n, path] : u.pictures)
            pictures.use(prefix, path, kPagePicture);
        if (!u.page.empty())
            checkPageHeight(prefix + "page ", u.page, u.pictures, pictures, problems);
    }
}

void renderPosts(const std::vector<Post>& posts, PictureRenderer& pictures, Problems& problems) {
    for (std::size_t i = 0; i < posts.size(); ++i) {
        std::string prefix = "posts.toml: post " + std::to_string(i + 1) + ": ";
        for (const auto& [n, path] : posts[i].pictures)
            pictures.use(prefix, path, kPagePicture);
        checkPageHeight(prefix + "text ", posts[i].text, posts[i].pictures, pictures, problems);
    }
}

fs::path temporaryName(const fs::path& out) {
    return out.parent_path() / (out.filename().string() + ".tmp-" + std::to_string(getpid()));
}

// Writes under a temporary name, then renames, so that out is either the
// whole picture or left as it was.
std::string writePicture(const fs::path& out, const std::function<bool(const fs::path&)>& write) {
    fs::path temp = temporaryName(out);
    bool written = write(temp);
    std::error_code ec;
    if (written)
        fs::rename(temp, out, ec);
    if (!written || ec) {
        fs::remove(temp, ec);
        return out.string() + ": cannot be written";
    }
    return {};
}

}  // namespace

Problems buildDatabase(const fs::path& contentDir, const fs::path& out, std::vector<std::string>* warnings) {
    Problems problems;
    Content content = readContent(contentDir, problems);
    const ContentVersion version = readContentVersion(contentDir, problems);
    if (warnings)
        *warnings = nearDuplicateWarnings(content, contentDir);
    PictureRenderer pictures(contentDir, problems);
    for (const Grade& g : content.grades)
        renderGrade(g, pictures, problems);
    renderPosts(content.posts, pictures, problems);
    if (!problems.empty())
        return problems;

    fs::path temp = temporaryName(out);
    std::error_code ignored;
    try {
        if (!out.parent_path().empty())
            fs::create_directories(out.parent_path());
        fs::remove(temp, ignored);
        writeDatabase(temp, content, pictures.data());
        stampVersion(temp, version);
        fs::rename(temp, out);
    } catch (const std::exception& e) {
        fs::remove(temp, ignored);
        problems.push_back(out.string() + ": " + e.what());
    }
    return problems;
}

std::string renderPicture(const fs::path& svgFile, const fs::path& out) {
    const std::string ext = out.extension().string();
    if (ext != ".jpg" && ext != ".bmp")
        return out.string() + ": the picture must be .jpg or .bmp";
    QImage image;
    try {
        image = svg::renderFile(QString::fromStdString(svgFile.string()));
    } catch (const svg::Error& e) {
        return svgFile.string() + ": " + e.what();
    }
    return writePicture(out, [&](const fs::path& temp) {
        if (ext == ".bmp")
            return image.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(temp.string()), "BMP");
        auto bytes = jpeg::encode(image);
        std::ofstream file(temp, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file.good();
    });
}

std::string renderIcon(const fs::path& svgFile, int side, const fs::path& out) {
    if (out.extension() != ".png")
        return out.string() + ": the icon must be .png";
    if (side < 16 || side > 1024)
        return "the icon side must be 16 to 1024 pixels";
    QFile file(QString::fromStdString(svgFile.string()));
    if (!file.open(QIODevice::ReadOnly))
        return svgFile.string() + ": cannot be read: " + file.errorString().toStdString();
    QImage image;
    try {
        image = svg::renderIcon(file.readAll(), side);
    } catch (const svg::Error& e) {
        return svgFile.string() + ": " + e.what();
    }
    return writePicture(out, [&](const fs::path& temp) {
        return image.save(QString::fromStdString(temp.string()), "PNG");
    });
}

}  // namespace content
