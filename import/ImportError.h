#pragma once

#include <QString>
#include <stdexcept>

namespace kw::import {

// Why a file was not read. The Polish text is composed once, from the kind, the file and the line;
// code decides by the kind.
class ImportError : public std::runtime_error
{
public:
    enum class Kind
    {
        Unreadable,   // the file could not be opened or read
        Unwritable,   // a file of the data folder could not be written
        Unrecognised, // no known statement format
        Refused,      // a known format, broken at `line` (0: not tied to one line)
        NeedsMapping  // a table whose columns this program does not know: the user maps them
    };

    ImportError(Kind kind, QString detail, int line = 0);

    Kind kind() const { return kind_; }
    int line() const { return line_; }
    const QString &detail() const { return detail_; }
    // Set by the entry point that knows them; readers leave them empty.
    void setFile(const QString &fileName, const QString &formatName);
    const QString &fileName() const { return file_; }

    // The sentence shown to the user: names the file and, where known, the line, and says what to do.
    QString message() const;

private:
    Kind kind_;
    QString detail_;
    int line_;
    QString file_;
    QString format_;
};

} // namespace kw::import
