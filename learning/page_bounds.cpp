#include "page_bounds.h"

#include "gbk.h"

namespace learning {

std::string PageBounds::fullNotice() {
    return gbk::fromUtf8("（这一页的内容太长，后面的内容无法显示。）");
}

bool PageBounds::takePicture(std::string& notice) {
    notice.clear();
    if (++pictures_ <= kMaxPictures) return true;
    if (pictures_ == kMaxPictures + 1) notice = gbk::fromUtf8("（这一页的图片太多，后面的图片不再显示。）");
    return false;
}

QImage PageBounds::picture(const std::string& tag, const std::function<QImage()>& decode) {
    auto found = decoded_.find(tag);
    if (found == decoded_.end()) found = decoded_.emplace(tag, decode()).first;
    return found->second;
}

}  // namespace learning
