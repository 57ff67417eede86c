#pragma once

#include <QLineEdit>

class QToolButton;

namespace kw {

// A one-line edit box with a small button at its right end. The button does nothing by itself:
// it emits buttonClicked(), and the owner decides what the button runs.
class ComboEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit ComboEdit(QWidget *parent = nullptr);

    QToolButton *button() const { return button_; }
    // The picture on the button.
    void setGlyph(const QIcon &icon);

signals:
    void buttonClicked();

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void placeButton();
    QToolButton *button_;
};

} // namespace kw
