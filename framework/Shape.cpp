#include "framework/Shape.h"

#include <QPainter>

namespace kw {

Shape::Shape(QWidget *parent) : QWidget(parent) {}

void Shape::setBrushColor(const QColor &c)
{
    if (c == brush_)
        return;
    brush_ = c;
    update();
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(brush_);
    const int d = std::min(width(), height()) - 1;
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace kw
