// The import's windows on real books: the review of a statement (ticks, duplicates and pending
// lines, categories, totals, balances, a rule remembered in one click, nothing written before
// "Zaksięguj"), the column-mapping step for an unknown table, and the undo list.
#include "dialogs/ImportWindow.h"
#include "dialogs/CsvMappingDialog.h"
#include "dialogs/ImportUndoDialog.h"
#include "framework/FileDialogs.h"
#include "framework/Messages.h"
#include "regional/Regional.h"
#include "import/CsvProfile.h"
#include "import/Rules.h"
#include "ledger/Books.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "ledger/OperationsTable.h"
#include "tools/help/HelpViewer.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kw;
namespace kl = kw::ledger;

namespace {

// A month of a household's current account as a Polish bank writes it in MT940.
const char *March =
    ":20:MT940\r\n:25:/PL61109010140000071219812874\r\n:28C:3/1\r\n:60F:C240229PLN4215,37\r\n"
    ":61:2403010301DN87,34NTRFNONREF//2403011234567\r\n"
    ":86:073~00KARTA~20Zakup kartą 4321~21BIEDRONKA 1234 WARSZAWA~32BIEDRONKA SP Z O O\r\n"
    ":61:2403010301CN8123,45NTRFNONREF//2403017654321\r\n"
    ":86:051~00PRZELEW~20Wynagrodzenie za luty 2024~32ACME SPÓŁKA Z O.O.~38PL27114020040000300201355387\r\n"
    ":61:2403020304DN250,12NTRFNONREF//2403021111111\r\n"
    ":86:073~00KARTA~20Paliwo PB95~32ORLEN STACJA NR 415\r\n"
    ":61:2403050305DN187,44NTRFNONREF//2403052222222\r\n"
    ":86:020~00PRZELEW~20Faktura 03/2024/123456~32PGE OBRÓT S.A.~38PL61109010140000071219812874\r\n"
    ":61:2403060306DN45,20NTRFNONREF//2403063333333\r\n"
    ":86:073~00KARTA~20Zakup kartą 4321~32ROSSMANN SDP SP Z O O\r\n"
    ":61:2403080308CN159,99NTRFNONREF//2403084444444\r\n"
    ":86:051~00ZWROT~20Zwrot zamówienia 998877~32ZARA POLSKA\r\n"
    ":61:2403090309DN24,50NTRFNONREF//2403095555555\r\n"
    ":86:073~00BLIK~20Kawa i ciastko~32Kawiarnia Pod Lipami\r\n"
    ":61:2403100311DN650,00NTRFNONREF//2403106666666\r\n"
    ":86:020~00PRZELEW~20Czynsz za marzec~32Spółdzielnia Mieszkaniowa~33Zielone Wzgórze\r\n"
    ":61:2403120312DN12,99NTRFNONREF//2403127777777\r\n"
    ":86:073~00KARTA~20Papierosy~32Kiosk Ruch 17\r\n"
    ":62F:C240312PLN11241,22\r\n-\r\n";

QString write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QString contents(const QString &dir)
{
    QString all;
    for (const QString &t : {kl::DayFile, kl::MonthFile, kl::YearFile, kl::OperationsFile})
        if (QFile::exists(QDir(dir).filePath(t)))
            all += kl::dumpTableCsv(QDir(dir).filePath(t));
    return all;
}

// With KW_RENDER_DIR set, keeps what the window looks like for a person to review.
void render(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("KW_RENDER_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

} // namespace

class ImportWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QStringList messages_;

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        setMessageHandler([this](const MessageRequest &r) {
            messages_ << r.text;
            return r.buttons & Yes ? int(Yes) : int(Ok);
        });
        kl::createEmptyTables(dir_.path());
    }

    void reviewShowsEveryLineAndWritesNothingUntilBooked()
    {
        kl::Books books(dir_.path());
        const QString file = write(dir_.filePath(QStringLiteral("wyciag_marzec.sta")), March);
        setFileDialogHandler([&](const FileDialogRequest &r) {
            FileDialogAnswer a;
            a.accepted = r.kind == FileDialogKind::Open;
            a.path = file;
            return a;
        });
        const QString before = contents(dir_.path());
        ImportWindow w(books);
        QCOMPARE(w.objectName(), QStringLiteral("Import"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Import wyciągu - Kwotnik 2.1"));
        QVERIFY(w.chooseFile());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        ImportModel *m = w.model();
        QCOMPARE(m->rowCount(), 9);
        QCOMPARE(m->index(0, ImportModel::Category).data().toString(), QStringLiteral("Żywność"));
        QCOMPARE(m->index(1, ImportModel::Category).data().toString(), QStringLiteral("Przychód"));
        QCOMPARE(m->index(5, ImportModel::Category).data().toString(), QStringLiteral("Odzież"));
        QVERIFY(m->index(5, ImportModel::Note).data().toString().startsWith(QStringLiteral("zwrot")));
        QCOMPARE(m->index(0, ImportModel::Tick).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(w.findChild<QLabel *>(QStringLiteral("Salda"))->text().contains(QStringLiteral("zgodne")));

        // A changed category and an unticked line show in the totals; the file is untouched.
        QVERIFY(m->setData(m->index(8, ImportModel::Category), 5, Qt::EditRole)); // Kiosk → Używki
        QVERIFY(m->setData(m->index(6, ImportModel::Tick), int(Qt::Unchecked), Qt::CheckStateRole));
        auto *totals = w.findChild<QTableWidget *>(QStringLiteral("Sumy"));
        QCOMPARE(totals->item(0, 5)->text(), regional::formatCurrency(12.99));
        QCOMPARE(totals->item(0, 6)->text(), regional::formatCurrency(-159.99));
        QVERIFY(totals->item(0, 9)->text().isEmpty()); // the coffee is unticked
        render(&w, QStringLiteral("import-review"));
        QCOMPARE(contents(dir_.path()), before);

        // The kiosk's category remembered as a rule: the file gets it above the built-in rules.
        auto *table = w.findChild<QTableView *>(QStringLiteral("Operacje"));
        table->setCurrentIndex(m->index(8, ImportModel::Counterparty));
        w.ZapamietajClick();
        QFile rules(dir_.filePath(import::RulesFile));
        QVERIFY(rules.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(rules.readAll());
        QVERIFY2(text.indexOf(QStringLiteral("Używki: Kiosk Ruch")) >= 0, qPrintable(text));
        QVERIFY(text.indexOf(QStringLiteral("Używki: Kiosk Ruch")) <
                text.indexOf(QStringLiteral("Żywność: Biedronka")));

        messages_.clear();
        w.ZaksiegujClick();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].contains(QStringLiteral("Zaksięgowano 8 operacji")), qPrintable(messages_[0]));
        QVERIFY(!w.isVisible());
        QVERIFY(kl::verifyLedger(dir_.path()).isEmpty());
        const auto day12 = books.days(kl::Period::of(3, 2024));
        QCOMPARE(int(day12.size()), 7); // days 1, 2, 5, 6, 8, 10 and 12; the unticked 9th is not booked
    }

    void secondReviewGreysWhatIsBookedAndUndoListTakesItBack()
    {
        kl::Books books(dir_.path());
        ImportWindow w(books);
        QVERIFY(w.openFile(dir_.filePath(QStringLiteral("wyciag_marzec.sta"))));
        ImportModel *m = w.model();
        int duplicates = 0;
        for (int r = 0; r < m->rowCount(); ++r) {
            const bool dup =
                m->index(r, ImportModel::Note).data().toString() == QStringLiteral("już zaksięgowana");
            duplicates += dup;
            if (dup) {
                QVERIFY(!(m->flags(m->index(r, ImportModel::Tick)) & Qt::ItemIsUserCheckable));
                QCOMPARE(m->index(r, ImportModel::Amount).data(Qt::ForegroundRole).value<QColor>(),
                         QColor(Qt::gray));
            }
        }
        QCOMPARE(duplicates, 8);
        QCOMPARE(w.plan().tickedCount(), 1); // only the coffee left out last time
        w.AnulujClick();

        ImportUndoDialog undo(books);
        QCOMPARE(undo.objectName(), QStringLiteral("CofnijImport"));
        QCOMPARE(undo.list()->rowCount(), 1);
        QCOMPARE(undo.list()->item(0, 2)->text(), QStringLiteral("wyciag_marzec.sta"));
        QCOMPARE(undo.list()->item(0, 3)->text(), QStringLiteral("8"));
        undo.show();
        QVERIFY(QTest::qWaitForWindowExposed(&undo));
        render(&undo, QStringLiteral("import-undo"));
        messages_.clear();
        undo.CofnijClick();
        QCOMPARE(messages_.size(), 2); // the question and the result
        QCOMPARE(undo.list()->rowCount(), 0);
        QVERIFY(books.days(kl::Period::of(3, 2024)).empty());
        QVERIFY(kl::verifyLedger(dir_.path()).isEmpty());
    }

    void unknownTableGoesThroughTheMappingStepAndItsProfile()
    {
        kl::Books books(dir_.path());
        const QString file = write(dir_.filePath(QStringLiteral("obcy_bank.csv")),
                                   "Statement of account;PL61109010140000071219812874\n"
                                   "Booked;Value;Payee;Reference text;Amount PLN\n"
                                   "2024-04-02;2024-04-02;LIDL SP Z O O;Card 4321;-54,30\n"
                                   "2024-04-03;2024-04-03;Tauron;Invoice 4/2024;-210,00\n");
        QTimer::singleShot(0, this, [&] {
            auto *d = qobject_cast<CsvMappingDialog *>(QApplication::activeModalWidget());
            QVERIFY(d);
            auto *skip = d->findChild<QSpinBox *>(QStringLiteral("Pomin"));
            d->findChild<QSpinBox *>(QStringLiteral("WierszNaglowka"))->setValue(0);
            QVERIFY(skip->isEnabled());
            d->findChild<QSpinBox *>(QStringLiteral("WierszNaglowka"))->setValue(2);
            QVERIFY(!skip->isEnabled()); // a header decides where the data starts
            d->findChild<QComboBox *>(QStringLiteral("DataOperacji"))->setCurrentIndex(1);
            d->findChild<QComboBox *>(QStringLiteral("Kontrahent"))->setCurrentIndex(3);
            d->findChild<QComboBox *>(QStringLiteral("Tytul"))->setCurrentIndex(4);
            messages_.clear();
            d->ZapiszClick();
            QVERIFY2(messages_.value(0).contains(QStringLiteral("kwotą")), qPrintable(messages_.value(0)));
            d->findChild<QComboBox *>(QStringLiteral("Kwota"))->setCurrentIndex(5);
            d->findChild<QLineEdit *>(QStringLiteral("NazwaProfilu"))
                ->setText(QStringLiteral("Bank zagraniczny"));
            d->show();
            render(d, QStringLiteral("import-mapping"));
            d->ZapiszClick();
        });
        ImportWindow w(books);
        QVERIFY(w.openFile(file));
        QCOMPARE(w.model()->rowCount(), 2);
        QCOMPARE(w.plan().statement.profile, QStringLiteral("Bank zagraniczny"));
        QCOMPARE(w.model()->index(1, ImportModel::Category).data().toString(), QStringLiteral("Opłaty"));
        // The next file of that bank is read by the profile, with no step.
        const QList<import::CsvProfile> saved = import::loadProfiles(dir_.path());
        QCOMPARE(saved.size(), 1);
        ImportWindow again(books);
        QVERIFY(again.openFile(file));
        QCOMPARE(again.plan().statement.profile, QStringLiteral("Bank zagraniczny"));
    }

    void f1OpensEachWindowsTopic()
    {
        kl::Books books(dir_.path());
        help::setHelpFile(QStringLiteral(KW_HELP_SOURCE));
        ImportWindow review(books);
        ImportUndoDialog undo(books);
        CsvMappingDialog mapping("Data;Kwota\n", dir_.path(), QStringLiteral("bank.csv"));
        const std::pair<QWidget *, const char *> windows[] = {
            {&review, "import-wyciagu"}, {&undo, "import-cofnij"}, {&mapping, "import-kolumny"}};
        for (const auto &[window, topic] : windows) {
            window->show();
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_F1);
            QVERIFY(help::viewer());
            QCOMPARE(help::viewer()->currentTopic(), QString::fromLatin1(topic));
            help::destroyViewer();
            window->hide();
        }
    }

    void refusedFileNamesItsLineAndShowsNothing()
    {
        kl::Books books(dir_.path());
        const QString file = write(dir_.filePath(QStringLiteral("zepsuty.sta")),
                                   ":20:X\n:25:/1\n:60F:C240301PLN1,00\n:61:240301X1,00NTRF//A\n");
        messages_.clear();
        ImportWindow w(books);
        QVERIFY(!w.openFile(file));
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].contains(QStringLiteral("„zepsuty.sta”")) &&
                     messages_[0].contains(QStringLiteral("wierszu 4")),
                 qPrintable(messages_[0]));
        QCOMPARE(w.model()->rowCount(), 0);
    }
};

QTEST_MAIN(ImportWindowTest)
#include "ImportWindowTest.moc"
