#pragma once

// The standard open, save, print and font dialogs go through here, so tests can answer them
// without a person. Production code calls only these functions.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

namespace kw {

enum class FileDialogKind
{
    Open,
    Save
};

struct FileDialogRequest
{
    FileDialogKind kind = FileDialogKind::Open;
    QString title;       // empty: the dialog's own ("Otwórz" / "Zapisz jako")
    QString directory;   // where the dialog starts
    QString filter;      // "Description|pattern|Description|pattern"
    int filterIndex = 0; // the entry chosen at the start, zero-based
};

struct FileDialogAnswer
{
    bool accepted = false;
    QString path;          // as the user chose or typed it
    int filterIndex = 0;   // the entry of the filter in use when the dialog closed
    bool readOnly = false; // the open dialog's "open read-only" option
};

// The entries of a "Description|pattern|..." filter as Qt name filters ("Description (pattern)").
QStringList nameFilters(const QString &filter);
// The patterns of the filter's entries ("*.rtf", "*.txt"), in order.
QStringList filterPatterns(const QString &filter);

// Runs the open or save dialog. The save dialog never asks about overwriting: the caller asks.
FileDialogAnswer runFileDialog(QWidget *parent, const FileDialogRequest &request);

// Runs the print dialog on the printer; true when the user confirmed.
bool runPrintDialog(QWidget *parent, QPrinter *printer);

// What a print dialog offers beyond the printer: the pages to choose from, and the choices of a
// page range and of the selection.
struct PrintDialogRequest
{
    int minPage = 0; // 0 and 0: no page numbers
    int maxPage = 0;
    bool pageRange = false;
    bool selection = false;
};
// The same with page numbers and options; the printer's range, copies and printer come back set.
bool runPrintDialog(QWidget *parent, QPrinter *printer, const PrintDialogRequest &request);

struct FontChoice
{
    QFont font;
    QColor colour;
};
// Runs the font dialog from a font and colour; the chosen ones, or nothing when cancelled.
std::optional<FontChoice> runFontDialog(QWidget *parent, const FontChoice &initial);

// For tests: answer the dialogs instead of a person. Pass nullptr to restore the real dialogs.
// Each returns the handler that was installed before.
using FileDialogHandler = std::function<FileDialogAnswer(const FileDialogRequest &)>;
using PrintDialogHandler = std::function<bool(QPrinter *)>;
// Answers the print dialogs that carry a request; without one, those go to the plain handler.
using PrintSetupHandler = std::function<bool(QPrinter *, const PrintDialogRequest &)>;
using FontDialogHandler = std::function<std::optional<FontChoice>(const FontChoice &)>;
FileDialogHandler setFileDialogHandler(FileDialogHandler handler);
PrintDialogHandler setPrintDialogHandler(PrintDialogHandler handler);
PrintSetupHandler setPrintSetupHandler(PrintSetupHandler handler);
FontDialogHandler setFontDialogHandler(FontDialogHandler handler);

} // namespace kw
