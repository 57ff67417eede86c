#pragma once

#include <QString>
#include <stdexcept>

namespace kw {

// The one error type of the table engine. Its text is what the user sees in the
// default error report, so it names the file and the fault in plain words.
class EngineError : public std::runtime_error
{
public:
    enum class Kind
    {
        General,
        // A write, flush or truncation refused by the system (read-only file, full disk, I/O error).
        WriteFailed,
        // Another program changed the file in a way this write cannot be applied over.
        ChangedOutside,
        // Not attempted: the target may not be written (a data file, a file of another kind, ...).
        Refused,
    };

    explicit EngineError(const QString &message, Kind kind = Kind::General)
        : std::runtime_error(message.toStdString()), kind_(kind)
    {}
    QString message() const { return QString::fromStdString(what()); }
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

namespace msg {
inline constexpr const char *EmptyDataset = "Cannot perform this operation on an empty dataset";
inline constexpr const char *ClosedDataset = "Cannot perform this operation on a closed dataset";
inline constexpr const char *NotEditing = "Dataset not in edit or insert mode";
// Added after a failed group was rolled back.
inline const QString NothingStored = QStringLiteral("Nic nie zostało zapisane.");
} // namespace msg

} // namespace kw
