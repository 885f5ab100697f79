#include "app/view/button_pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace app::view {
namespace {

constexpr int kWidth = 46;
constexpr int kHeight = 32;

QPixmap blank() {
    QPixmap picture(kWidth, kHeight);
    picture.fill(Qt::transparent);
    return picture;
}

}  // namespace

QPixmap crossPicture() {
    QPixmap picture = blank();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QLineF down(15, 4, 31, 28), up(31, 4, 15, 28);
    for (const auto& [color, width] :
         {std::pair{QColor(90, 0, 0), 8.0}, {QColor(220, 20, 20), 5.0}}) {
        p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(down);
        p.drawLine(up);
    }
    return picture;
}

QPixmap diskettePicture() {
    QPixmap picture = blank();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    // Body with one cut corner.
    QPainterPath body;
    body.moveTo(9, 2);
    body.lineTo(33, 2);
    body.lineTo(37, 6);
    body.lineTo(37, 30);
    body.lineTo(9, 30);
    body.closeSubpath();
    p.setPen(QPen(QColor(10, 10, 40), 1));
    p.setBrush(QColor(30, 50, 140));
    p.drawPath(body);
    // Metal shutter with its window.
    p.setBrush(QColor(190, 195, 205));
    p.drawRect(QRectF(15, 2, 15, 10));
    p.setBrush(QColor(30, 50, 140));
    p.drawRect(QRectF(24, 4, 4, 6));
    // Label.
    p.setBrush(Qt::white);
    p.drawRect(QRectF(12, 16, 22, 12));
    p.setPen(QPen(QColor(150, 150, 170), 1));
    for (int y = 19; y <= 25; y += 3) p.drawLine(QLineF(14, y, 32, y));
    return picture;
}

QPixmap binocularsPicture() {
    QPixmap picture = blank();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    // Eyepieces and the bridge between them.
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(QRectF(12, 4, 8, 10));
    p.drawRect(QRectF(26, 4, 8, 10));
    p.drawRect(QRectF(19, 9, 8, 5));
    // Barrels and lenses.
    for (qreal cx : {14.0, 32.0}) {
        p.setBrush(QColor(25, 25, 25));
        p.drawEllipse(QPointF(cx, 21), 9, 9);
        p.setBrush(QColor(70, 120, 200));
        p.drawEllipse(QPointF(cx, 21), 5.5, 5.5);
        p.setBrush(QColor(200, 225, 255));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(cx - 2, 19), 1.8, 1.8);
        p.setPen(QPen(Qt::black, 1));
    }
    return picture;
}

}  // namespace app::view
