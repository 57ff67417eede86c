#include "framework/Pictures.h"

#include <QPainter>
#include <QPen>

namespace kw::pictures {

void sheet(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawRect(r);
}

void lines(QPainter &p, qreal x0, qreal x1, qreal y0, int count, qreal step)
{
    p.setPen(QPen(PaperShade.darker(115), 1));
    for (int i = 0; i < count; ++i)
        p.drawLine(QPointF(x0, y0 + i * step), QPointF(x1, y0 + i * step));
}

QPixmap pixmap(const Drawing &draw, int side)
{
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(side / 16.0, side / 16.0);
    draw(p);
    return pm;
}

QIcon icon(const Drawing &draw)
{
    QIcon icon;
    for (int side : {16, 32})
        icon.addPixmap(pixmap(draw, side));
    return icon;
}

} // namespace kw::pictures
