#pragma once

#include <QString>
#include <stdexcept>

namespace kw {

// The one error type of the table engine. Its text is what the user sees in the
// default error report, so it names the file and the fault in plain words.
class EngineError : public std::runtime_error
{
public:
    explicit EngineError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

namespace msg {
inline constexpr const char *EmptyDataset = "Cannot perform this operation on an empty dataset";
inline constexpr const char *ClosedDataset = "Cannot perform this operation on a closed dataset";
inline constexpr const char *NotEditing = "Dataset not in edit or insert mode";
} // namespace msg

} // namespace kw
