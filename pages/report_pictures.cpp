#include "report_pictures.h"

#include "jpeg.h"

#include <stdexcept>
#include <string>

namespace pages {

namespace {

template <class F>
auto readingPicture(long long questionId, F read) {
    try {
        return read();
    } catch (const jpeg::DecodeError& e) {
        throw std::runtime_error("题目的图片已损坏，无法显示。(题号 " + std::to_string(questionId) + ": " + e.what() + ")");
    }
}

}  // namespace

QImage decodePicture(const std::vector<unsigned char>& jpegBytes, long long questionId) {
    return readingPicture(questionId, [&] { return jpeg::decode(jpegBytes); });
}

int pictureHeight(const std::vector<unsigned char>& jpegBytes, long long questionId) {
    return readingPicture(questionId, [&] { return jpeg::size(jpegBytes).height(); });
}

}  // namespace pages
