#include "import/Rules.h"

#include "import/ImportError.h"
#include "import/TextTools.h"

#include "ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cstring>

namespace kw::import {

namespace {

// The marker under which remembered rules go, above the built-in ones.
const QString OwnRulesMarker = QStringLiteral("# Własne reguły");

bool isRuleLine(const QString &line)
{
    const QString t = line.trimmed();
    return !t.isEmpty() && !t.startsWith(QLatin1Char('#'));
}

void writeFile(const QString &path, const QString &text)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
        f.write(text.toUtf8()) < 0 || !f.commit()) {
        ImportError e(ImportError::Kind::Unwritable, f.errorString());
        e.setFile(path, QString());
        throw e;
    }
}

// The text of the folder's rules file, the built-in one written first when there is none.
QString rulesText(const QString &directory, bool write = true)
{
    const QString path = QDir(directory).filePath(RulesFile);
    QFile f(path);
    if (!f.exists()) {
        const QString text = Rules::builtInText();
        if (write)
            writeFile(path, text);
        return text;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        ImportError e(ImportError::Kind::Unreadable, f.errorString());
        e.setFile(path, QString());
        throw e;
    }
    return QString::fromUtf8(f.readAll());
}

} // namespace

namespace {

// The day list's column titles by the day field they stand for.
struct Label
{
    const char *field;
    const char *label;
};
constexpr Label Labels[] = {
    {"PRZYCHOD", "Przychód"}, {"KOSZT", "Koszt"},   {"KOSZTOKR", "Koszt okr."}, {"OPLATY", "Opłaty"},
    {"ZYWNOSC", "Żywność"},   {"UZYWKI", "Używki"}, {"ODZIEZ", "Odzież"},       {"ROZRYWKA", "Śr.czystości"},
    {"SAMOCH", "Samochód"},   {"INNE", "Inne"},
};

const QStringList &labels()
{
    static const QStringList out = [] {
        QStringList l;
        for (const ledger::Category &c : ledger::Categories) {
            const auto it = std::find_if(std::begin(Labels), std::end(Labels),
                                         [&](const Label &x) { return std::strcmp(x.field, c.day) == 0; });
            l << (it != std::end(Labels) ? QString::fromUtf8(it->label) : QString::fromLatin1(c.day));
        }
        return l;
    }();
    return out;
}

} // namespace

int categoryForLabel(QStringView label)
{
    const QString wanted = fold(label);
    for (int i = 0; i < labels().size(); ++i)
        if (fold(labels()[i]) == wanted)
            return i;
    return -1;
}

QString categoryLabel(int category)
{
    return labels().value(category);
}

Amount bookedAmount(const Transaction &t, int category)
{
    return category == IncomeCategory ? t.amount : -t.amount;
}

QString Rules::builtInText()
{
    return QStringLiteral(
        "# Reguły kategorii dla importu wyciągów bankowych.\n"
        "# Jedna reguła w wierszu: „Kategoria: słowo, słowo, ...”. Kategorie to tytuły kolumn listy dni:\n"
        "# Przychód, Koszt, Koszt okr., Opłaty, Żywność, Używki, Odzież, Śr.czystości, Samochód, Inne.\n"
        "# Słowa porównuje się z nazwą kontrahenta i z tytułem operacji, całymi wyrazami, bez względu\n"
        "# na wielkość liter i polskie znaki. Wygrywa pierwsza pasująca reguła, dlatego własne reguły\n"
        "# wpisuj nad wbudowanymi.\n"
        "# Reguła „Przychód” dotyczy wpływów, każda inna wydatków. Wpływ od kontrahenta z reguły wydatku\n"
        "# to zwrot: odejmuje się od kategorii tej reguły. „*” oznacza każdą operację tej strony.\n"
        "\n"
        "# Własne reguły (okno importu dopisuje tu reguły zapamiętane jednym kliknięciem):\n"
        "\n"
        "# Reguły wbudowane:\n"
        "Żywność: Biedronka, Lidl, Żabka, Kaufland, Auchan, Carrefour, Netto, Dino, Stokrotka, Lewiatan\n"
        "Samochód: Orlen, BP, Shell, Circle K, Moya, Lotos, Amic\n"
        "Opłaty: PGE, Tauron, Enea, Energa, PGNiG, Orange, Play, T-Mobile, Plus, Netia, UPC, Vectra, czynsz, "
        "wspólnota, spółdzielnia\n"
        "Śr.czystości: Rossmann, Hebe, Drogeria Natura\n"
        "Odzież: Reserved, CCC, H&M, Zara, Pepco, Sinsay, Cropp, House, Mohito, Deichmann\n"
        "Przychód: *\n"
        "Inne: *\n");
}

void Rules::add(int category, const QStringList &words, int line)
{
    const int index = int(rules_.size());
    rules_.push_back({category, words, line});
    for (const QString &w : words) {
        const QString f = fold(w);
        if (f == QLatin1String("*")) {
            int &any = category == IncomeCategory ? anyCredit_ : anyDebit_;
            if (any < 0)
                any = index;
            continue;
        }
        qsizetype end = 0;
        while (end < f.size() && isWordChar(f[end]))
            ++end;
        if (end == 0)
            unindexed_.push_back({f, index});
        else
            byFirstWord_[f.left(end)].push_back({f, index});
    }
}

Rules Rules::parse(const QString &text, QStringList *problems)
{
    Rules r;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (!isRuleLine(line))
            continue;
        auto problem = [&](const QString &what) {
            if (problems)
                problems->append(QStringLiteral("%1, wiersz %2: %3").arg(RulesFile).arg(i + 1).arg(what));
        };
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0) {
            problem(QStringLiteral("brak dwukropka po nazwie kategorii"));
            continue;
        }
        const int category = categoryForLabel(QStringView(line).left(colon));
        if (category < 0) {
            problem(QStringLiteral("nieznana kategoria „%1”").arg(line.left(colon).trimmed()));
            continue;
        }
        QStringList words;
        for (const QString &w : line.mid(colon + 1).split(QLatin1Char(',')))
            if (!w.trimmed().isEmpty())
                words << w.trimmed();
        if (words.isEmpty()) {
            problem(QStringLiteral("reguła bez słów"));
            continue;
        }
        r.add(category, words, i + 1);
    }
    return r;
}

Rules Rules::load(const QString &directory, QStringList *problems, bool write)
{
    try {
        return parse(rulesText(directory, write), problems);
    } catch (const ImportError &e) {
        if (problems)
            problems->append(e.message());
        return parse(builtInText());
    }
}

void Rules::remember(const QString &directory, int category, const QString &word)
{
    QString clean = word.simplified();
    clean.remove(QLatin1Char(','));
    if (clean.isEmpty() || categoryLabel(category).isEmpty())
        return;
    QStringList lines = rulesText(directory).split(QLatin1Char('\n'));
    const QString rule = categoryLabel(category) + QLatin1String(": ") + clean;
    // Under the marker of the user's own rules when the file still has it, else above every rule.
    qsizetype at = -1;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].trimmed().startsWith(OwnRulesMarker)) {
            at = i + 1;
            break;
        }
    if (at < 0) {
        at = lines.size();
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (isRuleLine(lines[i])) {
                at = i;
                break;
            }
    }
    lines.insert(at, rule);
    writeFile(QDir(directory).filePath(RulesFile), lines.join(QLatin1Char('\n')));
}

template <typename Accept> int Rules::firstMatch(const QString &text, Accept accepts) const
{
    int best = -1;
    auto consider = [&](const Keyword &k, qsizetype at) {
        if (best >= 0 && k.rule >= best)
            return;
        if (!QStringView(text).mid(at).startsWith(k.folded))
            return;
        const qsizetype end = at + k.folded.size();
        // The keyword ends a word: what follows is no letter or digit (or the keyword itself ends
        // in one that is not).
        if (end < text.size() && isWordChar(text[end]) && isWordChar(k.folded.back()))
            return;
        if (accepts(k.rule))
            best = k.rule;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (!isWordChar(text[i])) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && isWordChar(text[end]))
            ++end;
        const auto it = byFirstWord_.constFind(text.mid(i, end - i));
        if (it != byFirstWord_.cend())
            for (const Keyword &k : *it)
                consider(k, i);
        i = end;
    }
    for (const Keyword &k : unindexed_) {
        for (qsizetype at = text.indexOf(k.folded); at >= 0; at = text.indexOf(k.folded, at + 1)) {
            if (at > 0 && isWordChar(text[at - 1]) && isWordChar(k.folded.front()))
                continue;
            consider(k, at);
        }
    }
    return best;
}

Rules::Match Rules::categorise(const Transaction &t) const
{
    const bool credit = t.amount > 0;
    const QString counterparty = fold(t.counterparty);
    const QString title = fold(t.title);
    auto income = [&](int r) { return rules_[std::size_t(r)].category == IncomeCategory; };

    int best = -1;
    auto keep = [&](int r) {
        if (r >= 0 && (best < 0 || r < best))
            best = r;
    };
    if (credit) {
        // Income rules on either text; any other rule only by the counterparty, as a refund.
        keep(firstMatch(counterparty, [](int) { return true; }));
        keep(firstMatch(title, income));
        keep(anyCredit_);
    } else {
        auto expense = [&](int r) { return !income(r); };
        keep(firstMatch(counterparty, expense));
        keep(firstMatch(title, expense));
        keep(anyDebit_);
    }
    Match m;
    if (best < 0) {
        m.category = credit ? IncomeCategory : OtherCategory;
        return m;
    }
    m.rule = best;
    m.category = rules_[std::size_t(best)].category;
    m.refund = credit && m.category != IncomeCategory;
    return m;
}

} // namespace kw::import
