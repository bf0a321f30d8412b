#include "picture_bounds.h"

#include "jpeg.h"

#include <QFont>
#include <QPainter>

namespace pictures {

QImage decodeWithin(const std::vector<unsigned char>& jpegBytes, const QString& sentence, int width) {
    const QSize size = jpeg::size(jpegBytes);
    if (static_cast<long long>(size.width()) * size.height() <= kMaxPixels) return jpeg::decode(jpegBytes);
    QImage image(width, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QFont("宋体", 16));
    painter.setPen(Qt::red);
    painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, sentence);
    return image;
}

}  // namespace pictures
