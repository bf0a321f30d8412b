// What one content page may hold.  The page text comes from the file: any
// number of lines and picture tags, all naming the same large picture if it
// likes.  A page decodes each distinct picture once, shows at most
// kMaxPictures tags and stops at its bitmap's last line, saying so in
// Chinese where the content stops.
#pragma once

#include <QImage>

#include <functional>
#include <map>
#include <string>

namespace learning {

class PageBounds {
public:
    static constexpr int kMaxPictures = 100;

    // bottom: the last page row (page units) a line may start at.
    explicit PageBounds(long long bottom) : bottom_(bottom) {}

    // True when a line may start at y; else the page is full and the
    // composer writes fullNotice() there and stops.
    bool lineFits(long long y) const { return y <= bottom_; }
    // The row where the notice of a full page goes: y, or the last row when
    // a tall picture took the page past it.
    long long noticeRow(long long y) const { return y < bottom_ ? y : bottom_; }
    static std::string fullNotice();  // GBK

    // Counts a picture tag: true while the page may show it.  The first tag
    // over the bound sets notice (GBK) to the line to write instead; later
    // ones leave it empty and are skipped.
    bool takePicture(std::string& notice);

    // The picture of a tag, decoded by decode on the first use on this page.
    QImage picture(const std::string& tag, const std::function<QImage()>& decode);

private:
    long long bottom_;
    int pictures_ = 0;
    std::map<std::string, QImage> decoded_;
};

}  // namespace learning
