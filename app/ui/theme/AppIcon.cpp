#include "ui/theme/AppIcon.hpp"

#include <QPainter>
#include <QPixmap>

#include "maps/AppIconArt.hpp"
#include "ui/controls/BrandMark.hpp"
#include "ui/theme/QtTheme.hpp"

namespace AppIcon {
QImage image(int side) {
    QImage picture(side, side, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(qColor(Theme::ground.rgb));
    const double radius = side * AppIconArt::backdropRadius;
    painter.drawRoundedRect(QRectF(0, 0, side, side), radius, radius);
    const double margin = side * AppIconArt::logoMargin;
    BrandMark::paint(painter, QPointF(margin, margin), side - 2 * margin);
    painter.end();
    return picture;
}

QIcon icon() {
    QIcon result;
    for (int side : sizes) result.addPixmap(QPixmap::fromImage(image(side)));
    return result;
}
}  // namespace AppIcon
