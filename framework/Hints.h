#pragma once

#include <QObject>
#include <QString>

namespace kw {

// The application's current hint (the long part of a "short|long" hint), shared by every window:
// the main window sets it when the pointer moves over a control; status bars that show hints
// listen to hintChanged.
class HintHub : public QObject
{
    Q_OBJECT
public:
    static HintHub &instance();
    QString hint() const { return hint_; }
    void setHint(const QString &hint);

signals:
    void hintChanged(const QString &hint);

private:
    QString hint_;
};

inline HintHub &hints() { return HintHub::instance(); }

} // namespace kw
