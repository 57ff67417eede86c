#pragma once

// The pop-up pocket calculator: the window TCalculatorForm, created for one run and destroyed
// afterwards, and the dialog object that keeps the calculator's value from one run to the next.

#include "tools/calculators/CalcEngine.h"

#include <QDialog>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;

class TCalculatorForm : public QDialog
{
    Q_OBJECT
public:
    explicit TCalculatorForm(QWidget *parent = nullptr);

    // Shows value as a result (nothing changes for 0), before the window is shown.
    void start(double value);
    // The number accepted with "Dodaj"; valid once the window closed as accepted.
    double acceptedValue() const { return result_; }
    const CalcEngine &engine() const { return engine_; }

    // Feeds one input character, as a button or a key does.
    void press(QChar input);

    QLabel *DisplayLabel;
    QLabel *MemoryLabel;
    QToolButton *OkButton;
    QToolButton *CancelButton;
    QMenu *PopupMenu1;
    QAction *Kopiuj1;
    QAction *Wklej1;

public slots:
    void OkButtonClick();
    void CancelButtonClick();
    void Kopiuj1Click();
    void Wklej1Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QToolButton *addButton(const QString &name, const QString &caption, int x, int y, int width,
                           const QColor &colour);
    // Runs one engine call; an error it raises is shown by the default error report.
    void run(const std::function<void()> &call);
    void refresh();
    void updatePaste();

    CalcEngine engine_;
    double result_ = 0;
};

namespace kw {

// The calculator dialog object of the main window (Calculator1): keeps one number between runs,
// 0 at first.
class CalculatorDialog
{
public:
    double value() const { return value_; }
    void setValue(double value) { value_ = value; }
    // Runs the calculator modally, starting from value(). Returns true when the user accepted;
    // value() is then the accepted number, otherwise it is unchanged.
    bool execute(QWidget *parent = nullptr);

private:
    double value_ = 0;
};

// The quick calculator of the tool bar's number box: the box's number (if it is one) starts the
// calculator, and an accepted result goes back into the box. A box that does not hold a number is
// set to "0" without a word, and the calculator starts from its own last value.
void runQuickCalculator(QLineEdit *numberBox, CalculatorDialog &calculator);

} // namespace kw
