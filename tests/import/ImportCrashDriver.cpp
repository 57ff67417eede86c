// One import run alone in its own process, so that a test can kill it at any system call:
// import_crash_driver DIR book FILE, or import_crash_driver DIR undo NUMBER.
// Exit 0 when it finished, 3 when it was refused.
#include "import/ImportBooking.h"
#include "import/StatementReader.h"

#include "ledger/Books.h"

#include <QLocale>
#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    const QString dir = QString::fromLocal8Bit(argv[1]);
    try {
        kw::ledger::Books books(dir);
        if (std::strcmp(argv[2], "book") == 0) {
            const QString file = QString::fromLocal8Bit(argv[3]);
            const auto plan =
                kw::import::planImport(file, kw::import::readStatementFile(file),
                                       kw::import::Rules::load(dir), kw::import::bookedKeys(dir));
            return kw::import::bookImport(books, plan, QDateTime(QDate(2024, 2, 1), QTime(12, 0))).booked > 0
                       ? 0
                       : 3;
        }
        if (std::strcmp(argv[2], "undo") == 0)
            return kw::import::undoImport(books, std::atoi(argv[3])) > 0 ? 0 : 3;
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "import_crash_driver: %s\n", e.what());
        return 3;
    }
}
