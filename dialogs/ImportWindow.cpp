#include "dialogs/ImportWindow.h"

#include "dialogs/CsvMappingDialog.h"
#include "framework/FileDialogs.h"
#include "framework/Messages.h"
#include "regional/Regional.h"
#include "import/CsvProfile.h"
#include "import/ImportError.h"
#include "import/StatementReader.h"
#include "ledger/Books.h"
#include "tools/help/HelpViewer.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kw {

namespace {

QString money(import::Amount a, const QString &currency = {})
{
    const double v = import::toDouble(a);
    if (currency.isEmpty() || currency == QLatin1String("PLN"))
        return regional::formatCurrency(v);
    return regional::locale().toString(v, 'f', 2) + QLatin1Char(' ') + currency;
}

// The category column's editor: the ten categories by the day list's titles.
class CategoryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *box = new QComboBox(parent);
        box->setObjectName(QStringLiteral("Kategoria"));
        for (int i = 0; i < int(ledger::Categories.size()); ++i)
            box->addItem(import::categoryLabel(i));
        return box;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        static_cast<QComboBox *>(editor)->setCurrentIndex(index.data(Qt::EditRole).toInt());
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QComboBox *>(editor)->currentIndex(), Qt::EditRole);
    }
};

} // namespace

// --- the model ---------------------------------------------------------------------------------

ImportModel::ImportModel(QObject *parent) : QAbstractTableModel(parent) {}

void ImportModel::setPlan(import::ImportPlan *plan)
{
    beginResetModel();
    plan_ = plan;
    chosen_.clear();
    endResetModel();
    emit totalsChanged();
}

void ImportModel::recategorise(const import::Rules &rules)
{
    if (!plan_)
        return;
    for (int i = 0; i < int(plan_->lines.size()); ++i) {
        if (chosen_.contains(i))
            continue;
        import::ImportLine &l = plan_->lines[std::size_t(i)];
        const import::Rules::Match m = rules.categorise(l.t);
        l.rule = m.rule;
        l.setCategory(m.category);
    }
    emit dataChanged(index(0, Category), index(rowCount() - 1, Note));
    emit totalsChanged();
}

int ImportModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !plan_ ? 0 : int(plan_->lines.size());
}

int ImportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ImportModel::data(const QModelIndex &index, int role) const
{
    if (!plan_ || !index.isValid())
        return {};
    const import::ImportLine &l = plan_->lines[std::size_t(index.row())];
    const bool grey = !l.bookable();
    switch (role) {
    case Qt::CheckStateRole:
        if (index.column() == Tick)
            return l.ticked && l.bookable() ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole:
        if (grey)
            return QColor(Qt::gray);
        if (index.column() == Amount && l.t.amount < 0)
            return QColor(160, 0, 0);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == Amount)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::EditRole:
        if (index.column() == Category)
            return l.category;
        return {};
    case Qt::ToolTipRole:
        if (index.column() == Counterparty || index.column() == Title)
            return data(index, Qt::DisplayRole);
        return {};
    case Qt::DisplayRole:
        break;
    default:
        return {};
    }
    switch (index.column()) {
    case Date:
        return regional::shortDate(l.t.date);
    case Amount:
        return money(l.t.amount, l.t.currency);
    case Counterparty:
        return l.t.counterparty;
    case Title:
        return l.t.title;
    case Category:
        return import::categoryLabel(l.category);
    case Note:
        if (l.t.pending)
            return QStringLiteral("oczekująca – bank jej jeszcze nie zaksięgował");
        if (l.duplicate)
            return QStringLiteral("już zaksięgowana");
        if (l.foreign())
            return QStringLiteral("kwota w %1, nie w złotych").arg(l.t.currency);
        if (l.refund)
            return QStringLiteral("zwrot – odejmie się od kategorii");
        return {};
    default:
        return {};
    }
}

bool ImportModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!plan_ || !index.isValid())
        return false;
    import::ImportLine &l = plan_->lines[std::size_t(index.row())];
    if (!l.bookable())
        return false;
    if (index.column() == Tick && role == Qt::CheckStateRole) {
        l.ticked = value.toInt() == Qt::Checked;
    } else if (index.column() == Category && role == Qt::EditRole) {
        const int c = value.toInt();
        if (c < 0 || c >= int(ledger::Categories.size()))
            return false;
        l.setCategory(c);
        chosen_.insert(index.row());
    } else {
        return false;
    }
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1));
    emit totalsChanged();
    return true;
}

Qt::ItemFlags ImportModel::flags(const QModelIndex &index) const
{
    if (!plan_ || !index.isValid())
        return Qt::NoItemFlags;
    const bool bookable = plan_->lines[std::size_t(index.row())].bookable();
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (bookable && index.column() == Tick)
        f |= Qt::ItemIsUserCheckable;
    if (bookable && index.column() == Category)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant ImportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Tick:
        return QString();
    case Date:
        return QStringLiteral("Data");
    case Amount:
        return QStringLiteral("Kwota");
    case Counterparty:
        return QStringLiteral("Kontrahent");
    case Title:
        return QStringLiteral("Tytuł");
    case Category:
        return QStringLiteral("Kategoria");
    case Note:
        return QStringLiteral("Uwagi");
    default:
        return {};
    }
}

// --- the window --------------------------------------------------------------------------------

void addHelpKey(QWidget *window, const QString &topic)
{
    auto *key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, [topic] {
        if (help::helpFile().isEmpty())
            help::setHelpFile(QStringLiteral("POMOC.HLP"));
        help::showTopic(topic);
    });
}

ImportWindow::ImportWindow(ledger::Books &books, QWidget *parent) : QWidget(parent, Qt::Window), books_(books)
{
    setObjectName(QStringLiteral("Import"));
    setWindowTitle(QStringLiteral("Import wyciągu - Kwotnik 2.1"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(960, 600);

    auto *layout = new QVBoxLayout(this);
    fileLabel_ = new QLabel(this);
    fileLabel_->setObjectName(QStringLiteral("Plik"));
    fileLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    countsLabel_ = new QLabel(this);
    countsLabel_->setObjectName(QStringLiteral("Podsumowanie"));
    layout->addWidget(fileLabel_);
    layout->addWidget(countsLabel_);

    model_ = new ImportModel(this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("Operacje"));
    table_->setModel(model_);
    table_->setItemDelegateForColumn(ImportModel::Category, new CategoryDelegate(table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                            QAbstractItemView::EditKeyPressed);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    // Rows of one height, columns of set widths: a year of lines shows at once, measured by nothing.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->verticalHeader()->hide();
    const int widths[ImportModel::ColumnCount] = {24, 80, 100, 210, 250, 100, 120};
    for (int c = 0; c < ImportModel::ColumnCount; ++c)
        table_->setColumnWidth(c, widths[c]);
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 1);

    totals_ = new QTableWidget(1, int(ledger::Categories.size()), this);
    totals_->setObjectName(QStringLiteral("Sumy"));
    QStringList titles;
    for (int i = 0; i < int(ledger::Categories.size()); ++i)
        titles << import::categoryLabel(i);
    totals_->setHorizontalHeaderLabels(titles);
    totals_->verticalHeader()->hide();
    totals_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    totals_->setSelectionMode(QAbstractItemView::NoSelection);
    totals_->setFocusPolicy(Qt::NoFocus);
    totals_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    totals_->setFixedHeight(totals_->horizontalHeader()->sizeHint().height() + fontMetrics().height() + 12);
    totals_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    totals_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(totals_);

    balances_ = new QLabel(this);
    balances_->setObjectName(QStringLiteral("Salda"));
    balances_->setWordWrap(true);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Stan"));
    status_->setWordWrap(true);
    layout->addWidget(balances_);
    layout->addWidget(status_);

    auto *buttons = new QHBoxLayout;
    remember_ = new QPushButton(QStringLiteral("Zapamiętaj jako regułę"), this);
    remember_->setObjectName(QStringLiteral("Zapamietaj"));
    remember_->setToolTip(
        QStringLiteral("Kategoria zaznaczonej operacji staje się regułą dla jej kontrahenta"));
    book_ = new QPushButton(QStringLiteral("Zaksięguj"), this);
    book_->setObjectName(QStringLiteral("Zaksieguj"));
    cancel_ = new QPushButton(QStringLiteral("Anuluj"), this);
    cancel_->setObjectName(QStringLiteral("Anuluj"));
    buttons->addWidget(remember_);
    buttons->addStretch(1);
    buttons->addWidget(book_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    addHelpKey(this, QStringLiteral("import-wyciagu"));
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { AnulujClick(); });
    connect(model_, &ImportModel::totalsChanged, this, &ImportWindow::updateTotals);
    connect(book_, &QPushButton::clicked, this, [this] { ZaksiegujClick(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { AnulujClick(); });
    connect(remember_, &QPushButton::clicked, this, [this] { ZapamietajClick(); });
}

bool ImportWindow::chooseFile()
{
    FileDialogRequest request;
    request.kind = FileDialogKind::Open;
    request.title = QStringLiteral("Importuj wyciąg");
    request.directory = QDir::homePath();
    request.filter = QStringLiteral("Wyciągi bankowe|*.sta;*.mt940;*.940;*.942;*.xml;*.ofx;*.qfx;*.csv;*.txt|"
                                    "Wszystkie pliki|*");
    const FileDialogAnswer answer = runFileDialog(this, request);
    return answer.accepted && !answer.path.isEmpty() && openFile(answer.path);
}

bool ImportWindow::openFile(const QString &path)
{
    const QString folder = books_.folder();
    QStringList problems;
    import::Statement statement;
    try {
        QList<import::CsvProfile> profiles = import::loadProfiles(folder, &problems);
        try {
            statement = import::readStatementFile(path, profiles);
        } catch (const import::ImportError &e) {
            if (e.kind() != import::ImportError::Kind::NeedsMapping)
                throw;
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                throw;
            CsvMappingDialog mapping(f.readAll(), folder, QFileInfo(path).fileName(), this);
            if (mapping.exec() != QDialog::Accepted)
                return false;
            profiles = import::loadProfiles(folder, &problems);
            statement = import::readStatementFile(path, profiles);
        }
        // The rules file is written on first use, so only once the statement is read.
        const import::Rules rules = import::Rules::load(folder, &problems);
        plan_ = import::planImport(path, statement, rules, import::bookedKeys(folder));
        plan_.problems = problems;
    } catch (const import::ImportError &e) {
        showMessage(e.message());
        return false;
    } catch (const std::exception &e) {
        reportError(e);
        return false;
    }
    showPlan();
    return true;
}

void ImportWindow::showPlan()
{
    model_->setPlan(&plan_);
    const import::Statement &st = plan_.statement;
    QString what =
        QStringLiteral("Plik: %1 (%2").arg(QFileInfo(plan_.file).fileName(), import::formatName(st.format));
    if (!st.profile.isEmpty())
        what += QStringLiteral(", profil „%1”").arg(st.profile);
    what += QLatin1Char(')');
    if (!st.account.isEmpty())
        what += QStringLiteral(", rachunek %1").arg(st.account);
    fileLabel_->setText(what);

    QStringList lines;
    for (const import::BalanceCheck &b : st.balances) {
        const QString name = b.statement.isEmpty() ? QString() : QStringLiteral(" %1").arg(b.statement);
        if (b.matches())
            lines << QStringLiteral("Saldo wyciągu%1 zgodne: %2 + operacje %3 = %4.")
                         .arg(name, money(b.opening), money(b.lines), money(b.closing));
        else
            lines << QStringLiteral(
                         "<span style=\"color:#b00000\"><b>Saldo wyciągu%1 się nie zgadza:</b> %2 + "
                         "operacje %3 = %4, a wyciąg podaje %5. Sprawdź, czy plik zawiera cały "
                         "wyciąg.</span>")
                         .arg(name, money(b.opening), money(b.lines), money(b.opening + b.lines),
                              money(b.closing));
    }
    if (st.balances.isEmpty())
        lines << QStringLiteral("Plik nie podaje sald, więc nie można ich sprawdzić.");
    balances_->setText(lines.join(QLatin1String("<br>")));
    status_->setText(plan_.problems.isEmpty() ? QString()
                                              : QStringLiteral("Pominięte wiersze ustawień: ") +
                                                    plan_.problems.join(QLatin1String("; ")));
    updateTotals();
}

void ImportWindow::updateTotals()
{
    const import::CategoryTotals totals = plan_.totals();
    for (int i = 0; i < int(totals.size()); ++i) {
        auto *item = new QTableWidgetItem(totals[std::size_t(i)] ? money(totals[std::size_t(i)]) : QString());
        item->setTextAlignment(Qt::AlignCenter);
        totals_->setItem(0, i, item);
    }
    int duplicates = 0, pending = 0;
    for (const import::ImportLine &l : plan_.lines) {
        duplicates += l.duplicate;
        pending += l.t.pending;
    }
    countsLabel_->setText(
        QStringLiteral("Operacji: %1, zaznaczonych do zaksięgowania: %2, już zaksięgowanych: %3, "
                       "oczekujących: %4.")
            .arg(plan_.lines.size())
            .arg(plan_.tickedCount())
            .arg(duplicates)
            .arg(pending));
}

void ImportWindow::ZaksiegujClick()
{
    if (plan_.tickedCount() == 0) {
        showMessage(QStringLiteral("Nie zaznaczono żadnej operacji do zaksięgowania."));
        return;
    }
    import::ImportResult result;
    if (!runCommand([&] {
            emit aboutToChangeBooks();
            result = import::bookImport(books_, plan_, QDateTime::currentDateTime());
        }))
        return;
    if (result.booked == 0) {
        showMessage(QStringLiteral("Wszystkie zaznaczone operacje są już zaksięgowane; nic nie zapisano."));
    } else {
        showMessage(
            QStringLiteral("Zaksięgowano %1 operacji z pliku „%2” (import nr %3). Cofniesz go poleceniem "
                           "„Dane” > „Cofnij import…”.")
                .arg(result.booked)
                .arg(QFileInfo(plan_.file).fileName())
                .arg(result.number));
        emit booked(result.number);
    }
    close();
}

void ImportWindow::AnulujClick()
{
    close();
}

void ImportWindow::ZapamietajClick()
{
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid()) {
        showMessage(QStringLiteral("Zaznacz operację, której kategorię program ma zapamiętać."));
        return;
    }
    const import::ImportLine &line = plan_.lines[std::size_t(current.row())];
    const QString word = import::shortName(line.t.counterparty);
    if (word.isEmpty()) {
        showMessage(
            QStringLiteral("Ta operacja nie ma kontrahenta, więc nie da się z niej zrobić reguły. Wpisz "
                           "regułę do pliku %1 w folderze danych.")
                .arg(import::RulesFile));
        return;
    }
    try {
        import::Rules::remember(books_.folder(), line.category, word);
        model_->recategorise(import::Rules::load(books_.folder()));
    } catch (const import::ImportError &e) {
        showMessage(e.message());
        return;
    }
    status_->setText(
        QStringLiteral("Zapamiętano regułę „%1: %2”; pozostałe operacje przypisano według reguł na nowo.")
            .arg(import::categoryLabel(line.category), word));
}

} // namespace kw
