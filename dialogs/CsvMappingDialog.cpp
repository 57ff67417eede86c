#include "dialogs/CsvMappingDialog.h"
#include "dialogs/ImportWindow.h"

#include "framework/Messages.h"
#include "import/CsvReader.h"
#include "import/ImportError.h"
#include "import/TextTools.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kw {

namespace {

constexpr int PreviewRows = 12;

// The boxes of the step: what each column may hold, as the user reads it.
struct Role
{
    const char *name; // objectName of its box
    const char *label;
    int import::CsvColumns::*column;
};
constexpr Role Roles[] = {
    {"DataOperacji", "Data operacji:", &import::CsvColumns::date},
    {"DataKsiegowania", "Data księgowania:", &import::CsvColumns::bookingDate},
    {"Kwota", "Kwota (ze znakiem):", &import::CsvColumns::amount},
    {"Obciazenia", "Obciążenia:", &import::CsvColumns::debit},
    {"Uznania", "Uznania:", &import::CsvColumns::credit},
    {"Kontrahent", "Kontrahent:", &import::CsvColumns::counterparty},
    {"Tytul", "Tytuł:", &import::CsvColumns::title},
    {"Rachunek", "Rachunek:", &import::CsvColumns::account},
    {"Referencja", "Numer referencyjny:", &import::CsvColumns::reference},
    {"Waluta", "Waluta:", &import::CsvColumns::currency},
    {"Status", "Status:", &import::CsvColumns::status},
};

const QChar Separators[] = {QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t')};

} // namespace

CsvMappingDialog::CsvMappingDialog(const QByteArray &bytes, const QString &folder, const QString &fileName,
                                   QWidget *parent)
    : QDialog(parent), bytes_(bytes), folder_(folder)
{
    setObjectName(QStringLiteral("MapowanieKolumn"));
    setWindowTitle(QStringLiteral("Kolumny pliku CSV - Kwotnik 2.1"));
    addHelpKey(this, QStringLiteral("import-kolumny"));
    resize(900, 560);

    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("Program nie rozpoznał kolumn pliku „%1”. Wskaż, w której kolumnie jest data "
                       "i kwota (a jeśli są, także kontrahent i tytuł), nazwij profil – np. nazwą "
                       "banku – i zapisz go. Następny plik tego banku program przeczyta sam.")
            .arg(fileName),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto *top = new QHBoxLayout;
    auto *format = new QFormLayout;
    separator_ = new QComboBox(this);
    separator_->setObjectName(QStringLiteral("Separator"));
    separator_->addItems(
        {QStringLiteral("średnik ;"), QStringLiteral("przecinek ,"), QStringLiteral("tabulator")});
    encoding_ = new QComboBox(this);
    encoding_->setObjectName(QStringLiteral("Kodowanie"));
    encoding_->addItems(
        {QStringLiteral("rozpoznaj"), QStringLiteral("UTF-8"), QStringLiteral("Windows-1250")});
    header_ = new QSpinBox(this);
    header_->setObjectName(QStringLiteral("WierszNaglowka"));
    header_->setRange(0, 100);
    header_->setSpecialValueText(QStringLiteral("brak nagłówka"));
    skip_ = new QSpinBox(this);
    skip_->setObjectName(QStringLiteral("Pomin"));
    skip_->setRange(0, 100);
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("NazwaProfilu"));
    name_->setPlaceholderText(QStringLiteral("np. nazwa banku"));
    format->addRow(QStringLiteral("Separator:"), separator_);
    format->addRow(QStringLiteral("Kodowanie znaków:"), encoding_);
    format->addRow(QStringLiteral("Wiersz nagłówka:"), header_);
    format->addRow(QStringLiteral("Bez nagłówka pomiń wierszy:"), skip_);
    format->addRow(QStringLiteral("Nazwa profilu:"), name_);
    top->addLayout(format);

    auto *roles = new QGridLayout;
    int i = 0;
    for (const Role &r : Roles) {
        auto *box = new QComboBox(this);
        box->setObjectName(QString::fromLatin1(r.name));
        box->setMinimumWidth(170);
        roles->addWidget(new QLabel(QString::fromUtf8(r.label), this), i % 6, (i / 6) * 2);
        roles->addWidget(box, i % 6, (i / 6) * 2 + 1);
        columns_.push_back({r.column, box});
        ++i;
    }
    top->addLayout(roles, 1);
    layout->addLayout(top);

    preview_ = new QTableWidget(this);
    preview_->setObjectName(QStringLiteral("Podglad"));
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    preview_->setSelectionMode(QAbstractItemView::NoSelection);
    preview_->setWordWrap(false);
    layout->addWidget(preview_, 1);

    auto *buttons = new QHBoxLayout;
    auto *save = new QPushButton(QStringLiteral("Zapisz profil"), this);
    save->setObjectName(QStringLiteral("Zapisz"));
    auto *cancel = new QPushButton(QStringLiteral("Anuluj"), this);
    cancel->setObjectName(QStringLiteral("Anuluj"));
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, [this] { ZapiszClick(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Start from what the content suggests: its separator, a header in the first line.
    const QChar guessed = import::guessSeparator(import::decodeText(bytes_));
    for (int s = 0; s < 3; ++s)
        if (Separators[s] == guessed)
            separator_->setCurrentIndex(s);
    header_->setValue(1);
    reload();
    connect(separator_, &QComboBox::currentIndexChanged, this, [this] { reload(); });
    connect(encoding_, &QComboBox::currentIndexChanged, this, [this] { reload(); });
    connect(header_, &QSpinBox::valueChanged, this, [this] { reload(); });
    connect(skip_, &QSpinBox::valueChanged, this, [this] { refreshPreview(); });
}

void CsvMappingDialog::reload()
{
    // Lines to skip count only for a table without a header.
    skip_->setEnabled(header_->value() == 0);
    const auto encoding = import::CsvEncoding(encoding_->currentIndex());
    const QString text = import::decodeCsv(bytes_, encoding);
    rows_ = import::splitCsv(text.left(64 * 1024), Separators[separator_->currentIndex()], 60, false).rows;
    int width = 0;
    for (const QStringList &r : rows_)
        width = std::max(width, int(r.size()));
    // Each column by its number and what its header (or first line) says.
    const QStringList names = rows_.value(std::max(header_->value() - 1, 0));
    for (auto &[column, box] : columns_) {
        const int before = box->currentIndex();
        box->blockSignals(true);
        box->clear();
        box->addItem(QStringLiteral("—"));
        for (int c = 0; c < width; ++c)
            box->addItem(QStringLiteral("%1: %2").arg(c + 1).arg(names.value(c).left(30)));
        box->setCurrentIndex(before < box->count() ? std::max(before, 0) : 0);
        box->blockSignals(false);
    }
    refreshPreview();
}

void CsvMappingDialog::refreshPreview()
{
    int width = 0;
    for (const QStringList &r : rows_)
        width = std::max(width, int(r.size()));
    const int first = header_->value() > 0 ? header_->value() - 1 : skip_->value();
    const int count = std::max(0, std::min(PreviewRows, int(rows_.size()) - first));
    preview_->clear();
    preview_->setColumnCount(width);
    preview_->setRowCount(count);
    QStringList headers;
    for (int c = 0; c < width; ++c)
        headers << QString::number(c + 1);
    preview_->setHorizontalHeaderLabels(headers);
    // The rows by their lines in the file, as the header's box counts them.
    QStringList lines;
    for (int r = 0; r < count; ++r)
        lines << QString::number(first + r + 1);
    preview_->setVerticalHeaderLabels(lines);
    for (int r = 0; r < count; ++r) {
        const QStringList &row = rows_[first + r];
        for (int c = 0; c < row.size(); ++c) {
            auto *item = new QTableWidgetItem(row[c]);
            if (r == 0 && header_->value() > 0) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            preview_->setItem(r, c, item);
        }
    }
    preview_->resizeColumnsToContents();
    for (int c = 0; c < width; ++c)
        preview_->setColumnWidth(c, std::min(preview_->columnWidth(c), 220));
}

std::optional<import::CsvProfile> CsvMappingDialog::profile() const
{
    import::CsvProfile p;
    p.name = name_->text().simplified();
    p.separator = Separators[separator_->currentIndex()];
    p.encoding = import::CsvEncoding(encoding_->currentIndex());
    if (header_->value() > 0)
        p.header = rows_.value(header_->value() - 1);
    else
        p.skip = skip_->value();
    for (const auto &[column, box] : columns_)
        p.columns.*column = box->currentIndex() - 1;
    if (p.name.isEmpty() || !p.columns.usable() || (header_->value() > 0 && p.header.isEmpty()))
        return std::nullopt;
    return p;
}

void CsvMappingDialog::ZapiszClick()
{
    const std::optional<import::CsvProfile> p = profile();
    QString missing;
    import::CsvProfile shown;
    for (const auto &[column, box] : columns_)
        shown.columns.*column = box->currentIndex() - 1;
    if (!shown.columns.hasDate())
        missing = QStringLiteral("Wskaż kolumnę z datą operacji albo z datą księgowania.");
    else if (!shown.columns.hasAmount())
        missing = QStringLiteral("Wskaż kolumnę z kwotą albo kolumny obciążeń i uznań.");
    else if (name_->text().simplified().isEmpty())
        missing = QStringLiteral("Wpisz nazwę profilu, np. nazwę banku.");
    else if (!p)
        missing =
            QStringLiteral("Wiersz nagłówka %1 jest pusty; wskaż właściwy albo wybierz „brak nagłówka”.")
                .arg(header_->value());
    if (!missing.isEmpty()) {
        showMessage(missing);
        return;
    }
    try {
        import::saveProfile(folder_, *p);
    } catch (const import::ImportError &e) {
        showMessage(e.message());
        return;
    }
    accept();
}

} // namespace kw
