// import: a bank statement booked by the same code and rules as the window "Import wyciągu", with a
// summary; --dry-run only sums up.
#include "cli/Commands.h"
#include "import/CsvProfile.h"
#include "import/ImportBooking.h"
#include "import/ImportError.h"
#include "import/StatementReader.h"
#include "ledger/Books.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <exception>
#include <optional>

namespace kw::cli {

namespace {

// Two decimals and a decimal comma, whatever the environment's locale: a summary reads the same
// everywhere.
QString amount(import::Amount a)
{
    QString s = QString::number(import::toDouble(a), 'f', 2);
    s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
}

void print(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
}

} // namespace

int runImport(const Invocation &call)
{
    const QString file = call.args[0];
    const QString folder = call.directory.isEmpty() ? QDir::currentPath() : call.directory;
    const bool dryRun = call.switches.contains(QLatin1String("--dry-run"));
    try {
        QStringList problems;
        // The statement first: a refused file writes nothing, not even the rules file.
        const import::Statement st = import::readStatementFile(file, import::loadProfiles(folder, &problems));
        // Then the folder, held against the program before anything is written into it.
        std::optional<ledger::Books> books;
        if (!dryRun) {
            books.emplace(folder);
            if (!books->lockFolder()) {
                printError(QStringLiteral("program ma folder %1 otwarty; zaimportuj wyciąg w programie albo go "
                                          "zamknij. Nic nie zapisano.")
                               .arg(QDir::toNativeSeparators(folder)));
                return Failed;
            }
            books->recoverJournal();
        }
        const import::Rules rules = import::Rules::load(folder, &problems, !dryRun);
        const import::ImportPlan plan = import::planImport(file, st, rules, import::bookedKeys(folder));
        for (const QString &p : problems)
            printError(p);

        int duplicates = 0, pending = 0, foreign = 0;
        for (const import::ImportLine &l : plan.lines) {
            duplicates += l.duplicate;
            pending += l.t.pending;
            foreign += l.bookable() && !l.ticked;
        }
        import::ImportResult result;
        result.booked = plan.tickedCount();
        result.totals = plan.totals();
        if (books && result.booked > 0)
            result = import::bookImport(*books, plan, QDateTime::currentDateTime());

        QString head =
            QStringLiteral("Plik: %1 (%2)").arg(QFileInfo(file).fileName(), import::formatName(st.format));
        if (!st.profile.isEmpty())
            head += QStringLiteral(", profil „%1”").arg(st.profile);
        if (!st.account.isEmpty())
            head += QStringLiteral(", rachunek %1").arg(st.account);
        print(head);
        if (dryRun)
            print(QStringLiteral("Do zaksięgowania: %1 (próba: nic nie zapisano)").arg(result.booked));
        else if (result.number > 0)
            print(QStringLiteral("Zaksięgowano: %1 (import nr %2)").arg(result.booked).arg(result.number));
        else
            print(QStringLiteral("Zaksięgowano: 0"));
        print(QStringLiteral("Pominięte jako już zaksięgowane: %1").arg(duplicates));
        print(QStringLiteral("Oczekujące, niezaksięgowane: %1").arg(pending));
        if (foreign > 0)
            print(QStringLiteral("W innej walucie niż złoty, niezaksięgowane: %1").arg(foreign));
        bool any = false;
        for (int c = 0; c < int(result.totals.size()); ++c)
            if (result.totals[std::size_t(c)] != 0) {
                if (!any)
                    print(QStringLiteral("Kategorie:"));
                any = true;
                print(QStringLiteral("  %1: %2")
                          .arg(import::categoryLabel(c), amount(result.totals[std::size_t(c)])));
            }
        for (const import::BalanceCheck &b : st.balances) {
            const QString name = b.statement.isEmpty() ? QString() : QLatin1Char(' ') + b.statement;
            print(b.matches() ? QStringLiteral("Saldo wyciągu%1: zgodne (%2 + %3 = %4)")
                                    .arg(name, amount(b.opening), amount(b.lines), amount(b.closing))
                              : QStringLiteral("Saldo wyciągu%1: NIEZGODNE: %2 + %3 = %4, a wyciąg podaje %5")
                                    .arg(name, amount(b.opening), amount(b.lines),
                                         amount(b.opening + b.lines), amount(b.closing)));
        }
        return Done;
    } catch (const import::ImportError &e) {
        printError(e.message());
        return Failed;
    } catch (const std::exception &e) {
        printError(QString::fromUtf8(e.what()));
        return Failed;
    }
}

} // namespace kw::cli
