#include "ledger/Table.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/PeriodMap.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace kw {

QVariant RecordView::value(QAnyStringView fieldName) const
{
    const int i = file_.fieldIndex(fieldName);
    if (i < 0)
        throw EngineError(
            QStringLiteral("Plik %1: pole %2 nie istnieje").arg(file_.displayName(), fieldName.toString()));
    return file_.decode(data_, i);
}

void checkFields(const DbfFile &f, const std::vector<FieldRequirement> &required)
{
    for (const FieldRequirement &r : required) {
        const int i = f.fieldIndex(r.name);
        if (i < 0)
            throw EngineError(QStringLiteral("Plik %1: brakuje pola %2.").arg(f.displayName(), r.name));
        const char t = f.fields()[std::size_t(i)].type;
        const bool ok = r.kind == FieldKind::Text     ? t == 'C'
                        : r.kind == FieldKind::Number ? (t == 'N' || t == 'F' || t == 'O' || t == 'I')
                                                      : (t == 'D' || t == '@');
        if (!ok) {
            const QString want = r.kind == FieldKind::Text     ? QStringLiteral("tekst")
                                 : r.kind == FieldKind::Number ? QStringLiteral("liczbę")
                                                               : QStringLiteral("datę");
            throw EngineError(QStringLiteral("Plik %1: pole %2 ma typ %3, a powinno zawierać %4.")
                                  .arg(f.displayName(), r.name, visibleText(std::string_view(&t, 1)), want));
        }
    }
}

Table::Table(QObject *parent) : QObject(parent) {}

Table::~Table()
{
    if (shared_)
        shared_->removeObserver(this);
}

QString Table::directoryPath() const
{
    if (shared_)
        return QFileInfo(shared_->file().path()).absolutePath();
    return QDir(directory_.isEmpty() ? QDir::currentPath() : directory_).absolutePath();
}

QString Table::displayName() const
{
    return shared_ ? shared_->file().displayName() : tableName_;
}

void Table::fail(const QString &fault) const
{
    throw EngineError(QStringLiteral("Plik %1: %2").arg(displayName(), fault));
}

void Table::refuseChanged(const QString &what) const
{
    throw EngineError::changedOutside(displayName(), what);
}

std::int64_t Table::currentRecno() const
{
    if (state_ == State::Inactive || pos_ < 0 || pos_ >= int(rows_.size()))
        return -1;
    return rows_[std::size_t(pos_)].recno;
}

Table::Pending Table::pending() const
{
    if (state_ != State::Edit)
        return {};
    return {std::int64_t(editRecno_), &original_, &buffer_};
}

void Table::syncWithDisk()
{
    checkActive();
    const std::int64_t current = state_ == State::Edit ? std::int64_t(editRecno_) : currentRecno();
    const DbfFile::DiskState changed = shared_->refreshFromDisk(this);
    if (stale_)
        refuseChanged(QStringLiteral("zmienił się układ pól tabeli"));
    if (changed == DbfFile::DiskState::Unchanged || current < 0 || state_ == State::Insert)
        return;
    if (rowOf(std::uint32_t(current)) < 0)
        refuseChanged(QStringLiteral("bieżący rekord został usunięty"));
}

void Table::checkBeforeWrite(std::uint32_t recno)
{
    const DbfFile::DiskState changed = shared_->refreshFromDisk(this);
    if (stale_)
        refuseChanged(QStringLiteral("zmienił się układ pól tabeli"));
    if (changed == DbfFile::DiskState::Unchanged || original_.empty())
        return;
    // Written over only when the record is still what the change was worked out from.
    if (recno >= shared_->file().recordCount() || DbfFile::isDeleted(shared_->record(recno)))
        refuseChanged(QStringLiteral("bieżący rekord został usunięty"));
    if (std::string_view(shared_->record(recno), original_.size()) != original_)
        refuseChanged(QStringLiteral("ten sam rekord zmienił się w trakcie edycji"));
}

void Table::checkActive() const
{
    if (state_ == State::Inactive)
        throw EngineError(QString::fromLatin1(msg::ClosedDataset));
}

void Table::setState(State s)
{
    if (state_ == s)
        return;
    state_ = s;
    emit stateChanged();
}

const DbfFile &Table::file() const
{
    checkActive();
    return shared_->file();
}

int Table::fieldCount() const
{
    return int(file().fields().size());
}
const DbfField &Table::fieldDef(int i) const
{
    return file().fields().at(std::size_t(i));
}
bool Table::hasField(QAnyStringView name) const
{
    return file().fieldIndex(name) >= 0;
}
int Table::recordCount() const
{
    checkActive();
    return int(rows_.size());
}

void Table::open()
{
    if (active())
        return;
    const QString dir = directory_.isEmpty() ? QDir::currentPath() : directory_;
    // A journal left by a change that did not finish is rolled back before anything is read. One
    // that could not be applied has been set aside: the open stops once, so the user reads why.
    Journal::recoverBeforeUse(dir);
    std::shared_ptr<SharedFile> shared = SharedFile::acquire(dir, tableName_);
    shared->refreshFromDisk(nullptr);
    const DbfFile &f = shared->file();
    checkFields(f, required_);
    indexField_ = -1;
    if (!indexFieldName_.isEmpty()) {
        indexField_ = f.fieldIndex(indexFieldName_);
        if (indexField_ < 0)
            throw EngineError(
                QStringLiteral("Plik %1: brakuje pola %2, według którego tabela jest uporządkowana.")
                    .arg(f.displayName(), indexFieldName_));
    }
    shared_ = std::move(shared);
    stale_ = false;
    state_ = State::Browse;
    try {
        rebuild(-1);
    } catch (...) {
        shared_.reset();
        state_ = State::Inactive;
        rows_.clear();
        throw;
    }
    enterBrowse();
}

// The last step of every open: the rows are in place, the cursor goes to the first of them.
void Table::enterBrowse()
{
    shared_->addObserver(this);
    pos_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    emit stateChanged();
    emit dataSetChanged();
    emit recordChanged();
}

void Table::openCopyOf(const Table &other)
{
    if (active())
        return;
    other.checkActive();
    if (indexFieldName_.compare(other.indexFieldName_, Qt::CaseInsensitive) != 0)
        fail(QStringLiteral("kopia musi zachować porządek tabeli %1").arg(other.displayName()));
    shared_ = other.shared_;
    indexField_ = other.indexField_;
    rows_ = other.rows_;
    state_ = State::Browse;
    enterBrowse();
}

void Table::close()
{
    if (!active())
        return;
    shared_->removeObserver(this);
    shared_.reset();
    rows_ = {};
    rowsByPeriod_ = false;
    buffer_.clear();
    modified_ = false;
    pos_ = -1;
    bof_ = eof_ = true;
    state_ = State::Inactive;
    emit stateChanged();
    emit dataSetChanged();
    emit recordChanged();
}

void Table::closeWithFilterOff()
{
    if (active())
        checkBrowseMode();
    close();
    filtered_ = false;
}

bool Table::accepts(const char *record) const
{
    if (DbfFile::isDeleted(record))
        return false;
    if (!filtered_ || !filter_)
        return true;
    return filter_(RecordView(shared_->file(), record));
}

double Table::keyOf(const char *record) const
{
    if (indexField_ < 0)
        return 0;
    const DbfFile &f = shared_->file();
    if (f.fields()[std::size_t(indexField_)].kind == DbfKind::Number) {
        std::string_view s = f.rawText(record, indexField_);
        while (!s.empty() && s.front() == ' ')
            s.remove_prefix(1);
        if (!s.empty() && s.front() == '+')
            s.remove_prefix(1);
        double v = 0;
        const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) {
            // Blank sorts first; anything else that is not a number is reported by decode().
            if (s.empty() || s.find_first_not_of('*') == std::string_view::npos)
                return -std::numeric_limits<double>::infinity();
            return f.decode(record, indexField_).toDouble();
        }
        return v;
    }
    const QVariant v = f.decode(record, indexField_);
    return v.isNull() ? -std::numeric_limits<double>::infinity() : v.toDouble();
}

void Table::setPeriodKey(std::vector<QString> fields, std::vector<QString> texts)
{
    periodFields_ = std::move(fields);
    periodTexts_ = std::move(texts);
}

bool Table::periodKey(std::vector<int> &fields, std::string &key) const
{
    key.clear();
    if (!filtered_ || !filter_ || periodFields_.empty() || periodFields_.size() != periodTexts_.size())
        return false;
    const DbfFile &f = shared_->file();
    fields.clear();
    std::string probe = f.blankRecord();
    for (std::size_t i = 0; i < periodFields_.size(); ++i) {
        const int field = f.fieldIndex(periodFields_[i]);
        if (field < 0 || f.fields()[std::size_t(field)].type != 'C')
            return false;
        fields.push_back(field);
        try {
            f.encode(probe.data(), field, periodTexts_[i]);
        } catch (const EngineError &) {
            return false; // a text the field cannot hold is no period of this table
        }
    }
    // A filter that accepts the record holding the texts accepts exactly their period.
    if (!accepts(probe.data()))
        return false;
    PeriodMap::keyOf(f, probe.data(), fields, key);
    return !key.empty();
}

bool Table::rowsOutdated() const
{
    if (!filtered_ || !filter_)
        return false; // every write through the store keeps unfiltered rows true
    std::vector<int> fields;
    std::string key;
    return !rowsByPeriod_ || !periodKey(fields, key) || key != rowsPeriod_;
}

void Table::rebuild(std::int64_t keepRecno)
{
    // Built aside and swapped in, so a table that showed a million rows gives their memory back.
    std::vector<Row> rows;
    const DbfFile &f = shared_->file();
    std::vector<int> fields;
    std::string period;
    const bool byPeriod = periodKey(fields, period);
    const auto take = [&](std::uint32_t recno, const char *rec) {
        if (!accepts(rec))
            return;
        rows.push_back(Row{indexField_ >= 0 ? keyOf(rec) : double(recno), recno});
        if (byPeriod)
            shared_->keep(recno, rec);
    };
    try {
        if (PeriodMap *map = byPeriod ? shared_->periodMap(fields) : nullptr) {
            const std::vector<std::uint32_t> recnos = map->records(period);
            rows.reserve(recnos.size());
            f.readEach(recnos.data(), recnos.size(), take);
        } else if (byPeriod) {
            // One read that compares key bytes alone; the map for the next open is built aside.
            shared_->readPeriod(fields, period, take);
        } else {
            f.scan([&](std::uint32_t recno, const char *rec) {
                take(recno, rec);
                return true;
            });
        }
    } catch (...) {
        rows_ = {};
        rowsByPeriod_ = false;
        pos_ = -1;
        bof_ = eof_ = true;
        throw;
    }
    if (indexField_ >= 0)
        std::sort(rows.begin(), rows.end());
    rows_.swap(rows);
    rowsByPeriod_ = byPeriod;
    rowsPeriod_ = period;
    if (keepRecno >= 0) {
        const int row = rowOf(std::uint32_t(keepRecno));
        pos_ = row >= 0 ? row : std::min<int>(std::max(pos_, 0), int(rows_.size()) - 1);
    }
    if (rows_.empty())
        pos_ = -1;
    else if (pos_ >= int(rows_.size()))
        pos_ = int(rows_.size()) - 1;
    bof_ = pos_ <= 0;
    eof_ = rows_.empty();
}

int Table::rowOf(std::uint32_t recno) const
{
    if (indexField_ < 0) {
        auto it = std::lower_bound(rows_.begin(), rows_.end(), Row{double(recno), recno});
        return it != rows_.end() && it->recno == recno ? int(it - rows_.begin()) : -1;
    }
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].recno == recno)
            return int(i);
    return -1;
}

void Table::checkBrowseMode()
{
    if (state_ == State::Edit || state_ == State::Insert) {
        if (modified_)
            post();
        else
            cancel();
    }
}

void Table::first()
{
    checkActive();
    checkBrowseMode();
    pos_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    emit recordChanged();
}

void Table::last()
{
    checkActive();
    checkBrowseMode();
    pos_ = int(rows_.size()) - 1;
    eof_ = true;
    bof_ = rows_.empty();
    emit recordChanged();
}

void Table::next()
{
    checkActive();
    checkBrowseMode();
    if (pos_ + 1 < int(rows_.size())) {
        ++pos_;
        bof_ = eof_ = false;
        emit recordChanged();
    } else {
        eof_ = true;
    }
}

void Table::prior()
{
    checkActive();
    checkBrowseMode();
    if (pos_ > 0) {
        --pos_;
        bof_ = eof_ = false;
        emit recordChanged();
    } else {
        bof_ = true;
    }
}

void Table::moveTo(int row)
{
    checkActive();
    if (row < 0 || row >= int(rows_.size()) || row == pos_)
        return;
    checkBrowseMode();
    pos_ = row;
    bof_ = eof_ = false;
    emit recordChanged();
}

void Table::moveToRecord(std::uint32_t recno)
{
    checkActive();
    const int row = rowOf(recno);
    if (row >= 0)
        moveTo(row);
}

bool Table::hasOrderKey(double key) const
{
    checkActive();
    if (indexField_ < 0)
        fail(QStringLiteral("tabela nie jest uporządkowana według żadnego pola"));
    const auto it = std::lower_bound(rows_.begin(), rows_.end(), Row{key, 0});
    return it != rows_.end() && it->key == key;
}

void Table::edit()
{
    checkActive();
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    if (rows_.empty()) {
        insert();
        return;
    }
    // The change is worked out from what is on the disk now, another program's edits included.
    syncWithDisk();
    if (beforeEdit)
        beforeEdit(*this);
    editRecno_ = rows_[std::size_t(pos_)].recno;
    const char *rec = shared_->record(editRecno_);
    buffer_.assign(rec, std::size_t(shared_->file().recordLength()));
    original_ = buffer_;
    modified_ = false;
    setState(State::Edit);
}

void Table::insert()
{
    checkActive();
    checkBrowseMode();
    buffer_ = shared_->file().blankRecord();
    original_.clear();
    modified_ = false;
    setState(State::Insert);
    emit recordChanged();
}

void Table::cancel()
{
    if (state_ != State::Edit && state_ != State::Insert)
        return;
    buffer_.clear();
    original_.clear();
    modified_ = false;
    setState(State::Browse);
    emit recordChanged();
}

void Table::post()
{
    checkActive();
    if (state_ != State::Edit && state_ != State::Insert)
        throw EngineError(QString::fromLatin1(msg::NotEditing));
    if (writer_) {
        postThroughWriter();
        return;
    }
    if (beforePost)
        beforePost(*this);
    // The hook may have ended the edit (it never should, but a broken one must not write twice).
    if (state_ != State::Edit && state_ != State::Insert)
        return;
    const std::string data = buffer_;
    checkBeforeWrite(editRecno_);
    if (state_ == State::Insert) {
        // Browse first, so the store's notice places the new record and the cursor on it.
        state_ = State::Browse;
        try {
            shared_->append(data.data(), this);
        } catch (...) {
            state_ = State::Insert;
            throw;
        }
    } else {
        state_ = State::Browse;
        try {
            shared_->write(editRecno_, data.data(), this);
        } catch (...) {
            state_ = State::Edit;
            throw;
        }
    }
    buffer_.clear();
    original_.clear();
    modified_ = false;
    emit stateChanged();
    emit recordChanged();
}

void Table::postThroughWriter()
{
    writer_->begin();
    std::uint32_t recno = 0;
    try {
        if (beforePost)
            beforePost(*this);
        if (state_ != State::Edit && state_ != State::Insert) {
            writer_->end(true);
            return;
        }
        if (stale_)
            refuseChanged(QStringLiteral("zmienił się układ pól tabeli"));
        recno = writer_->write(*this, state_ == State::Insert ? -1 : std::int64_t(editRecno_), original_, buffer_);
    } catch (...) {
        writer_->end(false);
        throw;
    }
    // Browse before the write lands, so the store's notice finds no edit in progress; the edit
    // comes back when the write fails.
    const State was = state_;
    std::string buffer, original;
    buffer.swap(buffer_);
    original.swap(original_);
    state_ = State::Browse;
    modified_ = false;
    try {
        writer_->end(true);
    } catch (...) {
        if (state_ == State::Browse) {
            state_ = was;
            buffer_.swap(buffer);
            original_.swap(original);
            modified_ = true;
        }
        throw;
    }
    if (was == State::Insert)
        moveToRecord(recno);
    emit stateChanged();
    emit recordChanged();
}

void Table::deleteThroughWriter()
{
    writer_->begin();
    try {
        if (beforeDelete)
            beforeDelete(*this);
        if (rows_.empty() || pos_ < 0)
            throw EngineError(QString::fromLatin1(msg::EmptyDataset));
        if (stale_)
            refuseChanged(QStringLiteral("zmienił się układ pól tabeli"));
        const std::uint32_t recno = rows_[std::size_t(pos_)].recno;
        const std::string original(shared_->record(recno), std::size_t(shared_->file().recordLength()));
        std::string data = original;
        data[0] = '*';
        writer_->write(*this, recno, original, data);
    } catch (...) {
        writer_->end(false);
        throw;
    }
    writer_->end(true);
    emit recordChanged();
}

void Table::deleteRecord()
{
    checkActive();
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    if (rows_.empty() || pos_ < 0)
        throw EngineError(QString::fromLatin1(msg::EmptyDataset));
    cancel(); // a pending change of the record about to go is moot
    syncWithDisk();
    if (writer_) {
        deleteThroughWriter();
        return;
    }
    if (beforeDelete)
        beforeDelete(*this);
    if (rows_.empty() || pos_ < 0)
        throw EngineError(QString::fromLatin1(msg::EmptyDataset));
    const std::uint32_t recno = rows_[std::size_t(pos_)].recno;
    std::string data(shared_->record(recno), std::size_t(shared_->file().recordLength()));
    original_ = data;
    try {
        checkBeforeWrite(recno);
    } catch (...) {
        original_.clear();
        throw;
    }
    original_.clear();
    data[0] = '*';
    shared_->write(recno, data.data(), this);
    emit recordChanged();
}

void Table::refresh()
{
    checkActive();
    checkBrowseMode();
    // A change on disk has already made every table on the file read it again.
    if (shared_->refreshFromDisk(this) == DbfFile::DiskState::Unchanged && rowsOutdated()) {
        const std::int64_t keep = pos_ >= 0 ? std::int64_t(rows_[std::size_t(pos_)].recno) : -1;
        rebuild(keep);
    }
    if (pos_ < 0 && !rows_.empty())
        pos_ = 0;
    bof_ = pos_ <= 0;
    eof_ = rows_.empty();
    emit dataSetChanged();
    emit recordChanged();
}

void Table::setFiltered(bool on)
{
    if (on == filtered_)
        return;
    if (!active()) {
        filtered_ = on;
        return;
    }
    checkBrowseMode();
    filtered_ = on;
    rebuild(-1);
    pos_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    emit dataSetChanged();
    emit recordChanged();
}

QVariant Table::fieldValue(QAnyStringView name) const
{
    checkActive();
    const DbfFile &f = shared_->file();
    const int i = f.fieldIndex(name);
    if (i < 0)
        fail(QStringLiteral("pole %1 nie istnieje").arg(name.toString()));
    if (state_ == State::Edit || state_ == State::Insert)
        return f.decode(buffer_.data(), i);
    if (pos_ < 0)
        return QVariant();
    return f.decode(shared_->record(rows_[std::size_t(pos_)].recno), i);
}

QVariant Table::rowValue(int row, int field) const
{
    checkActive();
    if (row < 0 || row >= int(rows_.size()))
        return QVariant();
    if (row == pos_ && (state_ == State::Edit || state_ == State::Insert))
        return shared_->file().decode(buffer_.data(), field);
    return shared_->file().decode(shared_->record(rows_[std::size_t(row)].recno), field);
}

void Table::setFieldValue(QAnyStringView name, const QVariant &value)
{
    checkActive();
    if (state_ != State::Edit && state_ != State::Insert)
        throw EngineError(QString::fromLatin1(msg::NotEditing));
    const DbfFile &f = shared_->file();
    const int i = f.fieldIndex(name);
    if (i < 0)
        fail(QStringLiteral("pole %1 nie istnieje").arg(name.toString()));
    QVariant v = value;
    const DbfKind kind = f.fields()[std::size_t(i)].kind;
    const bool numeric = kind == DbfKind::Number || kind == DbfKind::Double || kind == DbfKind::Integer;
    if (numeric && v.typeId() == QMetaType::QString) {
        // Text assigned to a number field is read the way the user writes numbers, then plainly.
        const QString text = v.toString().trimmed();
        bool ok = false;
        double d = text.isEmpty() ? 0 : QLocale().toDouble(text, &ok);
        if (!ok && !text.isEmpty())
            d = QLocale::c().toDouble(text, &ok);
        if (text.isEmpty())
            v = QVariant();
        else if (!ok)
            throw EngineError(QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
        else
            v = d;
    }
    f.encode(buffer_.data(), i, v);
    modified_ = true;
    emit recordChanged();
}

void Table::storeEvent(SharedFile::Event e, std::uint32_t recno, bool mine)
{
    if (!active())
        return;
    const std::int64_t current = pos_ >= 0 ? std::int64_t(rows_[std::size_t(pos_)].recno) : -1;
    if (e == SharedFile::Event::LayoutChanged) {
        // Rows, order and any edit in progress were worked out on the old layout; reading goes on
        // as well as it can, writing waits for the table to be opened again.
        stale_ = true;
        indexField_ = indexFieldName_.isEmpty() ? -1 : shared_->file().fieldIndex(indexFieldName_);
    }
    if (e == SharedFile::Event::Reloaded || e == SharedFile::Event::LayoutChanged) {
        rebuild(current);
        if (pos_ < 0 && !rows_.empty())
            pos_ = 0;
        emit dataSetChanged();
        emit recordChanged();
        return;
    }
    const int oldRow = rowOf(recno);
    if (oldRow >= 0)
        rows_.erase(rows_.begin() + oldRow);
    const char *rec = shared_->record(recno);
    int newRow = -1;
    if (accepts(rec)) {
        const Row r{indexField_ >= 0 ? keyOf(rec) : double(recno), recno};
        // Among equal keys a new record goes last, as the rebuild would place it.
        auto it = std::upper_bound(rows_.begin(), rows_.end(), r);
        newRow = int(it - rows_.begin());
        rows_.insert(it, r);
    }
    if (newRow >= 0 && (mine || (current >= 0 && std::uint32_t(current) == recno))) {
        pos_ = newRow; // the record just posted, or the current one rewritten, stays current
    } else if (current >= 0 && std::uint32_t(current) != recno) {
        pos_ = rowOf(std::uint32_t(current));
    } else if (current >= 0) {
        // The current record was deleted or left the filter: the next one becomes current.
        pos_ = oldRow >= 0 ? std::min(oldRow, int(rows_.size()) - 1) : pos_;
    } else {
        pos_ = rows_.empty() ? -1 : 0;
    }
    if (rows_.empty())
        pos_ = -1;
    eof_ = rows_.empty();
    bof_ = pos_ <= 0;
    emit dataSetChanged();
    if (!mine)
        emit recordChanged();
}

} // namespace kw
