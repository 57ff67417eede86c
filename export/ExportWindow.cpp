#include "export/ExportWindow.h"
#include "framework/FileDialogs.h"
#include "framework/Messages.h"
#include "tools/help/HelpViewer.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QVBoxLayout>

namespace kw::sheets {

namespace {

const char *const MonthNames[12] = {"styczeń", "luty",     "marzec",   "kwiecień",    "maj",      "czerwiec",
                                    "lipiec",  "sierpień", "wrzesień", "październik", "listopad", "grudzień"};

const QString FileFilter = QStringLiteral("Skoroszyt XLSX|*.xlsx|Tekst CSV (średniki)|*.csv");

} // namespace

ExportWindow::ExportWindow(ledger::Books &books, QWidget *parent) : QDialog(parent), books_(books)
{
    setObjectName(QStringLiteral("Eksport"));
    setWindowTitle(QStringLiteral("Eksport do arkusza - %1").arg(appTitle()));

    auto *range = new QGroupBox(QStringLiteral("Co wyeksportować"), this);
    range->setObjectName(QStringLiteral("RangeBox"));
    monthButton = new QRadioButton(QStringLiteral("&Miesiąc"), range);
    monthButton->setObjectName(QStringLiteral("MonthButton"));
    yearButton = new QRadioButton(QStringLiteral("&Rok"), range);
    yearButton->setObjectName(QStringLiteral("YearButton"));
    allButton = new QRadioButton(QStringLiteral("&Wszystkie lata"), range);
    allButton->setObjectName(QStringLiteral("AllButton"));
    monthBox = new QComboBox(range);
    monthBox->setObjectName(QStringLiteral("MonthBox"));
    for (int m = 0; m < 12; ++m)
        monthBox->addItem(QString::fromUtf8(MonthNames[m]), QString::number(m + 1));
    yearBox = new QComboBox(range);
    yearBox->setObjectName(QStringLiteral("YearBox"));
    yearBox->setEditable(true);
    yearBox->setInsertPolicy(QComboBox::NoInsert);
    // The tables keep five characters of a year.
    yearBox->lineEdit()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,5}")), yearBox));
    auto *monthLabel = new QLabel(QStringLiteral("Miesią&c:"), range);
    monthLabel->setBuddy(monthBox);
    auto *yearLabel = new QLabel(QStringLiteral("R&ok:"), range);
    yearLabel->setBuddy(yearBox);

    auto *grid = new QGridLayout(range);
    grid->addWidget(monthButton, 0, 0);
    grid->addWidget(yearButton, 1, 0);
    grid->addWidget(allButton, 2, 0);
    grid->addWidget(monthLabel, 0, 1, Qt::AlignRight);
    grid->addWidget(monthBox, 0, 2);
    grid->addWidget(yearLabel, 1, 1, Qt::AlignRight);
    grid->addWidget(yearBox, 1, 2);
    grid->setColumnStretch(2, 1);
    grid->setColumnMinimumWidth(1, 60);

    summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("Summary"));
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *formats =
        new QLabel(QStringLiteral("Plik .xlsx to skoroszyt z arkuszami „Wpisy”, „Miesiące” i „Lata”; "
                                  "plik .csv zawiera same wpisy dni (średniki, przecinek dziesiętny)."),
                   this);
    formats->setObjectName(QStringLiteral("FormatsLabel"));
    formats->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(this);
    exportButton = buttons->addButton(QStringLiteral("&Eksportuj…"), QDialogButtonBox::AcceptRole);
    exportButton->setObjectName(QStringLiteral("ExportButton"));
    exportButton->setDefault(true);
    closeButton = buttons->addButton(QStringLiteral("&Zamknij"), QDialogButtonBox::RejectRole);
    closeButton->setObjectName(QStringLiteral("CloseButton"));
    helpButton = buttons->addButton(QStringLiteral("&Pomoc"), QDialogButtonBox::HelpRole);
    helpButton->setObjectName(QStringLiteral("HelpButton"));
    // The buttons act themselves: "Eksportuj…" keeps the window open for the next file.
    disconnect(buttons, nullptr, this, nullptr);
    connect(exportButton, &QPushButton::clicked, this, [this] { exportToFile(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(helpButton, &QPushButton::clicked, this, &ExportWindow::showHelp);
    auto *f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &ExportWindow::showHelp);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(range);
    layout->addWidget(summary);
    layout->addWidget(formats);
    layout->addStretch(1);
    layout->addWidget(buttons);

    for (QRadioButton *b : {monthButton, yearButton, allButton})
        connect(b, &QRadioButton::toggled, this, &ExportWindow::updateBoxes);
    connect(monthBox, &QComboBox::currentIndexChanged, this, &ExportWindow::updateBoxes);
    connect(yearBox, &QComboBox::currentTextChanged, this, &ExportWindow::updateBoxes);

    monthButton->setChecked(true);
    folder_ = QDir::homePath();
    resize(440, sizeHint().height());
}

void ExportWindow::showFor(const ledger::Period &period)
{
    yearBox->blockSignals(true);
    yearBox->clear();
    yearBox->addItems(books_.years());
    yearBox->setEditText(period.year);
    yearBox->blockSignals(false);
    const int month = period.monthNumber();
    monthBox->setCurrentIndex(month >= 1 && month <= 12 ? month - 1 : 0);
    monthButton->setChecked(true);
    updateBoxes();
    show();
    raise();
    activateWindow();
}

std::optional<Scope> ExportWindow::scope(QString *problem) const
{
    if (allButton->isChecked())
        return Scope::everything();
    const QString year = yearBox->currentText().trimmed();
    if (year.isEmpty()) {
        if (problem)
            *problem =
                QStringLiteral("Wpisz rok w polu „Rok” (od 1 do 5 cyfr) albo wybierz „Wszystkie lata”.");
        return std::nullopt;
    }
    if (yearButton->isChecked())
        return Scope::ofYear(year);
    return Scope::ofMonth({monthBox->currentData().toString(), year});
}

QString ExportWindow::suggestedName(const Scope &scope, Format format)
{
    QString name = QStringLiteral("Kwotnik");
    if (!scope.year.isEmpty())
        name += QLatin1Char('-') + scope.year;
    if (!scope.month.isEmpty())
        name += QLatin1Char('-') + scope.month.rightJustified(2, QLatin1Char('0'));
    return name + (format == Format::Xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv"));
}

void ExportWindow::updateBoxes()
{
    monthBox->setEnabled(monthButton->isChecked());
    yearBox->setEnabled(!allButton->isChecked());
    const std::optional<Scope> s = scope();
    exportButton->setEnabled(s.has_value());
    if (!s)
        summary->setText(QStringLiteral("Wpisz rok, z którego chcesz wyeksportować dane."));
    else if (s->year.isEmpty())
        summary->setText(
            QStringLiteral("Do pliku trafią wszystkie wpisy dni oraz sumy wszystkich miesięcy i lat."));
    else if (s->month.isEmpty())
        summary->setText(
            QStringLiteral("Do pliku trafią wpisy dni z roku %1, sumy jego miesięcy i suma roku.")
                .arg(s->year));
    else
        summary->setText(QStringLiteral("Do pliku trafią wpisy dni za %1, suma tego miesiąca i suma roku %2.")
                             .arg(s->describe(), s->year));
}

bool ExportWindow::exportToFile()
{
    QString problem;
    const std::optional<Scope> s = scope(&problem);
    if (!s) {
        messageBox(appTitle(), problem, MsgIcon::Warning);
        yearBox->setFocus();
        return false;
    }

    FileDialogRequest request;
    request.kind = FileDialogKind::Save;
    request.title = QStringLiteral("Eksportuj do pliku");
    request.filter = FileFilter;
    request.filterIndex = filterIndex_;
    request.directory =
        QDir(folder_).filePath(suggestedName(*s, filterIndex_ == 1 ? Format::Csv : Format::Xlsx));
    const FileDialogAnswer answer = runFileDialog(this, request);
    if (!answer.accepted || answer.path.isEmpty())
        return false;

    // A name typed without an extension gets the one of the file type chosen in the dialog.
    QString path = answer.path;
    if (QFileInfo(path).suffix().isEmpty()) {
        const QStringList patterns = filterPatterns(FileFilter);
        path += patterns.value(answer.filterIndex, patterns.value(0)).mid(1);
    }
    filterIndex_ = answer.filterIndex;
    folder_ = QFileInfo(path).absolutePath();
    // A file that will be refused is refused before the user is asked whether to replace it.
    if (const QString why = refusal(books_, path); !why.isEmpty()) {
        messageBox(appTitle(), why, MsgIcon::Warning);
        return false;
    }
    if (QFileInfo::exists(path) &&
        messageBox(
            appTitle(),
            QStringLiteral("Plik „%1” już istnieje. Czy zastąpić go?").arg(QDir::toNativeSeparators(path)),
            MsgIcon::Question, Yes | No) != Yes)
        return false;

    Exported n;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = runCommand([&] {
        struct RestoreCursor
        {
            ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
        } restore;
        n = exportBooks(books_, *s, path);
    });
    if (!done)
        return false;
    summary->setText(QStringLiteral("Zapisano plik „%1”: %2.")
                         .arg(QDir::toNativeSeparators(path), describe(n, *formatOf(path))));
    return true;
}

void ExportWindow::showHelp()
{
    help::setHelpFile(QStringLiteral("POMOC.HLP"));
    help::showTopic(QStringLiteral("eksport"));
}

} // namespace kw::sheets
