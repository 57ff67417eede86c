#include "app/Icons.h"
#include "framework/Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kw::icons {

namespace {

// Every picture is drawn on a 16 x 16 grid; the painter scales it to the pixmap.
using namespace kw::pictures;

// A page with its top right corner folded.
void page(QPainter &p, const QRectF &r)
{
    const qreal f = 4;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - f, r.top());
    path.lineTo(r.right(), r.top() + f);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawPath(path);
    QPainterPath fold;
    fold.moveTo(r.right() - f, r.top());
    fold.lineTo(r.right() - f, r.top() + f);
    fold.lineTo(r.right(), r.top() + f);
    p.setBrush(PaperShade);
    p.drawPath(fold);
}

void calendar(QPainter &p, const QRectF &r)
{
    sheet(p, r);
    p.setPen(Qt::NoPen);
    p.setBrush(Red);
    p.drawRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 1, 3));
    // Binding rings.
    p.setBrush(Outline);
    p.drawRect(QRectF(r.left() + 2.5, r.top() - 1.5, 1.5, 3));
    p.drawRect(QRectF(r.right() - 4, r.top() - 1.5, 1.5, 3));
    // Days.
    const qreal cell = (r.width() - 3) / 3;
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) {
            p.setBrush(row == 1 && col == 1 ? Blue : PaperShade.darker(110));
            p.drawRect(QRectF(r.left() + 2 + col * cell, r.top() + 5 + row * 3.5, cell - 1.5, 2.5));
        }
}

void plus(QPainter &p, const QPointF &c, qreal arm, const QColor &colour)
{
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(colour);
    const qreal w = 1.5;
    QPainterPath cross;
    cross.addRect(QRectF(c.x() - w, c.y() - arm, 2 * w, 2 * arm));
    cross.addRect(QRectF(c.x() - arm, c.y() - w, 2 * arm, 2 * w));
    p.drawPath(cross.simplified());
}

void minus(QPainter &p, const QPointF &c, qreal arm, const QColor &colour)
{
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(colour);
    p.drawRect(QRectF(c.x() - arm, c.y() - 1.5, 2 * arm, 3));
}

void bars(QPainter &p, const QRectF &area)
{
    static const qreal heights[] = {0.45, 0.8, 0.6, 1.0};
    const qreal w = area.width() / 4;
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        const qreal h = area.height() * heights[i];
        p.setBrush(i % 2 ? Blue : Green);
        p.drawRect(QRectF(area.left() + i * w, area.bottom() - h, w - 0.6, h));
    }
}

void draw(QPainter &p, ToolImage image)
{
    switch (image) {
    case ToolImage::OpenPeriod:
        calendar(p, QRectF(1.5, 2.5, 13, 12));
        break;
    case ToolImage::NewDay:
        calendar(p, QRectF(0.5, 1.5, 12, 11));
        plus(p, QPointF(11.5, 11.5), 4, Green);
        break;
    case ToolImage::AddSubtract:
        sheet(p, QRectF(4.5, 6.5, 11, 9));
        lines(p, 6.5, 13.5, 9.5, 3, 2);
        plus(p, QPointF(4.5, 4.5), 4, Green.lighter(115));
        minus(p, QPointF(11.5, 3.5), 3.5, Red);
        break;
    case ToolImage::Change: {
        sheet(p, QRectF(0.5, 5.5, 12, 10));
        lines(p, 2.5, 8.5, 8.5, 3, 2);
        // A pencil lying from the bottom left to the top right.
        p.save();
        p.translate(8, 8);
        p.rotate(-45);
        p.setPen(QPen(QColor(120, 80, 10), 1));
        p.setBrush(QColor(250, 200, 30));
        p.drawRect(QRectF(-4, -1.8, 9, 3.6));
        p.setBrush(QColor(240, 140, 150));
        p.drawRect(QRectF(5, -1.8, 2, 3.6));
        QPainterPath tip;
        tip.moveTo(-4, -1.8);
        tip.lineTo(-7.5, 0);
        tip.lineTo(-4, 1.8);
        tip.closeSubpath();
        p.setBrush(QColor(230, 190, 140));
        p.drawPath(tip);
        p.setPen(Qt::NoPen);
        p.setBrush(Outline);
        p.drawEllipse(QPointF(-7, 0), 0.9, 0.9);
        p.restore();
        break;
    }
    case ToolImage::Delete:
        sheet(p, QRectF(0.5, 2.5, 11, 12));
        lines(p, 2.5, 9.5, 5.5, 4, 2);
        p.setPen(QPen(Red, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 7), QPointF(14, 14));
        p.drawLine(QPointF(14, 7), QPointF(7, 14));
        break;
    case ToolImage::MonthlyReport:
        page(p, QRectF(2.5, 0.5, 11, 15));
        p.setPen(QPen(Blue, 1.5));
        p.drawLine(QPointF(4.5, 3.5), QPointF(9, 3.5));
        lines(p, 4.5, 11.5, 6.5, 4, 2);
        p.setPen(QPen(Outline, 1));
        p.drawLine(QPointF(7.5, 14), QPointF(11.5, 14));
        break;
    case ToolImage::YearlyReport:
        page(p, QRectF(2.5, 0.5, 11, 15));
        p.setPen(QPen(Blue, 1.5));
        p.drawLine(QPointF(4.5, 3.5), QPointF(9, 3.5));
        bars(p, QRectF(4.5, 6, 7.5, 7.5));
        break;
    case ToolImage::MultiYearReport:
        page(p, QRectF(5.5, 0.5, 10, 12));
        page(p, QRectF(3, 2, 10, 12));
        page(p, QRectF(0.5, 3.5, 10, 12));
        bars(p, QRectF(2.5, 7.5, 6.5, 6.5));
        break;
    case ToolImage::Notepad: {
        p.setPen(QPen(Outline, 1));
        p.setBrush(QColor(255, 240, 150));
        p.drawRect(QRectF(2.5, 2.5, 11, 13));
        lines(p, 4.5, 11.5, 6.5, 4, 2);
        p.setPen(QPen(Outline, 1.2));
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 4; ++i)
            p.drawEllipse(QRectF(3.6 + i * 2.6, 0.8, 1.6, 3.2));
        break;
    }
    case ToolImage::BankCalculator: {
        const QColor stone(190, 190, 200);
        p.setPen(QPen(Outline, 1));
        p.setBrush(stone);
        QPainterPath roof;
        roof.moveTo(0.5, 5.5);
        roof.lineTo(8, 0.8);
        roof.lineTo(15.5, 5.5);
        roof.closeSubpath();
        p.drawPath(roof);
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(2 + i * 3.5, 6.5, 1.5, 6));
        p.drawRect(QRectF(0.5, 13, 15, 2.5));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 170, 20));
        p.drawEllipse(QPointF(8, 4.0), 1.3, 1.3);
        break;
    }
    case ToolImage::Help: {
        p.setPen(QPen(Blue.darker(140), 1));
        p.setBrush(Blue);
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        QFont f(QStringLiteral("Sans Serif"));
        f.setBold(true);
        f.setPixelSize(12);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, 16, 16.5), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case ToolImage::Calculator: {
        p.setPen(QPen(Outline, 1));
        p.setBrush(QColor(200, 200, 210));
        p.drawRoundedRect(QRectF(2.5, 0.5, 11, 15), 1.5, 1.5);
        p.setBrush(QColor(200, 230, 190));
        p.drawRect(QRectF(4.5, 2.5, 7, 3));
        p.setPen(Qt::NoPen);
        p.setBrush(Outline);
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col)
                p.drawRect(QRectF(4.5 + col * 2.6, 7.5 + row * 2.6, 1.8, 1.8));
        break;
    }
    }
}

} // namespace

QPixmap toolPixmap(ToolImage image, int side)
{
    return pictures::pixmap([image](QPainter &p) { draw(p, image); }, side);
}

QIcon toolIcon(ToolImage image)
{
    return pictures::icon([image](QPainter &p) { draw(p, image); });
}

} // namespace kw::icons
