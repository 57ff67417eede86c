#include "dialogs/EntryDialog.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit3D.h"
#include "framework/FileDialogs.h"
#include "framework/Hints.h"
#include "regional/Regional.h"
#include "ledger/DiskIo.h"
#include "tests/app/WindowFixture.h"
#include "tools/calculators/UnitKalk.h"
#include "tools/notepad/UnitNotatnik.h"

#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <memory>

using kwtest::Workspace;

class EverydayTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Workspace> w;

    static TForm1 *main() { return Workspace::main(); }
    static TFormNotatnik *notepad() { return kw::forms().formNotatnik(); }

    // The main window with every window that may be open beside it, the notepad holding typed text.
    QList<QWidget *> openEverything()
    {
        Workspace::showMain();
        main()->ToolButton9Click();
        auto *editor = notepad()->findChild<QTextEdit *>(QStringLiteral("RichEdit1"));
        editor->insertPlainText(QStringLiteral("lista zakupów"));
        const kw::Forms &f = kw::forms();
        QList<QWidget *> others{f.formNotatnik(), f.form3(), f.form2(), f.formKalk(), f.formM()};
        for (QWidget *o : others)
            o->show();
        return others;
    }

    // Runs the message loop until something ends it; a loop still running after a while is a failure.
    static void activate(QWidget *window)
    {
        window->show();
        window->raise();
        window->activateWindow();
        // A window of the main window counts as active with it: wait for the focus itself.
        QTRY_COMPARE(QApplication::activeWindow(), window);
    }

    static void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget *f = QApplication::focusWidget();
        QVERIFY(f);
        QTest::keyClick(f, Qt::Key(key), mods);
    }

    // Moves the pointer through the window system onto a point of a control.
    static void pointAt(QWidget *control, QPoint at = QPoint(-1, -1))
    {
        if (at.x() < 0)
            at = control->rect().center();
        QTest::mouseMove(control->window()->windowHandle(), control->mapTo(control->window(), at));
        QApplication::processEvents();
    }

    static int runLoop(const std::function<void()> &first)
    {
        QTimer::singleShot(0, first);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(10000);
        return QCoreApplication::exec();
    }

private slots:
    void init() { w = std::make_unique<Workspace>(); }
    void cleanup()
    {
        w.reset();
        kw::setFileDialogHandler(nullptr);
    }

    void closingTheMainWindowAsksTheNotepadFirst()
    {
        const QList<QWidget *> others = openEverything();
        QList<kw::FileDialogRequest> saves;
        kw::setFileDialogHandler([&](const kw::FileDialogRequest &r) {
            saves << r;
            return kw::FileDialogAnswer{}; // the user cancels the save dialog
        });

        // Cancel keeps the program running with everything as it was.
        w->answer = kw::Cancel;
        QVERIFY(!main()->close());
        QCOMPARE(w->texts(), QStringList{QStringLiteral("Czy zapisać wprowadzone zmiany ?")});
        QVERIFY(main()->isVisible());
        for (QWidget *o : others)
            QVERIFY2(o->isVisible(), qPrintable(o->objectName()));
        QVERIFY(notepad()->findChild<QTextEdit *>()->document()->isModified());

        // Yes with the save dialog cancelled: nothing was saved, so nothing ends.
        w->messages.clear();
        w->answer = kw::Yes;
        QVERIFY(!main()->close());
        QCOMPARE(saves.size(), 1);
        QVERIFY(main()->isVisible() && notepad()->isVisible());

        // No: the message loop ends with status 0 and every window is gone.
        w->messages.clear();
        w->answer = kw::No;
        const int code = runLoop([] { main()->close(); });
        QCOMPARE(code, 0);
        QCOMPARE(w->texts(), QStringList{QStringLiteral("Czy zapisać wprowadzone zmiany ?")});
        QVERIFY(!main()->isVisible());
        for (QWidget *o : others)
            QVERIFY2(!o->isVisible(), qPrintable(o->objectName()));
    }

    void closingWithAnUnchangedNotepadAsksNothing()
    {
        Workspace::showMain();
        main()->ToolButton9Click();
        kw::forms().form3()->show();
        const int code = runLoop([] { main()->Zamknij2Click(); });
        QCOMPARE(code, 0);
        QVERIFY(w->messages.isEmpty());
        QVERIFY(!notepad()->isVisible() && !kw::forms().form3()->isVisible());
    }

    // A change of the day entry not yet saved when the program is closed, amounts carried into the
    // sums as every writer carries them: closing posts the day, then the month sum, then the year
    // sum, each with what was typed and the derived fields recomputed; nothing is lost.
    void quittingPostsAPendingChangeDayMonthYear()
    {
        Workspace::showMain();
        Workspace::open(3, QStringLiteral("2004"));
        Workspace::addDay(5, kw::ledger::AmountSet{100, 0, 0, 0, 0, 0, 0, 0, 0, 10});
        kw::Table &day = Workspace::day(), &month = Workspace::month(), &year = Workspace::year();
        day.edit(); // the sums follow into edit through the day table's hook
        month.setFieldValue("SINNE", Workspace::value(month, "SINNE") + 2.5);
        year.setFieldValue("RINNE", Workspace::value(year, "RINNE") + 2.5);
        day.setFieldValue("INNE", Workspace::value(day, "INNE") + 2.5);
        day.setFieldValue("UWAGI", QStringLiteral("wpisane przed zamknięciem"));

        QStringList written;
        kw::diskio::setFaultInjector([&](kw::diskio::Op op, const QString &file) {
            if (op == kw::diskio::Op::Write && !written.contains(file, Qt::CaseInsensitive))
                written << file;
            return 0;
        });
        const int code = runLoop([] { main()->close(); });
        kw::diskio::setFaultInjector(nullptr);
        QCOMPARE(code, 0);
        QVERIFY(!day.active() && !month.active() && !year.active());
        QStringList tables;
        for (const QString &f : written)
            for (const QString &t : {kw::ledger::DayFile, kw::ledger::MonthFile, kw::ledger::YearFile})
                if (f.compare(t, Qt::CaseInsensitive) == 0)
                    tables << t;
        QCOMPARE(tables, (QStringList{kw::ledger::DayFile, kw::ledger::MonthFile, kw::ledger::YearFile}));

        const QList<QVariantMap> days = w->records(kw::ledger::DayFile);
        QCOMPARE(days.size(), 1);
        QCOMPARE(days[0].value("INNE").toDouble(), 12.5);
        QCOMPARE(days[0].value("UWAGI").toString(), QStringLiteral("wpisane przed zamknięciem"));
        const QVariantMap m = w->records(kw::ledger::MonthFile).value(0),
                          y = w->records(kw::ledger::YearFile).value(0);
        QCOMPARE(m.value("SINNE").toDouble(), 12.5);
        QCOMPARE(m.value("WYDATKI").toDouble(), 12.5);
        QCOMPARE(m.value("ROZNICA").toDouble(), 87.5);
        QCOMPARE(y.value("RINNE").toDouble(), 12.5);
        QCOMPARE(y.value("RROZNICA").toDouble(), 87.5);
    }

    void monthAndYearByKeyboard()
    {
        Workspace::showMain();
        TFormM *d = Workspace::dialog();
        d->RadioButton[10]->click(); // Listopad checked, the first month far away
        d->Edit1->setText(QStringLiteral("2004"));
        activate(main());
        main()->ToolButton1Click();
        QTRY_COMPARE(QApplication::activeWindow(), d);
        QCOMPARE(QApplication::focusWidget(), d->RadioButton[10]);

        // The arrows move the check with the focus, round the year.
        press(Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), d->RadioButton[11]);
        QVERIFY(d->RadioButton[11]->isChecked());
        QCOMPARE(d->monthText(), QStringLiteral("12"));
        press(Qt::Key_Right);
        QVERIFY(d->RadioButton[0]->isChecked());
        QCOMPARE(d->monthText(), QStringLiteral("1"));
        press(Qt::Key_Up);
        press(Qt::Key_Left);
        press(Qt::Key_Up);
        QVERIFY(d->RadioButton[9]->isChecked());
        QCOMPARE(QApplication::focusWidget(), d->RadioButton[9]);
        for (int i = 0; i < 12; ++i)
            QCOMPARE(d->RadioButton[i]->isChecked(), i == 9);

        // Tab leaves the months for the year box and the buttons, and comes back to the checked one.
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), d->Edit1);
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), d->Button1);
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), d->Button2);
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), d->RadioButton[9]);

        // Enter opens the month that is checked.
        press(Qt::Key_Return);
        QVERIFY(!d->isVisible());
        QVERIFY(Workspace::month().active());
        QCOMPARE(Workspace::month().fieldValue("SMIESIAC").toString(), QStringLiteral("10"));
        QCOMPARE(main()->Label43->text(), QStringLiteral("2004"));

        // Esc, and Enter on a focused "Anuluj", cancel: no period is open afterwards.
        activate(main());
        main()->ToolButton1Click();
        QTRY_COMPARE(QApplication::activeWindow(), d);
        QCOMPARE(QApplication::focusWidget(), d->RadioButton[9]);
        press(Qt::Key_Down);
        press(Qt::Key_Escape);
        QVERIFY(!d->isVisible());
        QVERIFY(!Workspace::month().active());
        QCOMPARE(d->monthText(), QStringLiteral("11"));
        activate(main());
        main()->ToolButton1Click();
        QTRY_COMPARE(QApplication::activeWindow(), d);
        QCOMPARE(QApplication::focusWidget(), d->RadioButton[10]);
        d->Button2->setFocus();
        press(Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!d->isVisible());
        QVERIFY(!Workspace::month().active());
    }

    void enterPressesTheFocusedButtonInEveryDialog()
    {
        Workspace::showMain();
        const kw::Forms &f = kw::forms();
        const auto enterOn = [](QAbstractButton *b) {
            QSignalSpy clicked(b, &QAbstractButton::clicked);
            activate(b->window());
            b->setFocus();
            QCOMPARE(QApplication::focusWidget(), b);
            press(Qt::Key_Return);
            QVERIFY2(clicked.count() == 1, qPrintable(b->window()->objectName() + b->text()));
        };
        // With no period open the entry dialogs' buttons refuse with a message, and change nothing.
        enterOn(f.form3()->Button1);
        enterOn(f.form3()->Button3);
        enterOn(f.form2()->Button1);
        QCOMPARE(w->texts().size(), 3);
        enterOn(f.form3D()->Button3);
        QVERIFY(!f.form3D()->isVisible() || w->texts().size() == 4);
        enterOn(f.form3D()->Button2);
        QVERIFY(!f.form3D()->isVisible());
        enterOn(f.form3()->Button2);
        QVERIFY(!f.form3()->isVisible());
        enterOn(f.form2()->Button2);
        QVERIFY(!f.form2()->isVisible());

        f.formKalk()->Edit1->setText(QStringLiteral("1000"));
        f.formKalk()->Edit2->setText(QStringLiteral("6"));
        f.formKalk()->Edit3->setText(QStringLiteral("12"));
        enterOn(f.formKalk()->Button1);
        QCOMPARE(f.formKalk()->Label4->text(), QStringLiteral("1060 zł"));
        enterOn(f.formKalk()->Button2);
        QCOMPARE(f.formKalk()->Label4->text(), QStringLiteral("0 zł"));
        // Esc closes the bank calculator, which keeps its boxes.
        f.formKalk()->Edit1->setText(QStringLiteral("5"));
        press(Qt::Key_Escape);
        QVERIFY(!f.formKalk()->isVisible());
        QCOMPARE(f.formKalk()->Edit1->text(), QStringLiteral("5"));

        // Enter in an amount box still books nothing.
        QSignalSpy add(f.form3()->Button1, &QAbstractButton::clicked);
        activate(f.form3());
        f.form3()->Edit[0]->setFocus();
        press(Qt::Key_Return);
        QCOMPARE(add.count(), 0);
        QVERIFY(f.form3()->isVisible());
    }

    void dialogsStayAboveTheMainWindowWithoutBlockingIt()
    {
        Workspace::showMain();
        const kw::Forms &f = kw::forms();
        for (QWidget *d :
             std::initializer_list<QWidget *>{f.form3D(), f.formM(), f.form2(), f.form3(), f.formKalk()}) {
            d->show();
            QVERIFY(QTest::qWaitForWindowExposed(d));
            QVERIFY2(d->windowHandle()->transientParent() == main()->windowHandle(),
                     qPrintable(d->objectName()));
            QVERIFY(d->isWindow());
            QVERIFY(!d->isModal());
        }
        // The main window still takes the user's clicks.
        activate(main());
    }

    void entryDialogsGoBesideTheMainWindow()
    {
        using kw::dialogs::EntryDialog;
        const QRect screen(0, 0, 1280, 1024);
        const QSize frame(267, 366 + 30);
        const QRect mainFrame(339, 280, 602, 422 + 60);
        // Room on the right.
        QPoint at = EntryDialog::placeBeside(mainFrame, frame, screen);
        QVERIFY(at.x() > mainFrame.right());
        QCOMPARE(at.y(), mainFrame.top());
        QVERIFY(screen.contains(QRect(at, frame)));
        // The right side taken by the other entry dialog: the left one, while there is room.
        const QRect other(at, frame);
        QPoint second = EntryDialog::placeBeside(mainFrame, frame, screen, other);
        QVERIFY(QRect(second, frame).right() < mainFrame.left());
        QVERIFY(!QRect(second, frame).intersects(other));
        second =
            EntryDialog::placeBeside(mainFrame.translated(-339, 0), frame, screen, other.translated(-339, 0));
        QVERIFY2(second.x() > mainFrame.translated(-339, 0).right(),
                 "no room on the left: the right after all");
        // The main window pushed to the right edge: the left side.
        const QRect pushed = mainFrame.translated(1280 - 1 - mainFrame.right(), 0);
        at = EntryDialog::placeBeside(pushed, frame, screen);
        QVERIFY(QRect(at, frame).right() < pushed.left());
        QVERIFY(screen.contains(QRect(at, frame)));
        // A main window low on the screen: the dialog is lifted to stay whole.
        at = EntryDialog::placeBeside(mainFrame.translated(0, 500), frame, screen);
        QCOMPARE(QRect(at, frame).bottom(), screen.bottom());
        // A screen too small for either side: against the roomier edge, never off the screen.
        const QRect small(0, 0, 800, 600);
        at = EntryDialog::placeBeside(QRect(40, 50, 602, 482), frame, small);
        QCOMPARE(at.x(), 800 - frame.width());
        at = EntryDialog::placeBeside(QRect(190, 50, 602, 482), frame, small);
        QCOMPARE(at.x(), 0);
    }

    void negativeBalancesReadWithAMinusSign()
    {
        Workspace::showMain();
        Workspace::open(3, QStringLiteral("2004"));
        kw::ledger::AmountSet a{};
        a[0] = 100;
        a[4] = 1331.5; // food beyond the income
        Workspace::addDay(5, a);
        main()->Table1->refresh();
        QCOMPARE(main()->valueLabel("ROZNICA")->text(), QStringLiteral("-1231,50\u00A0zł"));
        QCOMPARE(main()->valueLabel("RROZNICA")->text(), QStringLiteral("-1231,50\u00A0zł"));
        auto *band = main()->GroupBox2->findChild<QLabel *>(QStringLiteral("DBTextTotalRROZNICA"));
        QCOMPARE(band->text(), QStringLiteral("-1231,50\u00A0zł"));
        QVERIFY(!main()->valueLabel("ZYWNOSC")->text().startsWith('-'));
        w->render(main(), QStringLiteral("main-negative-pl"));

        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        main()->Table1->refresh();
        Workspace::month().refresh();
        Workspace::year().refresh();
        QCOMPARE(main()->valueLabel("ROZNICA")->text(), QStringLiteral("-$1,231.50"));
        QCOMPARE(main()->valueLabel("RROZNICA")->text(), QStringLiteral("-$1,231.50"));
        QCOMPARE(band->text(), QStringLiteral("-$1,231.50"));
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    }

    void theHintFollowsThePointerAndHidesTheNotepadsPanels()
    {
        Workspace::showMain();
        TFormNotatnik *n = notepad();
        auto *caret = n->findChild<QLabel *>(QStringLiteral("CaretPanel"));
        auto *modified = n->findChild<QLabel *>(QStringLiteral("ModifiedPanel"));
        pointAt(main()->ToolButton9);
        QCOMPARE(kw::hints().hint(), QStringLiteral("Przycisk otwiera notatnik"));
        // Opened from the main window under that hint: the hint alone fills the bar.
        main()->ToolButton9Click();
        QVERIFY(QTest::qWaitForWindowExposed(n));
        QCOMPARE(n->statusBar()->currentMessage(), QStringLiteral("Przycisk otwiera notatnik"));
        QVERIFY(!caret->isVisible() && !modified->isVisible());
        w->render(n, QStringLiteral("notepad-opened"));

        // A control without a hint clears it; the main window's own panel keeps its last text.
        pointAt(main()->DBGrid1);
        QVERIFY(kw::hints().hint().isEmpty());
        QCOMPARE(main()->statusHint(), QStringLiteral("Przycisk otwiera notatnik"));
        QVERIFY(n->statusBar()->currentMessage().isEmpty());
        QVERIFY(caret->isVisible() && modified->isVisible());
        QCOMPARE(caret->text(), QStringLiteral("Linia:   1   Kol:   1"));

        // Anywhere in the program: the notepad's own buttons, then its editor.
        auto *print = n->findChild<QToolButton *>(QStringLiteral("PrintButton"));
        pointAt(print);
        QCOMPARE(kw::hints().hint(), QStringLiteral("Drukuj zawartość Edytora"));
        QVERIFY(!caret->isVisible());
        pointAt(n->findChild<QTextEdit *>(QStringLiteral("RichEdit1")));
        QVERIFY(kw::hints().hint().isEmpty());
        QVERIFY(caret->isVisible());

        // Inside the main window: a box's surface has its hint, a value inside it has none.
        pointAt(main()->GroupBox1, QPoint(3, 100));
        QCOMPARE(kw::hints().hint(), QStringLiteral("Roczne zestawienie wydatków."));
        pointAt(main()->valueLabel("RPRZYCH"));
        QVERIFY(kw::hints().hint().isEmpty());
        QCOMPARE(main()->statusHint(), QStringLiteral("Roczne zestawienie wydatków."));
    }
};

QTEST_MAIN(EverydayTest)
#include "EverydayTest.moc"
