#include "ledger/LedgerSchema.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kw::ledger {

namespace {
constexpr int AmountWidth = 19;
constexpr int AmountDecimals = 4;

std::vector<DbfFieldSpec> withAmounts(std::vector<DbfFieldSpec> head,
                                      const std::vector<const char *> &amounts,
                                      std::vector<DbfFieldSpec> tail)
{
    for (const char *a : amounts)
        head.push_back({a, 'N', AmountWidth, AmountDecimals});
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::vector<FieldRequirement> requirementsOf(const std::vector<DbfFieldSpec> &fields)
{
    std::vector<FieldRequirement> out;
    for (const auto &f : fields)
        out.push_back({QString::fromLatin1(f.name), f.type == 'C'   ? FieldKind::Text
                                                    : f.type == 'D' ? FieldKind::Date
                                                                    : FieldKind::Number});
    return out;
}
} // namespace

std::vector<const char *> amountFields(Level level)
{
    std::vector<const char *> out;
    for (int i = 0; i < int(Categories.size()); ++i) {
        if (level != Level::Day && i == IncomeKinds)
            out.push_back(derivedFields(level).income);
        out.push_back(Categories[std::size_t(i)].field(level));
    }
    if (level != Level::Day) {
        out.push_back(derivedFields(level).expenses);
        out.push_back(derivedFields(level).budget);
    }
    return out;
}

bool isYearText(const QString &text)
{
    if (text.isEmpty() || text.size() > YearTextLength)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

const std::vector<DbfFieldSpec> &dayFields()
{
    static const std::vector<DbfFieldSpec> f =
        withAmounts({{DayRecord.month, 'C', 3, 0}, {DayRecord.year, 'C', YearTextLength, 0}, {DayRecord.day, 'N', 3, 0}},
                    amountFields(Level::Day), {{DayRecord.date, 'D', 8, 0}, {DayRecord.remark, 'C', 50, 0}});
    return f;
}

const std::vector<DbfFieldSpec> &monthFields()
{
    static const std::vector<DbfFieldSpec> f = withAmounts(
        {{MonthRecord.id, 'N', 10, 0}, {MonthRecord.month, 'C', 3, 0}, {MonthRecord.year, 'C', YearTextLength, 0}},
        amountFields(Level::Month), {});
    return f;
}

const std::vector<DbfFieldSpec> &yearFields()
{
    static const std::vector<DbfFieldSpec> f = withAmounts(
        {{YearRecord.id, 'N', 10, 0}, {YearRecord.year, 'C', YearTextLength, 0}}, amountFields(Level::Year), {});
    return f;
}

const std::vector<DbfFieldSpec> &planFields()
{
    static const std::vector<DbfFieldSpec> f = withAmounts(
        {{PlanRecord.year, 'C', YearTextLength, 0}, {PlanRecord.month, 'C', 3, 0}}, amountFields(Level::Day), {});
    return f;
}

std::vector<FieldRequirement> dayRequirements()
{
    return requirementsOf(dayFields());
}
std::vector<FieldRequirement> monthRequirements()
{
    return requirementsOf(monthFields());
}
std::vector<FieldRequirement> yearRequirements()
{
    return requirementsOf(yearFields());
}
std::vector<FieldRequirement> planRequirements()
{
    return requirementsOf(planFields());
}

void createPrivateDirectory(const QString &directory)
{
    const QString path = QDir::cleanPath(QDir(directory).absolutePath());
    const QFileInfo info(path);
    if (info.isDir())
        return;
    if (info.exists())
        throw EngineError(
            QStringLiteral("%1 istnieje, ale nie jest folderem").arg(QDir::toNativeSeparators(path)));
    // From the top down, so each folder made here gets its mode before anything goes into it.
    QString built;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        built += QLatin1Char('/') + part;
        if (QFileInfo(built).isDir())
            continue;
        const QByteArray native = QFile::encodeName(built);
        if (::mkdir(native.constData(), 0700) != 0 || ::chmod(native.constData(), 0700) != 0)
            throw EngineError(QStringLiteral("nie można utworzyć folderu %1 (%2)")
                                  .arg(QDir::toNativeSeparators(built), diskio::causeText(errno)));
    }
}

void createEmptyTables(const QString &directory)
{
    createPrivateDirectory(directory);
    for (const QString &name : {DayFile, MonthFile, YearFile})
        if (!SharedFile::resolve(directory, name).isEmpty())
            throw EngineError(QStringLiteral("%1: tabela już istnieje w katalogu %2; nic nie zapisano")
                                  .arg(name, QDir::toNativeSeparators(directory)));
    const QDir dir(directory);
    DbfFile::create(dir.filePath(DayFile), dayFields());
    DbfFile::create(dir.filePath(MonthFile), monthFields());
    DbfFile::create(dir.filePath(YearFile), yearFields());
}

void createEmptyPlan(const QString &directory)
{
    if (!SharedFile::resolve(directory, PlanFile).isEmpty())
        throw EngineError(QStringLiteral("%1: tabela już istnieje w katalogu %2; nic nie zapisano")
                              .arg(PlanFile, QDir::toNativeSeparators(directory)));
    // Written under another name and renamed: a crash never leaves half a header where the program
    // looks for the plan.
    const QDir dir(directory);
    const QString part = dir.filePath(PlanFile + QStringLiteral(".nowy"));
    QFile::remove(part);
    DbfFile::create(part, planFields());
    const QByteArray from = QFile::encodeName(part), to = QFile::encodeName(dir.filePath(PlanFile));
    // link() refuses to replace a plan another program made meanwhile, where rename() would not;
    // a file system without hard links gets the rename after one more look.
    bool ok = ::link(from.constData(), to.constData()) == 0;
    int error = errno;
    if (!ok && (error == EPERM || error == ENOTSUP) && SharedFile::resolve(directory, PlanFile).isEmpty()) {
        ok = ::rename(from.constData(), to.constData()) == 0;
        error = errno;
    }
    QFile::remove(part);
    if (!ok)
        throw EngineError(QStringLiteral("Nie można utworzyć pliku %1 w katalogu %2: %3.")
                              .arg(PlanFile, QDir::toNativeSeparators(directory),
                                   QString::fromLocal8Bit(std::strerror(error))));
}

void setUpDayTable(Table &t)
{
    t.setTableName(DayFile);
    t.setIndexFieldName(QString::fromLatin1(DayRecord.day));
    t.setRequiredFields(dayRequirements());
}

void setUpMonthTable(Table &t)
{
    t.setTableName(MonthFile);
    t.setIndexFieldName(QString::fromLatin1(MonthRecord.id));
    t.setRequiredFields(monthRequirements());
}

void setUpYearTable(Table &t)
{
    t.setTableName(YearFile);
    t.setIndexFieldName(QString());
    t.setRequiredFields(yearRequirements());
}

} // namespace kw::ledger
