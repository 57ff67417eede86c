#pragma once

#include "import/Transaction.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace kw::import {

// Categories are the ten of the ledger (kw::ledger::Categories), by index; the user names them by
// the day list's column titles.
inline constexpr int IncomeCategory = 0; // "Przychód"
inline constexpr int OtherCategory = 9;  // "Inne"
// The category a title names ("Żywność", "zywnosc", "ŚR.CZYSTOŚCI"), or -1.
int categoryForLabel(QStringView label);
QString categoryLabel(int category);

// What a transaction adds to its category's field: income counts credits up and debits down;
// every other category (costs and expenses) counts debits up, so a refund comes off it.
Amount bookedAmount(const Transaction &t, int category);

// The rules file of the data folder.
inline const QString RulesFile = QStringLiteral("Reguly.txt");

// The categories the user's rules give to transactions. One rule a line, "Kategoria: słowo, słowo";
// words match whole words of the counterparty and the title whatever their case and diacritics;
// the first rule that applies wins. A rule of income applies to credits; any other rule to debits,
// and to a credit whose counterparty it names (a refund). "*" is any transaction of the rule's side.
class Rules
{
public:
    struct Match
    {
        int category = OtherCategory;
        int rule = -1;       // index into rules(); -1: nothing applied, the side's default
        bool refund = false; // a credit put into a category other than income
    };
    struct Rule
    {
        int category;
        QStringList words; // as written
        int line;          // in the file, 1-based; 0 for rules not read from one
    };

    Rules() = default;
    // Lines that cannot be read are named in `problems` ("wiersz N: ...") and left out.
    static Rules parse(const QString &text, QStringList *problems = nullptr);
    // The text written into a data folder that has no rules file yet.
    static QString builtInText();
    // The data folder's rules; the built-in ones are written into the folder first when it has
    // none (unless `write` is false: a trial that writes nothing). A file that cannot be read or
    // written is named in `problems`, and the built-in rules are used.
    static Rules load(const QString &directory, QStringList *problems = nullptr, bool write = true);
    // Adds "Kategoria: word" above every rule of the folder's file (so it wins over the built-in
    // ones), writing the built-in ones first when the folder has none. Throws ImportError
    // (Unwritable) naming the file.
    static void remember(const QString &directory, int category, const QString &word);

    Match categorise(const Transaction &t) const;
    const std::vector<Rule> &rules() const { return rules_; }

private:
    void add(int category, const QStringList &words, int line);

    struct Keyword
    {
        QString folded;
        int rule;
    };
    std::vector<Rule> rules_;
    QHash<QString, std::vector<Keyword>> byFirstWord_; // keyed by the keyword's first folded word
    std::vector<Keyword> unindexed_;                   // keywords that do not start with a letter or digit
    int anyCredit_ = -1;                               // the first "*" rule of each side
    int anyDebit_ = -1;

    // The first rule (lowest index) whose keyword is a whole word of the folded text and that
    // `accepts`; -1 when none.
    template <typename Accept> int firstMatch(const QString &folded, Accept accepts) const;
};

} // namespace kw::import
