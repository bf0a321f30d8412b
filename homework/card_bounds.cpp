#include "card_bounds.h"

#include "gbk.h"
#include "jpeg.h"
#include "picture_bounds.h"

namespace cards {
namespace {

const std::string kCrLf = "\r\n";

}  // namespace

std::string boundedText(std::string_view gbkText) {
    std::size_t at = 0;
    for (std::size_t line = 1; line < kMaxLines; ++line) {
        at = gbkText.find(kCrLf, at);
        if (at == std::string_view::npos) return std::string(gbkText);
        at += kCrLf.size();
    }
    // at: the start of the last line allowed; more than one line may follow.
    const std::size_t next = gbkText.find(kCrLf, at);
    if (next == std::string_view::npos || next + kCrLf.size() >= gbkText.size()) return std::string(gbkText);
    return std::string(gbkText.substr(0, at)) + gbk::fromUtf8("（题目太长，后面的内容无法显示。）");
}

QImage boundedPicture(const std::vector<unsigned char>& jpegBytes) {
    QImage picture = pictures::decodeWithin(jpegBytes, QString::fromUtf8("（图片太大，无法显示。）"), kMaxPictureWidth);
    if (picture.width() <= kMaxPictureWidth && picture.height() <= kMaxPictureHeight) return picture;
    const QSize box = picture.size().scaled(kMaxPictureWidth, kMaxPictureHeight, Qt::KeepAspectRatio);
    return picture.scaled(box.expandedTo(QSize(1, 1)), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace cards
