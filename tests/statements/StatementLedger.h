#pragma once

// Ledgers made through the program's own writers, and the companion's statements read back as text.
#include "../ledger/TestTables.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace kwtest {

// Books whose days are added period by period, exactly as the entry dialogs add them.
struct StatementBooks : Ledger
{
    QString openMonth, openYear;

    void ensureOpen(const QString &m, const QString &y)
    {
        if (m == openMonth && y == openYear && day.active())
            return;
        open(m, y);
        openMonth = m;
        openYear = y;
    }
    // A day entry with its ten amounts and a remark; the sums move with it.
    void addEntry(const QString &m, const QString &y, int d, const AmountSet &amounts,
                  const QString &remark = {}, QDate created = QDate(2004, 3, 1))
    {
        ensureOpen(m, y);
        addDay(t, d, m, y, created);
        bookAmounts(t, amounts, Sign::Add);
        if (!remark.isEmpty()) {
            day.edit();
            day.setFieldValue("UWAGI", remark);
            day.post(); // the sums were put into edit with the day entry
            month.post();
            year.post();
        }
    }
    // Opens the period, which creates its month sum and year sum with zero amounts.
    void touchPeriod(const QString &m, const QString &y) { ensureOpen(m, y); }
    void done()
    {
        closePeriod(t);
        openMonth.clear();
        openYear.clear();
    }
};

struct RunResult
{
    int exitCode = -1;
    QString out, err;
};

inline RunResult runTool(const QStringList &args, const QString &workingDir)
{
    QProcess p;
    p.setWorkingDirectory(workingDir);
    p.start(QStringLiteral(KW_LEDGER_TOOL), args);
    p.waitForFinished(120000);
    RunResult r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline bool havePdfToText()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

// The PDF's text, one string per page, with non-breaking spaces read as plain ones.
inline QStringList pdfPages(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    QString text = QString::fromUtf8(p.readAllStandardOutput());
    text.replace(QChar(0x00A0), QLatin1Char(' ')).replace(QChar(0x202F), QLatin1Char(' '));
    QStringList pages = text.split(QLatin1Char('\f'));
    while (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

inline QStringList words(const QString &line)
{
    return line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// The lines of the text whose first words are the given ones, in their order on the pages.
inline QStringList linesStartingWith(const QStringList &pages, const QStringList &first)
{
    QStringList out;
    for (const QString &page : pages)
        for (const QString &line : page.split(QLatin1Char('\n'))) {
            const QStringList w = words(line);
            if (w.size() >= first.size() && w.mid(0, first.size()) == first)
                out << w.join(QLatin1Char(' '));
        }
    return out;
}

} // namespace kwtest
