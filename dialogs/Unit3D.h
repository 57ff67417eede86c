#pragma once

#include <QDialog>

class TForm3D : public QDialog
{
    Q_OBJECT
public:
    explicit TForm3D(QWidget *parent = nullptr);
};
