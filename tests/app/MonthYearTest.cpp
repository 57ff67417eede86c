#include "framework/Shape.h"
#include "tests/app/WindowFixture.h"

#include <QLabel>
#include <memory>

using kwtest::Workspace;

namespace {
const char *const MonthAmounts[] = {"SPRZYCH",  "SKOSZT",  "SKOSZTOKR", "DOCHOD",    "SOPLATY",
                                    "SZYWNOSC", "SUZYWKI", "SODZIEZ",   "SROZRYWKA", "SSAMOCH",
                                    "SINNE",    "WYDATKI", "ROZNICA"};
const char *const YearAmounts[] = {"RPRZYCH",  "RKOSZT",   "RKOSZTOKR", "RDOCHOD",   "ROPLATY",
                                   "RZYWNOSC", "RUZYWKI",  "RODZIEZ",   "RROZRYWKA", "RSAMOCH",
                                   "RINNE",    "RWYDATKI", "RROZNICA"};
} // namespace

class MonthYearTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Workspace> w;

    static TFormM *d() { return Workspace::dialog(); }
    static TForm1 *main() { return Workspace::main(); }

    static bool noTableOpen()
    {
        return !Workspace::day().active() && !Workspace::month().active() && !Workspace::year().active();
    }

private slots:
    void init() { w = std::make_unique<Workspace>(); }
    void cleanup() { w.reset(); }

    void startsOnTheCurrentMonthAndYear()
    {
        const QDate today = QDate::currentDate();
        QCOMPARE(d()->monthText(), QString::number(today.month()));
        QCOMPARE(d()->yearText(), QString::number(today.year()));
        for (int i = 0; i < 12; ++i)
            QCOMPARE(d()->RadioButton[i]->isChecked(), i + 1 == today.month());
        QVERIFY(!d()->Label1->isVisibleTo(d()));
        QVERIFY(d()->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(d()->windowTitle(), QStringLiteral("Miesiąc - Rok"));
        QCOMPARE(d()->size(), QSize(230, 261));
        QVERIFY(!d()->isVisible());
    }

    void monthTextHasNoLeadingZero()
    {
        d()->RadioButton[9]->click();
        QCOMPARE(d()->monthText(), QStringLiteral("10"));
        d()->RadioButton[2]->click();
        QCOMPARE(d()->monthText(), QStringLiteral("3"));
        QVERIFY(!d()->RadioButton[9]->isChecked());
    }

    // The first opening creates one month sum and one year sum with every amount 0; a second
    // month adds only its month sum; opening the same period again writes nothing.
    void openingCreatesTheMissingSumsOnce()
    {
        Workspace::open(3, "2004");
        QVERIFY(!d()->isVisible());
        QVERIFY(w->messages.isEmpty());
        QList<QVariantMap> months = w->records(kw::ledger::MonthFile);
        QList<QVariantMap> years = w->records(kw::ledger::YearFile);
        QCOMPARE(months.size(), 1);
        QCOMPARE(years.size(), 1);
        QCOMPARE(months[0]["SMIESIAC"].toString(), QStringLiteral("3"));
        QCOMPARE(months[0]["SROK"].toString(), QStringLiteral("2004"));
        QVERIFY2(months[0]["ID"].isNull(), "ID is never written");
        for (const char *f : MonthAmounts) {
            QVERIFY2(!months[0][f].isNull(), f);
            QCOMPARE(months[0][f].toDouble(), 0.0);
        }
        QCOMPARE(years[0]["RROK"].toString(), QStringLiteral("2004"));
        for (const char *f : YearAmounts) {
            QVERIFY2(!years[0][f].isNull(), f);
            QCOMPARE(years[0][f].toDouble(), 0.0);
        }
        QCOMPARE(main()->commandState(), CommandState::EmptyPeriod);
        QCOMPARE(main()->Shape1->brushColor(), QColor(0, 255, 0));
        QCOMPARE(main()->Shape2->brushColor(), QColor(0, 255, 0));
        QCOMPARE(main()->Label43->text(), QStringLiteral("2004"));
        QVERIFY(Workspace::day().filtered() && Workspace::month().filtered() && Workspace::year().filtered());

        Workspace::open(4, "2004");
        months = w->records(kw::ledger::MonthFile);
        QCOMPARE(months.size(), 2);
        QCOMPARE(months[1]["SMIESIAC"].toString(), QStringLiteral("4"));
        QCOMPARE(months[1]["SROK"].toString(), QStringLiteral("2004"));
        QCOMPARE(w->records(kw::ledger::YearFile).size(), 1);

        const QByteArray before = w->snapshot();
        Workspace::open(3, "2004");
        QCOMPARE(w->snapshot(), before);
        QCOMPARE(Workspace::month().fieldValue("SMIESIAC").toString(), QStringLiteral("3"));
    }

    void openingAPeriodWithDays()
    {
        Workspace::open(3, "2004");
        kw::ledger::AmountSet spend{};
        spend[3] = 250;
        Workspace::addDay(12, spend);
        Workspace::open(4, "2004");
        QCOMPARE(main()->commandState(), CommandState::EmptyPeriod);
        QCOMPARE(main()->Shape2->brushColor(), QColor(0, 255, 0));
        QCOMPARE(main()->Shape1->brushColor(), QColor(255, 0, 0)); // the year carries March
        Workspace::open(3, "2004");
        QCOMPARE(main()->commandState(), CommandState::PeriodWithDays);
        QCOMPARE(main()->Shape2->brushColor(), QColor(255, 0, 0));
        QCOMPARE(main()->DBGrid1->model()->rowCount(), 1);
        Workspace::render(main(), QStringLiteral("main-back-to-march"));
    }

    void cancelKeepsTheNewMonthAndOpensNothing()
    {
        Workspace::open(3, "2004");
        main()->ToolButton1Click();
        d()->RadioButton[4]->click();
        d()->Button2->click();
        QVERIFY(!d()->isVisible());
        QCOMPARE(d()->monthText(), QStringLiteral("5"));
        QVERIFY(noTableOpen());
        QCOMPARE(main()->commandState(), CommandState::NoPeriod);

        // The close box cancels the same way.
        main()->ToolButton1Click();
        QVERIFY(d()->isVisible());
        d()->close();
        QVERIFY(!d()->isVisible());
        QVERIFY(noTableOpen());

        main()->ToolButton1Click();
        d()->Button1->click();
        const QList<QVariantMap> months = w->records(kw::ledger::MonthFile);
        QCOMPARE(months.size(), 2);
        QCOMPARE(months[1]["SMIESIAC"].toString(), QStringLiteral("5"));
    }

    // A year text must be 1 to 5 decimal digits once the blanks around it are gone: anything longer
    // would be stored cut to five characters and never match its period, so every opening would
    // add another month sum and year sum.
    void yearTextIsCheckedBeforeAnythingOpens()
    {
        const QStringList refused{"200456", "",      "   ",   "20a4", "-204",
                                  "2 004",  "+2004", "2004.", "٢٠٠٤", "２００４"};
        const QByteArray before = w->snapshot();
        for (const QString &text : refused) {
            main()->ToolButton1Click();
            d()->Edit1->setText(text);
            d()->Button1->click();
            QCOMPARE(w->messages.size(), 1);
            const kw::MessageRequest m = w->messages.takeFirst();
            QCOMPARE(m.text, QStringLiteral("Wpisz rok cyframi (najwyżej 5 cyfr) !"));
            QCOMPARE(m.title, QStringLiteral("Kwotnik 2.1"));
            QCOMPARE(m.buttons, int(kw::Ok));
            QVERIFY2(d()->isVisible(), qPrintable(text));
            QVERIFY2(noTableOpen(), qPrintable(text));
            QCOMPARE(main()->commandState(), CommandState::NoPeriod);
        }
        QCOMPARE(w->snapshot(), before);

        // Blanks around the digits are dropped; the trimmed text is the year.
        d()->Edit1->setText(QStringLiteral("  2004 "));
        d()->Button1->click();
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(d()->yearText(), QStringLiteral("2004"));
        QCOMPARE(main()->Label43->text(), QStringLiteral("2004"));
        QCOMPARE(w->records(kw::ledger::MonthFile)[0]["SROK"].toString(), QStringLiteral("2004"));

        // Five digits are the most, and they open the same period again and again.
        for (int round = 0; round < 2; ++round)
            Workspace::open(1, "99999");
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(w->records(kw::ledger::MonthFile).size(), 2);
        QCOMPARE(w->records(kw::ledger::YearFile).size(), 2);
        QCOMPARE(Workspace::year().fieldValue("RROK").toString(), QStringLiteral("99999"));
        Workspace::open(1, "7");
        QCOMPARE(w->records(kw::ledger::YearFile).size(), 3);
    }

    // A table that cannot be opened ends the command with the engine's message; the dialog stays.
    void anEngineErrorKeepsTheDialogOpen()
    {
        QVERIFY(QFile::remove(QDir(w->tmp.path()).filePath(kw::ledger::MonthFile)));
        Workspace::open(3, "2004");
        QCOMPARE(w->messages.size(), 1);
        QVERIFY2(w->messages[0].text.contains(QStringLiteral("Suma"), Qt::CaseInsensitive),
                 qPrintable(w->messages[0].text));
        QVERIFY(d()->isVisible());
        QCOMPARE(main()->commandState(), CommandState::NoPeriod);
        QVERIFY(main()->Label43->text().isEmpty());
    }
};

QTEST_MAIN(MonthYearTest)
#include "MonthYearTest.moc"
