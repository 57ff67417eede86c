#pragma once

#include "ledger/Table.h"

#include <QAbstractTableModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableView>

namespace kw {

// Links a dataset to the controls that show it; every post, move, refresh, open and close of the
// dataset reaches every bound control through here.
class DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(QObject *parent = nullptr) : QObject(parent) {}
    void setDataSet(Table *table);
    Table *dataSet() const { return table_; }

    // The field's value on the current record, or null while the dataset is closed or empty.
    QVariant value(const QString &field) const;
    // How a control shows a value of this field: amounts in the user's currency format.
    QString displayText(const QString &field, const QVariant &value) const;

signals:
    void recordChanged(); // moved, edited, posted, opened, closed
    void dataSetChanged();
    void stateChanged();

private:
    QPointer<Table> table_;
    QList<QMetaObject::Connection> links_;
};

// A label showing one field of the current record.
class DBText : public QLabel
{
    Q_OBJECT
public:
    explicit DBText(QWidget *parent = nullptr) : QLabel(parent) {}
    void bind(DataSource *source, const QString &field);
    QString dataField() const { return field_; }
    void updateDisplay();

private:
    QPointer<DataSource> source_;
    QString field_;
};

// A memo showing, and unless read-only editing, one text field of the current record. Typing puts
// the dataset into edit state (with its before-edit hook) and writes the field as it changes.
class DBMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit DBMemo(QWidget *parent = nullptr);
    void bind(DataSource *source, const QString &field);
    void setMaxLength(int n) { maxLength_ = n; }
    void updateDisplay();

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void pushToField();
    QPointer<DataSource> source_;
    QString field_;
    int maxLength_ = 0;
    bool updating_ = false;
};

// A one-line edit box bound to a text field, with the same editing rules as DBMemo.
class DBEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit DBEdit(QWidget *parent = nullptr);
    void bind(DataSource *source, const QString &field);
    void updateDisplay();

private:
    void pushToField(const QString &text);
    QPointer<DataSource> source_;
    QString field_;
    bool updating_ = false;
};

// The rows of a dataset as a table model: the columns are the chosen fields with their labels.
class DataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Column
    {
        QString field;
        QString label;
    };
    explicit DataSetModel(QObject *parent = nullptr) : QAbstractTableModel(parent) {}
    void bind(DataSource *source, QList<Column> columns);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    DataSource *source() const { return source_; }

private:
    void reset();
    QPointer<DataSource> source_;
    QList<Column> columns_;
    QList<int> fieldIndex_;
};

// A read-only grid over a dataset; the selected row is the dataset's current record.
class DBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit DBGrid(QWidget *parent = nullptr);
    void bind(DataSource *source, QList<DataSetModel::Column> columns);
    DataSetModel *dataModel() const { return model_; }

private:
    void followDataSet();
    DataSetModel *model_;
    bool syncing_ = false;
};

} // namespace kw
