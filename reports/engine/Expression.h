#pragma once

// Expressions of report cells: field references in three written forms (`Table1.FIELD`, `[FIELD]`,
// `(FIELD)`; a bare name is a field of the report's own dataset too), numbers, text in single
// quotes, + - * / with the usual precedence and unary minus, and SUM(expr), a running total of its
// argument over every detail band placed so far. Parsed once, evaluated per band.

#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace kw::report {

// Looks a field up: the dataset's name as written (empty for the report's own) and the field's.
// Returns an invalid QVariant for an unknown dataset or field, a null one for a blank field.
// Whether a value takes part in arithmetic and prints as a number.
bool isNumber(const QVariant &v);

using FieldLookup = std::function<QVariant(const QString &dataSet, const QString &field)>;

class Expression
{
public:
    Expression();
    ~Expression();
    Expression(Expression &&) noexcept;
    Expression &operator=(Expression &&) noexcept;

    // ownDataSet: the name under which `Name.FIELD` means the report's own dataset; without one,
    // only `[FIELD]` and a bare field name do.
    static Expression parse(const QString &text, const QString &ownDataSet = {});

    const QString &text() const { return text_; }
    bool hasSum() const { return !sums_.empty(); }

    // The value, or an invalid QVariant when it cannot be evaluated (bad syntax, an unknown field,
    // text in arithmetic, division by zero). Numbers come back as double, dates as QDate.
    QVariant evaluate(const FieldLookup &lookup) const;
    // What a cell shows: a number in the general number format, a date in the short date format,
    // text unchanged, null as nothing, and the expression's own text when it cannot be evaluated.
    // `numeric` (when given) tells whether the text is a number.
    QString display(const FieldLookup &lookup, bool *numeric = nullptr) const;

    // Adds the current record into every SUM of this expression; called once per placed detail.
    void accumulate(const FieldLookup &lookup);
    void resetSums();

    struct Node; // the parsed form, internal

private:
    QVariant eval(int node, const FieldLookup &lookup) const;

    QString text_;
    std::vector<Node> nodes_;
    std::vector<int> sums_; // nodes that are SUM(...)
    int root_ = -1;
};

} // namespace kw::report
