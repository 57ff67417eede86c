#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace kw {

// The application's current hint (the long part of a "short|long" hint), shared by every window.
// It follows the pointer anywhere in the program: the hint of the control under the pointer, or
// nothing over a control without one. Status bars that show hints listen to hintChanged.
class HintHub : public QObject
{
    Q_OBJECT
public:
    static HintHub &instance();
    QString hint() const { return hint_; }
    void setHint(const QString &hint);
    // The hint of the control the pointer is over now.
    QString pointerHint() const;

signals:
    void hintChanged(const QString &hint);

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    HintHub();
    QString hint_;
    QPointer<QWidget> underPointer_;
};

inline HintHub &hints() { return HintHub::instance(); }

// A control's hint (the long part): the one given here, else its status tip, else its tooltip.
// A disabled control shows none.
void setControlHint(QWidget *control, const QString &hint);
QString controlHint(const QWidget *control);

} // namespace kw
