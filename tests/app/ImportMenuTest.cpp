// The import from the main window: "Dane" offers it, what it books shows at once in the open
// period's list, lights and commands, a remark being typed is neither lost nor put back over the
// import, and "Cofnij import…" takes it back.
#include "dialogs/ImportUndoDialog.h"
#include "dialogs/ImportWindow.h"
#include "framework/FileDialogs.h"
#include "tests/app/WindowFixture.h"

#include <QMenu>
#include <QTableWidget>
#include <memory>

using kwtest::Workspace;

namespace {

// Two days of March and one of April 2024, as a Polish bank writes MT940.
const char *Statement = ":20:MT940\r\n:25:/PL61109010140000071219812874\r\n:28C:3/1\r\n"
                        ":60F:C240229PLN1000,00\r\n"
                        ":61:2403010301DN87,34NTRFNONREF//2403011234567\r\n"
                        ":86:073~00KARTA~20Zakup kartą~32BIEDRONKA SP Z O O\r\n"
                        ":61:2403050305DN54,30NTRFNONREF//2403052222222\r\n"
                        ":86:073~00KARTA~20Zakup kartą~32LIDL SP Z O O\r\n"
                        ":61:2404020402DN100,00NTRFNONREF//2404023333333\r\n"
                        ":86:020~00PRZELEW~20Faktura~32PGE OBRÓT S.A.\r\n"
                        ":62F:C240402PLN758,36\r\n-\r\n";

} // namespace

class ImportMenuTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Workspace> w;

    static TForm1 *main() { return Workspace::main(); }

    // Answers the file dialog with the statement, written into the working directory.
    void answerWithStatement()
    {
        const QString path = QDir(w->dir()).filePath(QStringLiteral("wyciag.sta"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(Statement);
        f.close();
        kw::setFileDialogHandler([path](const kw::FileDialogRequest &) {
            kw::FileDialogAnswer a;
            a.accepted = true;
            a.path = path;
            return a;
        });
    }

    QVariantMap dayRecord(int month, int dayNumber) const
    {
        for (const QVariantMap &r : w->records(kw::ledger::DayFile))
            if (r.value(QStringLiteral("MIESIAC")).toString() == QString::number(month) &&
                r.value(QStringLiteral("DZIEN")).toInt() == dayNumber)
                return r;
        return {};
    }

private slots:
    void init() { w = std::make_unique<Workspace>(); }
    void cleanup()
    {
        w.reset();
        kw::setFileDialogHandler(nullptr);
    }

    void dataMenuOpensTheImportAndTheOpenPeriodFollowsTheBooking()
    {
        Workspace::showMain();
        Workspace::open(3, QStringLiteral("2024"));
        QCOMPARE(main()->commandState(), CommandState::EmptyPeriod);
        const QList<QAction *> items = main()->Dane1->actions();
        QVERIFY(items.contains(main()->ImportujWyciag1) && items.contains(main()->CofnijImport1));
        QCOMPARE(main()->ImportujWyciag1->text(), QStringLiteral("Importuj wyciąg…"));
        QCOMPARE(main()->CofnijImport1->text(), QStringLiteral("Cofnij import…"));
        QVERIFY(main()->ImportujWyciag1->isEnabled());

        answerWithStatement();
        main()->ImportujWyciag1->trigger();
        kw::ImportWindow *import = main()->importWindow();
        QVERIFY(import && import->isVisible());
        QCOMPARE(import->objectName(), QStringLiteral("Import"));
        QCOMPARE(import->model()->rowCount(), 3);
        QCOMPARE(Workspace::day().recordCount(), 0); // nothing written before "Zaksięguj"

        import->ZaksiegujClick();
        QVERIFY(!import->isVisible());
        // The two March days are in the open period's list; April's is booked but not shown.
        QCOMPARE(Workspace::day().recordCount(), 2);
        QCOMPARE(main()->commandState(), CommandState::PeriodWithDays);
        QCOMPARE(Workspace::value(Workspace::month(), "SZYWNOSC"), 87.34 + 54.30);
        QCOMPARE(main()->lightColor(2), QColor(Qt::red)); // spending with no income
        QCOMPARE(dayRecord(4, 2).value(QStringLiteral("OPLATY")).toDouble(), 100.0);
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());

        // Taken back from the same menu: the period is empty again.
        w->answer = kw::Yes;
        main()->CofnijImport1->trigger();
        kw::ImportUndoDialog *undo = main()->importUndoDialog();
        QVERIFY(undo && undo->isVisible());
        QCOMPARE(undo->list()->rowCount(), 1);
        undo->CofnijClick();
        QCOMPARE(Workspace::day().recordCount(), 0);
        QCOMPARE(main()->commandState(), CommandState::EmptyPeriod);
        QCOMPARE(Workspace::value(Workspace::month(), "SZYWNOSC"), 0.0);
        QVERIFY(dayRecord(4, 2).isEmpty());
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void aRemarkBeingTypedIsKeptAndNotWrittenOverTheImport()
    {
        Workspace::showMain();
        Workspace::open(3, QStringLiteral("2024"));
        kw::ledger::AmountSet amounts{};
        amounts[4] = 10; // Żywność
        Workspace::addDay(5, amounts);
        // The user starts typing the day's remark: the day and both sums are held in edit.
        Workspace::day().edit();
        Workspace::day().setFieldValue(QStringLiteral("UWAGI"), QStringLiteral("zakupy na święta"));

        answerWithStatement();
        main()->ImportujWyciag1->trigger();
        QVERIFY(main()->importWindow()->isVisible());
        main()->importWindow()->ZaksiegujClick();
        // Whatever the cursors still held is posted before the batch, never after it.
        for (kw::Table *t : {&Workspace::day(), &Workspace::month(), &Workspace::year()})
            t->checkBrowseMode();

        const QVariantMap fifth = dayRecord(3, 5);
        QCOMPARE(fifth.value(QStringLiteral("UWAGI")).toString(), QStringLiteral("zakupy na święta"));
        QCOMPARE(fifth.value(QStringLiteral("ZYWNOSC")).toDouble(), 10 + 54.30);
        QCOMPARE(Workspace::value(Workspace::month(), "SZYWNOSC"), 10 + 87.34 + 54.30);
        QVERIFY2(kw::ledger::verifyLedger(w->dir()).isEmpty(),
                 qPrintable(kw::ledger::verifyLedger(w->dir()).join(QLatin1Char('\n'))));
    }

    void theReviewStaysWhileOpenAndACancelledFileShowsNothing()
    {
        Workspace::showMain();
        kw::setFileDialogHandler([](const kw::FileDialogRequest &) { return kw::FileDialogAnswer{}; });
        main()->ImportujWyciag1->trigger();
        QVERIFY(!main()->importWindow()->isVisible());

        answerWithStatement();
        main()->ImportujWyciag1->trigger();
        kw::ImportWindow *import = main()->importWindow();
        QVERIFY(import->isVisible());
        // Asked again while the review is open, the program brings it forward and asks for no file.
        kw::setFileDialogHandler([](const kw::FileDialogRequest &) -> kw::FileDialogAnswer {
            QTest::qFail("no file dialog while the review is open", __FILE__, __LINE__);
            return {};
        });
        main()->ImportujWyciag1->trigger();
        QCOMPARE(main()->importWindow(), import);
        QCOMPARE(import->model()->rowCount(), 3);
        Workspace::render(import, QStringLiteral("import-from-menu"));
    }
};

QTEST_MAIN(ImportMenuTest)
#include "ImportMenuTest.moc"
