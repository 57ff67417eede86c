#include "ledger/OperationsTable.h"

#include "ledger/EngineError.h"
#include "ledger/LedgerSchema.h"
#include "ledger/SharedFile.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kw::ledger {

const std::vector<DbfFieldSpec> &operationFields()
{
    const auto &r = OperationRecord;
    static const std::vector<DbfFieldSpec> f{
        {r.date, 'D', 8, 0},          {r.amount, 'N', 19, 4}, {r.currency, 'C', 3, 0}, {r.field, 'C', 10, 0},
        {r.counterparty, 'C', 70, 0}, {r.title, 'C', 140, 0}, {r.account, 'C', 34, 0}, {r.key, 'C', 40, 0},
        {r.file, 'C', 80, 0},         {r.import, 'N', 6, 0},  {r.booked, 'D', 8, 0},   {r.newDay, 'L', 1, 0},
        {r.remark, 'L', 1, 0},
    };
    return f;
}

void checkOperationsLayout(const DbfFile &file)
{
    for (const DbfFieldSpec &f : operationFields()) {
        const int i = file.fieldIndex(QLatin1String(f.name));
        if (i < 0 || file.fields()[std::size_t(i)].type != f.type)
            throw EngineError(
                QStringLiteral("%1: brakuje pola %2 typu %3; to nie jest tabela operacji importu")
                    .arg(file.displayName(), QLatin1String(f.name), QChar::fromLatin1(f.type)));
    }
}

void createOperationsTable(const QString &directory)
{
    if (!SharedFile::resolve(directory, OperationsFile).isEmpty())
        throw EngineError(QStringLiteral("%1: tabela już istnieje w katalogu %2; nic nie zapisano")
                              .arg(OperationsFile, QDir::toNativeSeparators(directory)));
    createPrivateDirectory(directory);
    // Made aside and renamed into place: a crash never leaves half a header under the table's name.
    const QString path = QDir(directory).filePath(OperationsFile);
    const QString aside = path + QStringLiteral(".nowy");
    QFile::remove(aside);
    DbfFile::create(aside, operationFields());
    if (::rename(QFile::encodeName(aside).constData(), QFile::encodeName(path).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(aside);
        throw EngineError(
            QStringLiteral("nie można zapisać pliku %1 (%2)").arg(QDir::toNativeSeparators(path), why));
    }
}

bool ensureOperationsTable(const QString &directory)
{
    if (!SharedFile::resolve(directory, OperationsFile).isEmpty())
        return false;
    createOperationsTable(directory);
    return true;
}

} // namespace kw::ledger
