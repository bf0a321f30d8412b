#include "picture_bounds.h"

#include "jpeg.h"

#include <QFont>
#include <QPainter>

namespace pictures {
namespace {

constexpr int kSentenceHeight = 40;

bool tooLarge(const QSize& size) {
    return static_cast<long long>(size.width()) * size.height() > kMaxPixels;
}

}  // namespace

int heightWithin(const std::vector<unsigned char>& jpegBytes) {
    const QSize size = jpeg::size(jpegBytes);
    return tooLarge(size) ? kSentenceHeight : size.height();
}

QImage decodeWithin(const std::vector<unsigned char>& jpegBytes, const QString& sentence, int width) {
    if (!tooLarge(jpeg::size(jpegBytes))) return jpeg::decode(jpegBytes);
    QImage image(width, kSentenceHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QFont("宋体", 16));
    painter.setPen(Qt::red);
    painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, sentence);
    return image;
}

}  // namespace pictures
