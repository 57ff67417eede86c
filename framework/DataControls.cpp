#include "framework/DataControls.h"
#include "framework/Messages.h"
#include "regional/Regional.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>

namespace kw {

void DataSource::setDataSet(Table *table)
{
    for (const auto &c : links_)
        disconnect(c);
    links_.clear();
    table_ = table;
    if (table) {
        links_ << connect(table, &Table::recordChanged, this, &DataSource::recordChanged);
        links_ << connect(table, &Table::dataSetChanged, this, &DataSource::dataSetChanged);
        links_ << connect(table, &Table::stateChanged, this, &DataSource::stateChanged);
        links_ << connect(table, &Table::stateChanged, this, &DataSource::recordChanged);
        links_ << connect(table, &Table::dataSetChanged, this, &DataSource::recordChanged);
    }
    emit dataSetChanged();
    emit recordChanged();
}

QVariant DataSource::value(const QString &field) const
{
    if (!table_ || !table_->active())
        return QVariant();
    try {
        return table_->fieldValue(field);
    } catch (const std::exception &) {
        return QVariant(); // a display never interrupts the user with a broken record
    }
}

QString DataSource::displayText(const QString &field, const QVariant &value) const
{
    if (value.isNull() || !value.isValid())
        return QString();
    if (value.typeId() == QMetaType::Double) {
        int decimals = 0;
        if (table_ && table_->active() && table_->hasField(field))
            decimals = table_->fieldDef(table_->file().fieldIndex(field)).decimals;
        // Amount fields carry decimals; whole-number fields (the day) show as plain numbers.
        return decimals > 0 ? regional::formatCurrency(value.toDouble())
                            : regional::formatGeneral(value.toDouble());
    }
    if (value.typeId() == QMetaType::QDate)
        return regional::shortDate(value.toDate());
    return value.toString();
}

namespace {
// A control listens to one source at a time: whatever linked it to the one before goes, or a second
// bind would repeat every update, and the old source would keep driving a control it no longer feeds.
void rebind(DataSource *previous, QObject *control)
{
    if (previous)
        QObject::disconnect(previous, nullptr, control, nullptr);
}
} // namespace

void DBText::bind(DataSource *source, const QString &field)
{
    rebind(source_, this);
    source_ = source;
    field_ = field;
    if (source)
        connect(source, &DataSource::recordChanged, this, &DBText::updateDisplay);
    updateDisplay();
}

void DBText::updateDisplay()
{
    setText(source_ ? source_->displayText(field_, source_->value(field_)) : QString());
}

DBMemo::DBMemo(QWidget *parent) : QPlainTextEdit(parent)
{
    connect(this, &QPlainTextEdit::textChanged, this, &DBMemo::pushToField);
}

void DBMemo::bind(DataSource *source, const QString &field)
{
    rebind(source_, this);
    source_ = source;
    field_ = field;
    if (source)
        connect(source, &DataSource::recordChanged, this, &DBMemo::updateDisplay);
    updateDisplay();
}

void DBMemo::updateDisplay()
{
    if (updating_)
        return;
    const QString text = source_ ? source_->value(field_).toString() : QString();
    if (text == toPlainText())
        return;
    updating_ = true;
    setPlainText(text);
    updating_ = false;
}

void DBMemo::keyPressEvent(QKeyEvent *e)
{
    const bool inserts = !e->text().isEmpty() && e->text().at(0).isPrint();
    if (maxLength_ > 0 && inserts && !textCursor().hasSelection() && toPlainText().size() >= maxLength_)
        return;
    QPlainTextEdit::keyPressEvent(e);
}

void DBMemo::insertFromMimeData(const QMimeData *source)
{
    if (maxLength_ <= 0 || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    const int room = maxLength_ - int(toPlainText().size()) + int(textCursor().selectedText().size());
    textCursor().insertText(source->text().left(std::max(0, room)));
}

namespace {
// Typing into a bound box starts editing the record (with its before-edit hook) and writes the field.
void writeField(DataSource *source, const QString &field, const QString &text)
{
    if (!source || !source->dataSet())
        return;
    Table *t = source->dataSet();
    runCommand([&] {
        t->edit();
        t->setFieldValue(field, text);
    });
}
} // namespace

void DBMemo::pushToField()
{
    if (updating_ || isReadOnly())
        return;
    updating_ = true;
    writeField(source_, field_, toPlainText());
    updating_ = false;
}

DBEdit::DBEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, &DBEdit::pushToField);
}

void DBEdit::bind(DataSource *source, const QString &field)
{
    rebind(source_, this);
    source_ = source;
    field_ = field;
    if (source)
        connect(source, &DataSource::recordChanged, this, &DBEdit::updateDisplay);
    updateDisplay();
}

void DBEdit::updateDisplay()
{
    if (updating_)
        return;
    const QString text = source_ ? source_->value(field_).toString() : QString();
    if (text != this->text())
        setText(text);
}

void DBEdit::pushToField(const QString &text)
{
    if (updating_)
        return;
    updating_ = true;
    writeField(source_, field_, text);
    updating_ = false;
}

void DataSetModel::bind(DataSource *source, QList<Column> columns)
{
    rebind(source_, this);
    source_ = source;
    columns_ = std::move(columns);
    if (source) {
        connect(source, &DataSource::dataSetChanged, this, &DataSetModel::reset);
        connect(source, &DataSource::stateChanged, this, &DataSetModel::reset);
        connect(source, &DataSource::recordChanged, this, [this] {
            if (rowCount() > 0)
                emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        });
    }
    reset();
}

void DataSetModel::reset()
{
    beginResetModel();
    fieldIndex_.clear();
    Table *t = source_ ? source_->dataSet() : nullptr;
    for (const Column &c : columns_)
        fieldIndex_ << (t && t->active() ? t->file().fieldIndex(c.field) : -1);
    endResetModel();
}

int DataSetModel::rowCount(const QModelIndex &parent) const
{
    Table *t = source_ ? source_->dataSet() : nullptr;
    return parent.isValid() || !t || !t->active() ? 0 : t->recordCount();
}

int DataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const
{
    Table *t = source_ ? source_->dataSet() : nullptr;
    if (!t || !t->active() || !index.isValid() || fieldIndex_.value(index.column(), -1) < 0)
        return QVariant();
    const int field = fieldIndex_[index.column()];
    if (role == Qt::DisplayRole) {
        QVariant v;
        try {
            v = t->rowValue(index.row(), field);
        } catch (const std::exception &) {
            return QStringLiteral("?");
        }
        return source_->displayText(columns_[index.column()].field, v);
    }
    if (role == Qt::TextAlignmentRole) {
        const char type = t->fieldDef(field).type;
        return int((type == 'C' ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    }
    return QVariant();
}

QVariant DataSetModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columns_.size())
        return columns_[section].label;
    return QAbstractTableModel::headerData(section, o, role);
}

DBGrid::DBGrid(QWidget *parent) : QTableView(parent), model_(new DataSetModel(this))
{
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    connect(model_, &QAbstractItemModel::modelReset, this, &DBGrid::followDataSet);
    // Whatever the grid is bound to, a row the user picks becomes the dataset's current record.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                Table *t = model_->source() ? model_->source()->dataSet() : nullptr;
                if (syncing_ || !t || !t->active() || !current.isValid())
                    return;
                syncing_ = true;
                runCommand([&] { t->moveTo(current.row()); });
                syncing_ = false;
            });
}

void DBGrid::bind(DataSource *source, QList<DataSetModel::Column> columns)
{
    rebind(model_->source(), this);
    model_->bind(source, std::move(columns));
    if (source)
        connect(source, &DataSource::recordChanged, this, &DBGrid::followDataSet);
    followDataSet();
}

void DBGrid::followDataSet()
{
    Table *t = model_->source() ? model_->source()->dataSet() : nullptr;
    if (syncing_ || !t || !t->active() || t->recNo() < 0)
        return;
    syncing_ = true;
    const QModelIndex idx = model_->index(t->recNo(), std::max(0, currentIndex().column()));
    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(idx);
    syncing_ = false;
}

} // namespace kw
