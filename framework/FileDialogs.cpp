#include "framework/FileDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace kw {

namespace {
FileDialogHandler &fileHandler()
{
    static FileDialogHandler h;
    return h;
}

PrintSetupHandler &printSetupHandler()
{
    static PrintSetupHandler h;
    return h;
}

PrintDialogHandler &printHandler()
{
    static PrintDialogHandler h;
    return h;
}
FontDialogHandler &fontHandler()
{
    static FontDialogHandler h;
    return h;
}

FileDialogAnswer showRealFileDialog(QWidget *parent, const FileDialogRequest &r)
{
    const bool open = r.kind == FileDialogKind::Open;
    // Qt's own dialog rather than the desktop's: only it can carry the read-only option.
    QFileDialog dialog(parent, r.title, r.directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = nameFilters(r.filter);
    dialog.setNameFilters(filters);
    if (r.filterIndex >= 0 && r.filterIndex < filters.size())
        dialog.selectNameFilter(filters.at(r.filterIndex));

    QCheckBox *readOnly = nullptr;
    if (open) {
        if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout())) {
            readOnly = new QCheckBox(QStringLiteral("Otwórz tylko do &odczytu"), &dialog);
            grid->addWidget(readOnly, grid->rowCount(), 0, 1, -1);
        }
    }

    FileDialogAnswer a;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return a;
    a.accepted = true;
    a.path = dialog.selectedFiles().constFirst();
    a.filterIndex = std::max<int>(0, int(filters.indexOf(dialog.selectedNameFilter())));
    a.readOnly = readOnly && readOnly->isChecked();
    return a;
}

// The sixteen colours a font dialog traditionally offers.
struct NamedColour
{
    const char *name;
    QRgb rgb;
};
constexpr NamedColour FontColours[] = {
    {"Czarny", 0x000000},    {"Kasztanowy", 0x800000}, {"Zielony", 0x008000},    {"Oliwkowy", 0x808000},
    {"Granatowy", 0x000080}, {"Purpurowy", 0x800080},  {"Morski", 0x008080},     {"Szary", 0x808080},
    {"Srebrny", 0xC0C0C0},   {"Czerwony", 0xFF0000},   {"Limonkowy", 0x00FF00},  {"Żółty", 0xFFFF00},
    {"Niebieski", 0x0000FF}, {"Fuksja", 0xFF00FF},     {"Akwamaryna", 0x00FFFF}, {"Biały", 0xFFFFFF},
};

std::optional<FontChoice> showRealFontDialog(QWidget *parent, const FontChoice &initial)
{
    QFontDialog dialog(initial.font, parent);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    // Qt's font dialog has no colour; a row with the traditional sixteen is added to it.
    auto *colours = new QComboBox(&dialog);
    colours->setObjectName(QStringLiteral("FontColour"));
    for (const NamedColour &c : FontColours) {
        QPixmap swatch(16, 12);
        swatch.fill(QColor(c.rgb));
        QPainter(&swatch).drawRect(0, 0, 15, 11);
        colours->addItem(QIcon(swatch), QString::fromUtf8(c.name), QColor(c.rgb));
    }
    const QColor start = initial.colour.isValid() ? initial.colour : QColor(Qt::black);
    int at = colours->findData(QColor::fromRgb(start.rgb()));
    if (at < 0) { // a colour of its own, from a file
        colours->addItem(start.name(), start);
        at = colours->count() - 1;
    }
    colours->setCurrentIndex(at);
    auto *label = new QLabel(QStringLiteral("&Kolor:"), &dialog);
    label->setBuddy(colours);
    // Beside the other effects (strike-out, underline) when the dialog has that box, else below.
    QGroupBox *effects = nullptr;
    for (QGroupBox *box : dialog.findChildren<QGroupBox *>())
        if (!box->findChildren<QCheckBox *>().isEmpty())
            effects = box;
    if (auto *column = effects ? qobject_cast<QBoxLayout *>(effects->layout()) : nullptr) {
        auto *row = new QHBoxLayout;
        row->addWidget(label);
        row->addWidget(colours, 1);
        column->addLayout(row);
    } else if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout())) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(colours, row, 1, 1, -1);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return FontChoice{dialog.selectedFont(), colours->currentData().value<QColor>()};
}
} // namespace

QStringList nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        // A description that already names its pattern is used as it is.
        out << (description.contains(parts.at(i + 1))
                    ? description
                    : QStringLiteral("%1 (%2)").arg(description, QString(parts.at(i + 1)).replace(';', ' ')));
    }
    return out;
}

QStringList filterPatterns(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 1; i < parts.size(); i += 2)
        out << parts.at(i);
    return out;
}

FileDialogAnswer runFileDialog(QWidget *parent, const FileDialogRequest &request)
{
    if (fileHandler())
        return fileHandler()(request);
    return showRealFileDialog(parent, request);
}

bool runPrintDialog(QWidget *parent, QPrinter *printer)
{
    if (printHandler())
        return printHandler()(printer);
    QPrintDialog dialog(printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool runPrintDialog(QWidget *parent, QPrinter *printer, const PrintDialogRequest &request)
{
    if (printSetupHandler())
        return printSetupHandler()(printer, request);
    if (printHandler())
        return printHandler()(printer);
    QPrintDialog dialog(printer, parent);
    QAbstractPrintDialog::PrintDialogOptions options = dialog.options();
    options.setFlag(QAbstractPrintDialog::PrintPageRange, request.pageRange);
    options.setFlag(QAbstractPrintDialog::PrintSelection, request.selection);
    dialog.setOptions(options);
    if (request.maxPage > 0) {
        dialog.setMinMax(request.minPage, request.maxPage);
        // A range chosen before is shown again; otherwise the whole range is preset.
        if (printer->printRange() != QPrinter::PageRange || printer->fromPage() < request.minPage ||
            printer->toPage() > request.maxPage || printer->fromPage() > printer->toPage())
            printer->setFromTo(request.minPage, request.maxPage);
    }
    // The set-up only keeps the settings: its accept button must not promise a print.
    if (auto *buttons = dialog.findChild<QDialogButtonBox *>())
        if (QPushButton *ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("OK"));
    return dialog.exec() == QDialog::Accepted;
}

std::optional<FontChoice> runFontDialog(QWidget *parent, const FontChoice &initial)
{
    if (fontHandler())
        return fontHandler()(initial);
    return showRealFontDialog(parent, initial);
}

FileDialogHandler setFileDialogHandler(FileDialogHandler handler)
{
    FileDialogHandler old = std::move(fileHandler());
    fileHandler() = std::move(handler);
    return old;
}

PrintDialogHandler setPrintDialogHandler(PrintDialogHandler handler)
{
    PrintDialogHandler old = std::move(printHandler());
    printHandler() = std::move(handler);
    return old;
}

PrintSetupHandler setPrintSetupHandler(PrintSetupHandler handler)
{
    PrintSetupHandler old = std::move(printSetupHandler());
    printSetupHandler() = std::move(handler);
    return old;
}

FontDialogHandler setFontDialogHandler(FontDialogHandler handler)
{
    FontDialogHandler old = std::move(fontHandler());
    fontHandler() = std::move(handler);
    return old;
}

} // namespace kw
