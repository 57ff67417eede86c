#include "dialogs/Unit2.h"
#include "dialogs/Unit3D.h"
#include "export/ExportWindow.h"
#include "framework/ComboEdit.h"
#include "framework/FileDialogs.h"
#include "framework/Hints.h"
#include "regional/Regional.h"
#include "framework/Shape.h"
#include "tests/app/WindowFixture.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <memory>

using kwtest::Workspace;

namespace {
const QColor Red(255, 0, 0);
const QColor Lime(0, 255, 0);

kw::ledger::AmountSet amounts(double income, double food)
{
    kw::ledger::AmountSet a{};
    a[0] = income;
    a[4] = food;
    return a;
}
} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Workspace> w;

    static TForm1 *main() { return Workspace::main(); }

    // What each state must enable, checked on every control the state decides.
    void expectState(CommandState s, const char *where)
    {
        TForm1 *m = main();
        const bool period = s != CommandState::NoPeriod, days = s == CommandState::PeriodWithDays;
        QVERIFY2(m->commandState() == s, where);
        QVERIFY2(m->ToolButton2->isEnabled() == period, where);
        for (QToolButton *b :
             {m->ToolButton3, m->ToolButton4, m->ToolButton5, m->ToolButton6, m->ToolButton7, m->ToolButton8})
            QVERIFY2(b->isEnabled() == days,
                     qPrintable(QStringLiteral("%1: %2").arg(where, b->objectName())));
        for (QMenu *menu : {m->Edycja1, m->Raporty1})
            QVERIFY2(menu->menuAction()->isEnabled() == days, where);
        // Always at hand.
        for (QWidget *c : std::initializer_list<QWidget *>{m->ToolButton1, m->ToolButton9, m->ToolButton10,
                                                           m->ToolButton11, m->ComboEdit1})
            QVERIFY2(c->isEnabled(), where);
        for (QMenu *menu : {m->Dane1, m->Kalkulatory1, m->Pomoc1})
            QVERIFY2(menu->menuAction()->isEnabled(), where);
    }

    int storedDays() const { return int(w->records(kw::ledger::DayFile).size()); }

private slots:
    void init() { w = std::make_unique<Workspace>(); }
    void cleanup() { w.reset(); }

    void layoutFollowsTheFixedWindow()
    {
        Workspace::showMain();
        TForm1 *m = main();
        QCOMPARE(m->ToolBar1->height(), 33);
        QCOMPARE(m->Panel2->height(), 57);
        QCOMPARE(m->Panel2->width(), 602);
        QCOMPARE(m->StatusBar1->height(), 24);
        QCOMPARE(m->DBGrid1->geometry(), QRect(0, 57, 118, 308));
        QCOMPARE(m->Panel5->geometry(), QRect(118, 57, 160, 308));
        QCOMPARE(m->Panel4->geometry(), QRect(278, 57, 160, 308));
        QCOMPARE(m->Panel3->geometry(), QRect(438, 57, 164, 308));
        // The client area under the menu is 602 by 422 and cannot be resized.
        QCOMPARE(m->width(), 602);
        QCOMPARE(m->height() - m->menuBar()->height(), 422);
        QCOMPARE(m->minimumSize(), m->maximumSize());

        // The tool bar's controls in order, each with its tooltip, none squeezed by the bar.
        const QList<QPair<QWidget *, QString>> order{
            {m->ToolButton1, "Miesiąc / Rok"},
            {m->ToolButton2, "Dzień"},
            {m->ToolButton3, "Dodaj / Odejmij"},
            {m->ToolButton4, "Zmień"},
            {m->ToolButton5, "Usuń"},
            {m->ToolButton6, "Zestawienie miesięczne"},
            {m->ToolButton7, "Zestawienie roczne"},
            {m->ToolButton8, "Zestawienie wieloletnie"},
            {m->ComboEdit1, "Kalkulator"},
            {m->ToolButton10, "Kalkulator bankowy"},
            {m->ToolButton9, "Notatnik"},
            {m->ToolButton11, "Pomoc"},
            {m->Panel1, ""},
        };
        int right = 0;
        for (const auto &[c, tip] : order) {
            QVERIFY2(c->isVisible(), qPrintable(c->objectName()));
            QVERIFY2(c->x() > right, qPrintable(c->objectName()));
            QCOMPARE(c->toolTip(), tip);
            right = c->geometry().right();
        }
        QVERIFY2(right < 602, "the clock lies inside the window");
        QCOMPARE(m->ComboEdit1->width(), 129);
        QCOMPARE(m->ComboEdit1->text(), QStringLiteral("0"));
        QCOMPARE(m->Panel1->size(), QSize(80, 22));
        QVERIFY(!m->ToolButton1->icon().isNull());

        const QStringList labels{"Dzień",  "Przychód", "Koszt",        "Koszt okr.", "Opłaty", "Żywność",
                                 "Używki", "Odzież",   "Śr.czystości", "Samochód",   "Inne",   "UWAGI"};
        QStringList shown;
        for (int i = 0; i < m->DBGrid1->model()->columnCount(); ++i)
            shown << m->DBGrid1->model()->headerData(i, Qt::Horizontal).toString();
        QCOMPARE(shown, labels);
    }

    // A label that is cut off or runs into another is a defect; large amounts included.
    void noLabelIsCutOff()
    {
        Workspace::showMain();
        Workspace::open(3, "2004");
        kw::ledger::AmountSet big{};
        big.fill(-123456.78);
        Workspace::addDay(28, big, QStringLiteral("Zakupy na cały tydzień"));
        main()->setCommandState(CommandState::PeriodWithDays);
        main()->setYearLabel(QStringLiteral("99999"));
        QApplication::processEvents();
        Workspace::render(main(), QStringLiteral("main-large-amounts"));
        for (QLabel *l : main()->findChildren<QLabel *>()) {
            if (!l->isVisibleTo(main()) || l->text().isEmpty() || l == main()->HintPanel)
                continue;
            const int need = l->fontMetrics().horizontalAdvance(l->text());
            QVERIFY2(need <= l->contentsRect().width(),
                     qPrintable(QStringLiteral("%1 '%2' needs %3 px, has %4")
                                    .arg(l->objectName(), l->text())
                                    .arg(need)
                                    .arg(l->contentsRect().width())));
            QVERIFY2(l->fontMetrics().height() <= l->contentsRect().height() + 2,
                     qPrintable(l->objectName()));
        }
        // Siblings never overlap.
        for (QWidget *parent : main()->findChildren<QWidget *>()) {
            QList<QLabel *> kids = parent->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
            for (int i = 0; i < kids.size(); ++i)
                for (int j = i + 1; j < kids.size(); ++j)
                    if (kids[i]->isVisibleTo(main()) && kids[j]->isVisibleTo(main()))
                        QVERIFY2(!kids[i]->geometry().intersects(kids[j]->geometry()),
                                 qPrintable(kids[i]->objectName() + " / " + kids[j]->objectName()));
        }
    }

    void commandStatesFollowThePeriod()
    {
        Workspace::showMain();
        TForm1 *m = main();
        expectState(CommandState::NoPeriod, "start");
        Workspace::render(m, QStringLiteral("main-no-period"));

        Workspace::open(3, "2004");
        QVERIFY(!Workspace::dialog()->isVisible());
        expectState(CommandState::EmptyPeriod, "empty period");
        Workspace::showMain();
        Workspace::render(m, QStringLiteral("main-empty-period"));
        // Ctrl+N and Del belong to the disabled "Edycja" menu: nothing happens.
        QTest::keyClick(m, Qt::Key_N, Qt::ControlModifier);
        QVERIFY(!kw::forms().form3D()->isVisible());
        QTest::keyClick(m, Qt::Key_Delete);
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(w->beeps, 0);

        Workspace::addDay(5, amounts(100, 0));
        Workspace::addDay(9, amounts(0, 40));
        Workspace::open(3, "2004");
        expectState(CommandState::PeriodWithDays, "period with days");
        Workspace::showMain();
        Workspace::render(m, QStringLiteral("main-period-with-days"));
        QTest::keyClick(m, Qt::Key_N, Qt::ControlModifier);
        QVERIFY(kw::forms().form3D()->isVisible());

        // The open-period command closes the new-day dialog and every table and empties the
        // period's displays; the menus go with the buttons.
        m->Otworz1->trigger();
        QVERIFY(!kw::forms().form3D()->isVisible());
        QVERIFY(Workspace::dialog()->isVisible());
        expectState(CommandState::NoPeriod, "open-period command");
        Workspace::render(m, QStringLiteral("main-after-open-period-command"));
        Workspace::render(Workspace::dialog(), QStringLiteral("month-year-dialog"));
        QVERIFY(!Workspace::day().active() && !Workspace::month().active() && !Workspace::year().active());
        QVERIFY(m->Label43->text().isEmpty());
        QVERIFY(m->MonthHeading->text().isEmpty());
        QVERIFY(m->DayHeading->text().isEmpty());
        QCOMPARE(m->DBGrid1->model()->rowCount(), 0);
        Workspace::dialog()->Button1->click();
        Workspace::showMain();

        // Deleting the first of two keeps the days; deleting the last empties the period.
        w->answer = kw::Yes;
        m->ToolButton5->click();
        expectState(CommandState::PeriodWithDays, "one day left");
        QCOMPARE(m->DBGrid1->model()->rowCount(), 1);
        QTest::keyClick(m->DBGrid1, Qt::Key_Delete);
        expectState(CommandState::EmptyPeriod, "last day deleted");
        QCOMPARE(storedDays(), 0);
        QCOMPARE(w->beeps, 2);
    }

    // Del in the number box asks to delete in a period with days and otherwise does nothing; the
    // box never loses a character to it.
    void delInTheNumberBox()
    {
        Workspace::showMain();
        TForm1 *m = main();
        const auto pressDel = [&] {
            m->ComboEdit1->setFocus();
            m->ComboEdit1->setText(QStringLiteral("123"));
            m->ComboEdit1->setCursorPosition(0);
            QTest::keyClick(m->ComboEdit1, Qt::Key_Delete);
            QCOMPARE(m->ComboEdit1->text(), QStringLiteral("123"));
        };
        pressDel();
        QVERIFY(w->messages.isEmpty());

        Workspace::open(3, "2004");
        Workspace::showMain();
        pressDel();
        QVERIFY(w->messages.isEmpty());

        Workspace::addDay(5, amounts(100, 0));
        Workspace::open(3, "2004");
        Workspace::showMain();
        w->answer = kw::No;
        pressDel();
        QCOMPARE(w->texts(), QStringList{QStringLiteral("Czy na pewno usunąć zaznaczony rekord ???")});
        QCOMPARE(storedDays(), 1);
    }

    void deleteAnsweredNoAndYes()
    {
        TForm1 *m = main();
        Workspace::open(3, "2004");
        Workspace::addDay(5, amounts(100, 0));
        Workspace::addDay(9, amounts(0, 140)); // the month and the year go below zero
        Workspace::open(3, "2004");
        Workspace::day().last();
        QCOMPARE(m->lightColor(2), Red);
        QCOMPARE(m->Shape2->brushColor(), Red);

        w->answer = kw::No;
        const QByteArray before = w->snapshot();
        m->ToolButton5Click();
        QCOMPARE(w->beeps, 1);
        QCOMPARE(w->messages.size(), 1);
        const kw::MessageRequest q = w->messages.first();
        QCOMPARE(q.title, QStringLiteral("Pytanie"));
        QCOMPARE(q.text, QStringLiteral("Czy na pewno usunąć zaznaczony rekord ???"));
        QCOMPARE(q.icon, kw::MsgIcon::Question);
        QCOMPARE(q.buttons, kw::Yes | kw::No);
        QCOMPARE(w->snapshot(), before);
        QCOMPARE(m->commandState(), CommandState::PeriodWithDays);

        // Yes takes the day out of both sums and the lights follow at once.
        w->answer = kw::Yes;
        m->ToolButton5Click();
        QCOMPARE(w->beeps, 2);
        QCOMPARE(storedDays(), 1);
        QCOMPARE(Workspace::month().fieldValue("ROZNICA").toDouble(), 100.0);
        QCOMPARE(Workspace::year().fieldValue("RROZNICA").toDouble(), 100.0);
        QCOMPARE(m->Shape2->brushColor(), Lime);
        QCOMPARE(m->Shape1->brushColor(), Lime);
        QCOMPARE(m->valueLabel("ROZNICA")->text(), kw::regional::formatCurrency(100));
        QCOMPARE(m->commandState(), CommandState::PeriodWithDays);
    }

    void lightsAtZeroAndAroundIt()
    {
        TForm1 *m = main();
        Workspace::open(3, "2004");
        const auto setBalances = [&](const QVariant &monthValue, const QVariant &yearValue) {
            Workspace::month().edit();
            Workspace::month().setFieldValue("ROZNICA", monthValue);
            Workspace::month().post();
            Workspace::year().edit();
            Workspace::year().setFieldValue("RROZNICA", yearValue);
            Workspace::year().post();
            m->refreshLights();
        };
        setBalances(-0.01, 0.01);
        QCOMPARE(m->Shape2->brushColor(), Red);
        QCOMPARE(m->Shape1->brushColor(), Lime);
        setBalances(0.0, -0.01);
        QCOMPARE(m->Shape2->brushColor(), Lime);
        QCOMPARE(m->Shape1->brushColor(), Red);
        setBalances(0.01, 0.0);
        QCOMPARE(m->Shape2->brushColor(), Lime);
        QCOMPARE(m->Shape1->brushColor(), Lime);
        // A blank balance counts as below zero.
        setBalances(QString(), QString());
        QVERIFY(Workspace::month().fieldValue("ROZNICA").isNull());
        QCOMPARE(m->Shape2->brushColor(), Red);
        QCOMPARE(m->Shape1->brushColor(), Red);
        // The open-period command leaves the lights as they are.
        m->ToolButton1Click();
        QCOMPARE(m->Shape2->brushColor(), Red);
        QCOMPARE(m->lightColor(1), Red);
    }

    void statusHintsFollowThePointer()
    {
        Workspace::showMain();
        TForm1 *m = main();
        const auto over = [&](QWidget *target, QPoint at = QPoint(-1, -1)) {
            if (at.x() < 0)
                at = target->rect().center();
            // Through the window system, so the move reaches the control under the pointer.
            QTest::mouseMove(m->windowHandle(), target->mapTo(m, at));
            QApplication::processEvents();
            // The longest hint still fits the status bar.
            QVERIFY(m->HintPanel->fontMetrics().horizontalAdvance(m->statusHint()) <=
                    m->HintPanel->contentsRect().width());
        };
        QVERIFY(m->statusHint().isEmpty());
        over(m->GroupBox2, QPoint(3, 30));
        QCOMPARE(m->statusHint(), QStringLiteral("Na bieżąco aktualizowane roczne zestawienie"));
        QCOMPARE(kw::hints().hint(), m->statusHint());
        // The day list and the values inside a box leave the text alone.
        over(m->DBGrid1);
        QCOMPARE(m->statusHint(), QStringLiteral("Na bieżąco aktualizowane roczne zestawienie"));
        over(m->GroupBox1, QPoint(3, 100));
        QCOMPARE(m->statusHint(), QStringLiteral("Roczne zestawienie wydatków."));
        over(m->valueLabel("SPRZYCH"));
        QCOMPARE(m->statusHint(), QStringLiteral("Roczne zestawienie wydatków."));
        over(m->Panel3, QPoint(2, 2));
        QCOMPARE(m->statusHint(), QStringLiteral("Dzienne zestawienie wydatków."));
        over(m->Shape1);
        QCOMPARE(
            m->statusHint(),
            QStringLiteral("Stan budżetu w skali roku (zielony - budżet dodatni, czerwony - budżet ujemny)"));
        // The summary band's own surface clears it.
        over(m->Panel2, QPoint(516, 20));
        QVERIFY(m->statusHint().isEmpty());
        QVERIFY(kw::hints().hint().isEmpty());

        over(m->ToolButton1);
        QCOMPARE(m->statusHint(),
                 QStringLiteral("Przycisk otwiera okno dialogowe umożliwiające wybranie roku i miesiąca"));
        // A disabled button leaves the text unchanged.
        QVERIFY(!m->ToolButton5->isEnabled());
        over(m->ToolButton5);
        QCOMPARE(m->statusHint(),
                 QStringLiteral("Przycisk otwiera okno dialogowe umożliwiające wybranie roku i miesiąca"));
        over(m->ComboEdit1, QPoint(20, 10));
        QCOMPARE(m->statusHint(), QStringLiteral("Przycisk otwiera okno zawierające kalkulator"));
        over(m->Panel1);
        QCOMPARE(m->statusHint(), QStringLiteral("Aktualny czas"));
        m->setCommandState(CommandState::PeriodWithDays);
        over(m->ToolButton3);
        QCOMPARE(m->statusHint(),
                 QStringLiteral(
                     "Przycisk otwiera okno dialogowe umożliwiające dodanie nowych dochodów i wydatków"));
        m->Timer1Timer();
        Workspace::render(m, QStringLiteral("main-hint"));
        over(m->ToolButton5);
        QCOMPARE(m->statusHint(), QStringLiteral("Przycisk usuwa zaznaczony wpis z bazy danych"));
    }

    // The displays follow the tables: the list, the headings, the three boxes and the band.
    void displaysFollowTheTables()
    {
        TForm1 *m = main();
        Workspace::open(3, "2004");
        Workspace::addDay(5, amounts(1234.5, 0), QStringLiteral("Pensja"));
        Workspace::addDay(9, amounts(0, 40));
        Workspace::open(3, "2004");
        QCOMPARE(m->Label43->text(), QStringLiteral("2004"));
        QCOMPARE(m->MonthHeading->text(), QStringLiteral("3"));
        QCOMPARE(m->DayHeading->text(), QStringLiteral("5"));
        QCOMPARE(m->DBGrid1->model()->rowCount(), 2);
        QCOMPARE(m->DBGrid1->model()->index(0, 1).data().toString(), kw::regional::formatCurrency(1234.5));
        QCOMPARE(m->valueLabel("PRZYCHOD")->text(), kw::regional::formatCurrency(1234.5));
        QCOMPARE(m->DBMemo1->toPlainText(), QStringLiteral("Pensja"));
        QVERIFY(m->DBMemo1->isReadOnly());
        QCOMPARE(m->valueLabel("SPRZYCH")->text(), kw::regional::formatCurrency(1234.5));
        QCOMPARE(m->valueLabel("RWYDATKI")->text(), kw::regional::formatCurrency(40));
        QCOMPARE(m->findChild<kw::DBText *>("DBTextTotalRROZNICA")->text(),
                 kw::regional::formatCurrency(1194.5));

        // Choosing a row makes it the current day entry everywhere.
        m->DBGrid1->selectRow(1);
        QCOMPARE(m->DayHeading->text(), QStringLiteral("9"));
        QCOMPARE(m->valueLabel("ZYWNOSC")->text(), kw::regional::formatCurrency(40));
        QVERIFY(m->DBMemo1->toPlainText().isEmpty());
    }

    // "Zmień" shows the change window with the day entry in plain regional numbers.
    void changeCommandFillsTheBoxes()
    {
        TForm1 *m = main();
        Workspace::open(3, "2004");
        Workspace::addDay(17, amounts(1234.5, 0.25));
        Workspace::open(3, "2004");
        m->Zmien1->trigger();
        TForm2 *c = kw::forms().form2();
        QVERIFY(c->isVisible());
        QCOMPARE(c->EditD->text(), QStringLiteral("17"));
        QCOMPARE(c->Edit[0]->text(), QStringLiteral("1234,5"));
        QCOMPARE(c->Edit[1]->text(), QStringLiteral("0"));
        QCOMPARE(c->Edit[4]->text(), QStringLiteral("0,25"));
        QVERIFY(w->messages.isEmpty());
    }

    // "Dane" > "Eksportuj…" opens one window "Eksport" on the open period, after the remark being
    // typed in the day list has reached the file, and it writes that remark out.
    void exportCommandOpensOnTheOpenPeriodWithWhatWasTyped()
    {
        TForm1 *m = main();
        QVERIFY(m->Dane1->actions().contains(m->Eksportuj1));
        QCOMPARE(m->Eksportuj1->text(), QStringLiteral("Eksportuj…"));
        Workspace::open(11, "2004");
        Workspace::addDay(17, amounts(1234.5, 0.25));
        Workspace::day().edit();
        Workspace::day().setFieldValue("UWAGI", QStringLiteral("Zakupy; „Biedronka”"));

        m->Eksportuj1->trigger();
        auto *e = m->findChild<kw::sheets::ExportWindow *>(QStringLiteral("Eksport"));
        QVERIFY(e);
        QVERIFY(e->isVisible());
        QCOMPARE(e->monthBox->currentText(), QStringLiteral("listopad"));
        QCOMPARE(e->yearBox->currentText(), QStringLiteral("2004"));
        QCOMPARE(w->records(kw::ledger::DayFile).value(0).value("UWAGI").toString().trimmed(),
                 QStringLiteral("Zakupy; „Biedronka”"));
        Workspace::render(e, QStringLiteral("Eksport"));

        const QString file = QDir(w->dir()).filePath(QStringLiteral("listopad.csv"));
        kw::setFileDialogHandler([&](const kw::FileDialogRequest &) {
            kw::FileDialogAnswer a;
            a.accepted = true;
            a.path = file;
            return a;
        });
        e->exportButton->click();
        kw::setFileDialogHandler(nullptr);
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->texts().join('\n')));
        QVERIFY(w->file(QStringLiteral("listopad.csv")).contains("2004;11;17;1234,50;"));
        QVERIFY(w->file(QStringLiteral("listopad.csv")).contains("\"Zakupy; „Biedronka”\""));

        // Asked again, the same window comes back.
        e->close();
        m->Eksportuj1->trigger();
        QCOMPARE(m->findChildren<kw::sheets::ExportWindow *>().size(), 1);
        QVERIFY(e->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
