// The pictures of a report: decoded for drawing, or only measured for
// pagination, which needs nothing but their heights.
#pragma once

#include <QImage>

#include <vector>

namespace pages {

// Damaged or missing data throws a ui::PupilError: a sentence a pupil can
// read, and for the log the question's id and the decoder's own words.
QImage decodePicture(const std::vector<unsigned char>& jpegBytes, long long questionId);
// The height from the picture's header; damage further on shows when the
// picture is drawn.
int pictureHeight(const std::vector<unsigned char>& jpegBytes, long long questionId);

}  // namespace pages
