#pragma once

// The start-up window: the logo and the program's title, on screen while the windows are created.

#include <QWidget>

class QLabel;

class TFormLogo : public QWidget
{
    Q_OBJECT
public:
    explicit TFormLogo(QWidget *parent = nullptr);

    // True once the window has been painted at least once (start-up must not go on before).
    bool isPainted() const { return painted_; }

signals:
    void painted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *image1_ = nullptr;
    QLabel *label1_ = nullptr;
    bool painted_ = false;
};
