#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

namespace kw {

// The one error type of the table engine. It carries what happened as values (what went wrong,
// the file concerned, what became of the change it interrupted); the text the user sees in the
// default error report is composed from them in one place, so code decides by the values and
// never by the words.
class EngineError : public std::runtime_error
{
public:
    // What went wrong.
    enum class Kind
    {
        // The cause says it all (a dataset in the wrong state, a field missing, a hook's own error).
        General,
        // A write, flush or truncation of the file refused by the system (read-only, full, I/O error).
        WriteFailed,
        // Another program changed the file in a way this write cannot be applied over.
        ChangedOutside,
        // The program will not write the file: writing would destroy something or prove nothing.
        Refused,
        // The file cannot be read as what it claims to be.
        Damaged,
    };
    // What became of the change the error interrupted, as far as the disk is concerned.
    enum class Outcome
    {
        NotSaid, // the error interrupted no change (an open, a check), or nobody has said yet
        NothingStored,
        Stored,
        // The disk refused to say: the day has to be looked at after the next start.
        NotKnown,
        // Part of the change is on the disk and could not be taken back now; the journal on the disk
        // takes it back when the tables are next opened.
        UndoPending,
    };

    // An error whose text is the cause as given.
    explicit EngineError(const QString &cause, Kind kind = Kind::General)
        : EngineError(kind, QString(), 0, cause, Outcome::NotSaid, QString(), QString())
    {}
    // The cause names what went wrong with the file; the file's name goes in front as each kind
    // says it ("Nie można zapisać pliku X: ...", "Plik X został zmieniony przez inny program: ...").
    // The advice, if any, closes the text after the outcome.
    EngineError(Kind kind, const QString &file, const QString &cause, Outcome outcome = Outcome::NotSaid,
                const QString &advice = QString())
        : EngineError(kind, file, 0, cause, outcome, advice, QString())
    {}

    static EngineError writeFailed(const QString &file, const QString &cause)
    {
        return EngineError(Kind::WriteFailed, file, cause);
    }
    // Another program's change that a write will not be made over: nothing of the change is written
    // and the period has to be read again.
    static EngineError changedOutside(const QString &file, const QString &what)
    {
        return EngineError(Kind::ChangedOutside, file, what, Outcome::NothingStored,
                           QStringLiteral("Otwórz okres ponownie (Ctrl+O)."));
    }

    // The same error, told with what became of the change. For UndoPending, undoCause is why taking
    // the change back failed.
    EngineError withOutcome(Outcome outcome, const QString &undoCause = QString()) const
    {
        return EngineError(kind_, file_, record_, cause_, outcome, advice_, undoCause);
    }
    // The same error about one record of the file, numbered from 1.
    EngineError atRecord(std::int64_t record) const
    {
        return EngineError(kind_, file_, record, cause_, outcome_, advice_, QString());
    }

    QString message() const { return QString::fromStdString(what()); }
    Kind kind() const { return kind_; }
    Outcome outcome() const { return outcome_; }
    // The file's name as the user knows it; empty when no one file is concerned.
    const QString &file() const { return file_; }
    // The record concerned, numbered from 1; 0 when none is.
    std::int64_t record() const { return record_; }
    const QString &cause() const { return cause_; }

    // The text a user reads for these values.
    static QString compose(Kind kind, const QString &file, std::int64_t record, const QString &cause,
                           Outcome outcome, const QString &advice, const QString &undoCause);

private:
    EngineError(Kind kind, const QString &file, std::int64_t record, const QString &cause, Outcome outcome,
                const QString &advice, const QString &undoCause)
        : std::runtime_error(compose(kind, file, record, cause, outcome, advice, undoCause).toStdString()),
          kind_(kind), outcome_(outcome), file_(file), record_(record), cause_(cause), advice_(advice)
    {}

    Kind kind_;
    Outcome outcome_;
    QString file_;
    std::int64_t record_;
    QString cause_;
    QString advice_;
};

inline QString EngineError::compose(Kind kind, const QString &file, std::int64_t record, const QString &cause,
                                    Outcome outcome, const QString &advice, const QString &undoCause)
{
    QString text = cause;
    if (!file.isEmpty()) {
        if (kind == Kind::WriteFailed)
            text = QStringLiteral("Nie można zapisać pliku %1: %2.").arg(file, cause);
        else if (kind == Kind::ChangedOutside)
            text = QStringLiteral("Plik %1 został zmieniony przez inny program: %2.").arg(file, cause);
        else if (kind == Kind::Damaged && record > 0)
            text = QStringLiteral("Plik %1, rekord nr %2: %3").arg(file).arg(record).arg(cause);
        else if (kind == Kind::Damaged)
            text = QStringLiteral("Plik %1: %2").arg(file, cause);
    }
    QString told;
    switch (outcome) {
    case Outcome::NotSaid:
        break;
    case Outcome::NothingStored:
        told = QStringLiteral("Nic nie zostało zapisane.");
        break;
    case Outcome::Stored:
        told = QStringLiteral("Zmiana mimo to została zapisana w całości.");
        break;
    case Outcome::NotKnown:
        told = QStringLiteral("Nie wiadomo, czy zmiana została zapisana: po następnym uruchomieniu programu "
                              "sprawdź ten dzień i w razie potrzeby wpisz zmianę ponownie.");
        break;
    case Outcome::UndoPending:
        told = QStringLiteral("Nie udało się też cofnąć zmiany (%1). Zmiana zostanie cofnięta przy następnym "
                              "otwarciu okresu, gdy pliki znów dadzą się zapisać.")
                   .arg(undoCause);
        break;
    }
    for (const QString &part : {told, advice})
        if (!part.isEmpty())
            text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + part;
    return text;
}

namespace msg {
inline constexpr const char *EmptyDataset = "Cannot perform this operation on an empty dataset";
inline constexpr const char *ClosedDataset = "Cannot perform this operation on a closed dataset";
inline constexpr const char *NotEditing = "Dataset not in edit or insert mode";
} // namespace msg

} // namespace kw
