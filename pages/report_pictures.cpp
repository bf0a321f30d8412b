#include "report_pictures.h"

#include "jpeg.h"
#include "picture_bounds.h"
#include "pupil_error.h"

#include <string>

namespace pages {

namespace {

// A damaged picture of the report: the pupil reads where, the log which
// question's picture and what the decoder found.
template <class F>
auto readingPicture(long long questionId, F read) {
    try {
        return read();
    } catch (const jpeg::DecodeError& e) {
        throw ui::PupilError("作业明细中有一幅题目图片已损坏，无法显示。",
                             "picture of question " + std::to_string(questionId) + ": " + e.what());
    }
}

}  // namespace

QImage decodePicture(const std::vector<unsigned char>& jpegBytes, long long questionId) {
    return readingPicture(questionId, [&] {
        return pictures::decodeWithin(jpegBytes, QString::fromUtf8("（图片太大，无法显示。）"), 600);
    });
}

int pictureHeight(const std::vector<unsigned char>& jpegBytes, long long questionId) {
    return readingPicture(questionId, [&] { return pictures::heightWithin(jpegBytes); });
}

}  // namespace pages
