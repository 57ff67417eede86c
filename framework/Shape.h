#pragma once

#include <QColor>
#include <QWidget>

namespace kw {

// A filled circle with a thin black outline, as large as the control allows; used as a signal light.
class Shape : public QWidget
{
    Q_OBJECT
public:
    explicit Shape(QWidget *parent = nullptr);

    QColor brushColor() const { return brush_; }
    void setBrushColor(const QColor &c);

    QSize sizeHint() const override { return {17, 17}; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QColor brush_ = Qt::white;
};

} // namespace kw
