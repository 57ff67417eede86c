// "Raporty" > "Analiza wydatków" on the real windows: one window, on the open period, following the
// bookings made through the entry dialogs; the main window's status bar names a category that a
// booking has just put over its plan, once.
#include "WindowFixture.h"
#include "dialogs/Unit3.h"
#include "regional/Regional.h"
#include "ledger/Books.h"
#include "ledger/BudgetPlan.h"
#include "reports/AnalysisWindow.h"

#include <QComboBox>
#include <QTableWidget>

using namespace kwtest;

class AnalysisMenuTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Workspace> w;

    static void book(const QDate &day, const QStringList &amounts)
    {
        Workspace::pickDay(day);
        Workspace::typeAmounts(Workspace::add()->Edit, amounts);
        Workspace::add()->Button1->click();
    }
    static AnalysisWindow *analysis()
    {
        return Workspace::main()->findChild<AnalysisWindow *>(QStringLiteral("Analiza"));
    }

private slots:
    void init()
    {
        w = std::make_unique<Workspace>();
        Workspace::showMain();
    }
    void cleanup() { w.reset(); }

    void theMenuOpensOneWindowOnTheOpenPeriodThatFollowsTheBookings()
    {
        QVERIFY2(!analysis(), "made only when first asked for");
        Workspace::open(3, QStringLiteral("2004"));
        book(QDate(2004, 3, 5), {"2000", "0", "0", "0", "150"});
        QVERIFY(Workspace::main()->Analiza1->isEnabled());
        QCOMPARE(Workspace::main()->Analiza1->text(), QStringLiteral("Analiza wydatków"));
        Workspace::main()->Analiza1->trigger();
        AnalysisWindow *a = analysis();
        QVERIFY(a);
        QVERIFY(a->isVisible());
        QCOMPARE(a->period(), kw::ledger::Period::of(3, 2004));
        QCOMPARE(a->MonthTable->item(0, 0)->text(), QStringLiteral("Żywność"));
        QCOMPARE(a->MonthTable->item(0, 1)->text(), kw::regional::formatCurrency(150));

        // Booked through the add dialog while the window is open: it shows the new figures.
        Workspace::typeAmounts(Workspace::add()->Edit, {"0", "0", "0", "0", "0", "0", "0", "0", "400"});
        Workspace::add()->Button1->click();
        QCOMPARE(a->MonthTable->item(0, 0)->text(), QStringLiteral("Samochód"));

        // Asked again: the same window, as the user left it.
        a->NextButton->click();
        Workspace::main()->Analiza1->trigger();
        QCOMPARE(analysis(), a);
        QCOMPARE(Workspace::main()->findChildren<AnalysisWindow *>().size(), 1);
        QCOMPARE(a->period(), kw::ledger::Period::of(4, 2004));
        // Closed with Esc and asked again: back on the open period.
        QTest::keyClick(a, Qt::Key_Escape);
        QVERIFY(!a->isVisible());
        Workspace::main()->Analiza1->trigger();
        QCOMPARE(a->period(), kw::ledger::Period::of(3, 2004));
        w->render(a, QStringLiteral("analiza-z-menu"));
    }

    void aBookingPastThePlanIsNamedInTheStatusBarOnce()
    {
        {
            kw::ledger::Books books(w->dir());
            kw::ledger::PlanAmounts plan{};
            plan[4] = 200; // food
            plan[8] = 100; // car
            kw::ledger::savePlan(books, {{"2004", "", plan}});
        }
        Workspace::open(3, QStringLiteral("2004"));
        book(QDate(2004, 3, 5), {"2000", "0", "0", "0", "150"});
        QVERIFY(!Workspace::main()->statusHint().contains(QStringLiteral("plan")));
        Workspace::typeAmounts(Workspace::add()->Edit, {"0", "0", "0", "0", "75,5"});
        Workspace::add()->Button1->click();
        QCOMPARE(Workspace::main()->statusHint(),
                 QStringLiteral("Przekroczony plan na marzec 2004: Żywność (wydano %1 z planowanych %2)")
                     .arg(kw::regional::formatCurrency(225.5), kw::regional::formatCurrency(200)));
        QCOMPARE(Workspace::main()->lightColor(2), QColor(0, 255, 0)); // the lights stay as they were

        // More food is no news; the car going over is.
        Workspace::main()->HintPanel->clear();
        Workspace::typeAmounts(Workspace::add()->Edit, {"0", "0", "0", "0", "10"});
        Workspace::add()->Button1->click();
        QCOMPARE(Workspace::main()->statusHint(), QString());
        Workspace::typeAmounts(Workspace::add()->Edit, {"0", "0", "0", "0", "0", "0", "0", "0", "120"});
        Workspace::add()->Button1->click();
        QVERIFY(Workspace::main()->statusHint().contains(QStringLiteral("Samochód (wydano")));
        QVERIFY(!Workspace::main()->statusHint().contains(QStringLiteral("Żywność")));

        // Opening the month again tells nothing: no booking put anything over.
        Workspace::main()->HintPanel->clear();
        Workspace::open(3, QStringLiteral("2004"));
        QCOMPARE(Workspace::main()->statusHint(), QString());
    }
};

QTEST_MAIN(AnalysisMenuTest)
#include "AnalysisMenuTest.moc"
