#pragma once

#include "ledger/SharedFile.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kw {

// One record as a filter routine sees it.
class RecordView
{
public:
    RecordView(const DbfFile &file, const char *data) : file_(file), data_(data) {}
    QVariant value(QAnyStringView fieldName) const; // null when blank; throws for an unknown field
    int fieldIndex(QAnyStringView fieldName) const { return file_.fieldIndex(fieldName); }
    // The field's stored bytes without trailing blanks, in the table's code page.
    std::string_view raw(int field) const { return file_.rawText(data_, field); }
    const DbfFile &file() const { return file_; }

private:
    const DbfFile &file_;
    const char *data_;
};

using RecordFilter = std::function<bool(const RecordView &)>;

enum class FieldKind
{
    Text,
    Number,
    Date
};
struct FieldRequirement
{
    QString name;
    FieldKind kind;
};
// Throws EngineError naming the file and the first field that is missing or of another kind.
void checkFields(const DbfFile &file, const std::vector<FieldRequirement> &required);

// Who writes what a table posts and deletes, in its place: the books, for the windows' tables.
// Every post and delete of the table, its hooks included, runs between begin() and end(); they
// nest when a hook posts another table with the same writer, and the outermost end() writes it all.
class TableWriter
{
public:
    virtual ~TableWriter() = default;
    virtual void begin() = 0;
    // Writes what was staged since the outermost begin(); `ok` false drops it. Throws EngineError
    // when the write is refused or fails; nothing is then stored.
    virtual void end(bool ok) = 0;
    // Stages a post (recno -1: a new record) or a deletion (the image flagged deleted) of `table`;
    // `original` is the record as the edit began from it. Returns the record's number.
    virtual std::uint32_t write(Table &table, std::int64_t recno, const std::string &original,
                                const std::string &image) = 0;
};

// A dataset over one dBase table file: closed, or open in browse, edit or insert state, with a
// current record, an optional record filter and an optional order by one numeric field, kept in
// memory (index files are neither read nor written). Errors are thrown as EngineError.
class Table : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Inactive,
        Browse,
        Edit,
        Insert
    };
    using Hook = std::function<void(Table &)>;

    explicit Table(QObject *parent = nullptr);
    ~Table() override;

    // Set while closed.
    void setTableName(const QString &fileName) { tableName_ = fileName; }
    // The directory the file is looked up in; empty means the working directory at open time.
    void setDirectory(const QString &dir) { directory_ = dir; }
    // The directory the open file lies in (the working directory while closed).
    QString directoryPath() const;
    void setIndexFieldName(const QString &field) { indexFieldName_ = field; }
    void setRequiredFields(std::vector<FieldRequirement> fields) { required_ = std::move(fields); }

    void setOnFilterRecord(RecordFilter filter) { filter_ = std::move(filter); }
    // Says that the filter accepts exactly the records whose text fields hold these texts (the
    // period filters). The table then takes a period's records from the store's map of periods
    // instead of reading the whole file; the map is built by the first full read. Before every use
    // the filter itself is asked about a record holding the texts, so a filter that has come to
    // mean something else is simply read the slow way.
    void setPeriodKey(std::vector<QString> fields, std::vector<QString> texts);
    bool filtered() const { return filtered_; }
    // Switching the filter of an open table first posts a changed record (or abandons an
    // unchanged one), then moves to the first visible record. Setting the state it has does nothing.
    void setFiltered(bool on);

    // With a writer, the table writes nothing itself: see TableWriter.
    void setWriter(TableWriter *writer) { writer_ = writer; }
    TableWriter *writer() const { return writer_; }

    Hook beforeEdit;
    Hook beforePost;
    Hook beforeDelete;

    void open();
    // Opens on the file of an open table, with that table's visible records as they stand, without
    // reading the file again. The caller gives this table the same order and a filter that accepts
    // the same records; from then on its own filter judges every change.
    void openCopyOf(const Table &other);
    void close(); // abandons an unposted change; closing a closed table does nothing
    // Switches the filter off and closes, as the period change and the shutdown do: a changed
    // record is posted first (with its hooks), an unchanged one abandoned, and the unfiltered rows
    // that the close would throw away at once are never built.
    void closeWithFilterOff();
    bool active() const { return state_ != State::Inactive; }
    State state() const { return state_; }
    bool modified() const { return modified_; }

    void first();
    void last();
    void next();
    void prior();
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    bool isEmpty() const { return rows_.empty(); }
    int recordCount() const;           // visible records
    int recNo() const { return pos_; } // 0-based row of the current record, -1 when none
    void moveTo(int row);
    // Moves to the visible record with this number in the file; nothing when it is not visible.
    void moveToRecord(std::uint32_t recno);
    // Whether a visible record's order field holds this number; answered from the rows, without
    // moving the cursor or reading the file.
    bool hasOrderKey(double key) const;

    void edit();
    void insert();
    void post();
    void cancel();
    void deleteRecord();
    // Reads the file again only when another program changed it, or when the filter may now
    // accept other records; otherwise the rows, kept true by every write, stay as they are.
    void refresh();
    // Posts a changed record or abandons an unchanged one, as moving and filtering do first.
    void checkBrowseMode();
    // Reads the file again when another program changed it since this table last read or wrote
    // it. Throws (ChangedOutside) when the change cannot be worked over: the current record is
    // gone or the table's layout changed; then the period has to be opened again.
    void syncWithDisk();
    // The current record's number in the file, -1 when there is none.
    std::int64_t currentRecno() const;
    // The record being edited: its number, the record as the edit began and as it is now; recno -1
    // when the table is not in edit state.
    struct Pending
    {
        std::int64_t recno = -1;
        const std::string *original = nullptr;
        const std::string *image = nullptr;
    };
    Pending pending() const;

    QVariant fieldValue(QAnyStringView name) const;
    void setFieldValue(QAnyStringView name, const QVariant &value);
    bool hasField(QAnyStringView name) const;

    // Row access for grids and reports, without moving the cursor.
    int fieldCount() const;
    const DbfField &fieldDef(int i) const;
    QVariant rowValue(int row, int field) const;
    const DbfFile &file() const;

    // Called by the shared store.
    void storeEvent(SharedFile::Event e, std::uint32_t recno, bool mine);

signals:
    void stateChanged();   // opened, closed, edit/insert/browse
    void dataSetChanged(); // the visible records changed (open, refresh, filter, post, delete)
    void recordChanged();  // moved to another record, or a field of the current one changed

private:
    struct Row
    {
        double key;
        std::uint32_t recno;
        bool operator<(const Row &o) const { return key < o.key || (key == o.key && recno < o.recno); }
    };

    void checkActive() const;
    void rebuild(std::int64_t keepRecno);
    // The map key of the period the filter accepts, when it is a period filter that still agrees
    // with the texts given to setPeriodKey(); fields get the key fields' indexes.
    bool periodKey(std::vector<int> &fields, std::string &key) const;
    bool rowsOutdated() const;
    bool accepts(const char *record) const;
    double keyOf(const char *record) const;
    int rowOf(std::uint32_t recno) const;
    void setState(State s);
    void enterBrowse();
    [[noreturn]] void fail(const QString &fault) const;
    [[noreturn]] void refuseChanged(const QString &what) const;
    void checkBeforeWrite(std::uint32_t recno);
    void postThroughWriter();
    void deleteThroughWriter();
    QString displayName() const;

    QString tableName_;
    QString directory_;
    TableWriter *writer_ = nullptr;
    QString indexFieldName_;
    int indexField_ = -1;
    std::vector<FieldRequirement> required_;
    RecordFilter filter_;
    bool filtered_ = false;
    std::vector<QString> periodFields_;
    std::vector<QString> periodTexts_;
    bool rowsByPeriod_ = false; // the rows are those of rowsPeriod_, taken by the period key
    std::string rowsPeriod_;

    std::shared_ptr<SharedFile> shared_;
    State state_ = State::Inactive;
    std::vector<Row> rows_;
    int pos_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    std::string buffer_;   // the record being edited or inserted
    std::string original_; // the record as it was when the edit began
    bool stale_ = false;   // the file's layout changed under the open table
    std::uint32_t editRecno_ = 0;
    bool modified_ = false;
};

} // namespace kw
