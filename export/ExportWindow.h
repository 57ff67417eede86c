#pragma once

// The window "Eksport": the user picks one month, one year or every year, then a file; the file's
// extension decides between a workbook (.xlsx) and text (.csv). It reads the program's books and
// writes nothing into them.

#include "export/SheetExport.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kw::sheets {

class ExportWindow : public QDialog
{
    Q_OBJECT
public:
    explicit ExportWindow(ledger::Books &books, QWidget *parent = nullptr);

    // Shows the window on the period the program has open (or that the month and year dialog
    // holds), choosing that month; the window keeps the file folder it last wrote to.
    void showFor(const ledger::Period &period);

    // What the boxes choose; nothing (and a message) when the year box holds no year.
    std::optional<Scope> scope(QString *problem = nullptr) const;
    // The file name offered in the save dialog for a scope: "Kwotnik-2024-03.xlsx".
    static QString suggestedName(const Scope &scope, Format format);

    // "Eksportuj…": asks for the file, then writes it; false when nothing was written.
    bool exportToFile();

    QRadioButton *monthButton = nullptr; // "Miesiąc"
    QRadioButton *yearButton = nullptr;  // "Rok"
    QRadioButton *allButton = nullptr;   // "Wszystkie lata"
    QComboBox *monthBox = nullptr;       // the twelve months by name
    QComboBox *yearBox = nullptr;        // the books' years; another may be typed
    QLabel *summary = nullptr;           // what goes into the file, then what was written
    QPushButton *exportButton = nullptr;
    QPushButton *closeButton = nullptr;
    QPushButton *helpButton = nullptr;

private:
    void updateBoxes();
    void showHelp();

    ledger::Books &books_;
    QString folder_;      // where the save dialog starts
    int filterIndex_ = 0; // the file type last chosen
};

} // namespace kw::sheets
