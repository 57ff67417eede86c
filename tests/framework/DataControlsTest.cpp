#include "framework/DataControls.h"
#include "framework/Messages.h"
#include "ledger/LedgerSchema.h"

#include <QTemporaryDir>
#include <QtTest>

// The bound controls follow their dataset by themselves and show nothing while it is closed.
// Types any text, Polish letters included, as key presses.
static void typeText(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

// A source that tells how many slots listen to its record notices.
class CountedSource : public kw::DataSource
{
public:
    using kw::DataSource::DataSource;
    int listeners() const { return receivers(SIGNAL(recordChanged())); }
    int resetListeners() const { return receivers(SIGNAL(dataSetChanged())); }
};

class DataControlsTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    kw::Table *table_ = nullptr;
    kw::DataSource *source_ = nullptr;

    void addDay(int day, double income, const QString &remark)
    {
        table_->insert();
        table_->setFieldValue("DZIEN", day);
        table_->setFieldValue("PRZYCHOD", income);
        table_->setFieldValue("UWAGI", remark);
        table_->post();
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        QFile::remove(dir_.filePath("Wydatki.dbf"));
        QFile::remove(dir_.filePath("Suma.dbf"));
        QFile::remove(dir_.filePath("Sum.DBF"));
        kw::ledger::createEmptyTables(dir_.path());
        table_ = new kw::Table(this);
        kw::ledger::setUpDayTable(*table_);
        table_->setDirectory(dir_.path());
        source_ = new kw::DataSource(this);
        source_->setDataSet(table_);
    }
    void cleanup()
    {
        delete source_;
        delete table_;
    }

    void labelFollowsPostsMovesAndClose()
    {
        kw::DBText income;
        income.bind(source_, "PRZYCHOD");
        kw::DBText day;
        day.bind(source_, "DZIEN");
        QVERIFY(income.text().isEmpty());
        table_->open();
        QVERIFY(income.text().isEmpty());
        addDay(5, 1234.5, "a");
        QCOMPARE(income.text(), QLocale().toCurrencyString(1234.5));
        QCOMPARE(day.text(), QStringLiteral("5"));
        addDay(2, 10, "b");
        QCOMPARE(day.text(), QStringLiteral("2"));
        table_->last();
        QCOMPARE(day.text(), QStringLiteral("5"));
        table_->edit();
        table_->setFieldValue("PRZYCHOD", 7.0);
        QCOMPARE(income.text(), QLocale().toCurrencyString(7.0));
        table_->cancel();
        QCOMPARE(income.text(), QLocale().toCurrencyString(1234.5));
        table_->close();
        QVERIFY(income.text().isEmpty());
        QVERIFY(day.text().isEmpty());
    }

    void gridShowsTheRowsAndItsSelectionIsTheCurrentRecord()
    {
        kw::DBGrid grid;
        grid.bind(source_, {{"DZIEN", "Dzień"}, {"PRZYCHOD", "Przychód"}, {"UWAGI", "UWAGI"}});
        QCOMPARE(grid.model()->rowCount(), 0);
        table_->open();
        addDay(9, 1, QStringLiteral("dziewiąty"));
        addDay(3, 2, QStringLiteral("trzeci"));
        QCOMPARE(grid.model()->rowCount(), 2);
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Przychód"));
        QCOMPARE(grid.model()->index(0, 2).data().toString(), QStringLiteral("trzeci"));
        QCOMPARE(grid.model()->index(1, 1).data().toString(), QLocale().toCurrencyString(1.0));
        QCOMPARE(grid.currentIndex().row(), 0);
        grid.setCurrentIndex(grid.model()->index(1, 0));
        QCOMPARE(table_->fieldValue("DZIEN").toInt(), 9);
        table_->first();
        QCOMPARE(grid.currentIndex().row(), 0);
        table_->deleteRecord();
        QCOMPARE(grid.model()->rowCount(), 1);
        table_->close();
        QCOMPARE(grid.model()->rowCount(), 0);
    }

    void typingInABoundMemoEditsTheRecordWithItsHookAndKeepsTheLimit()
    {
        table_->open();
        addDay(1, 0, "");
        int edits = 0;
        table_->beforeEdit = [&](kw::Table &) { ++edits; };
        kw::DBMemo memo;
        memo.setMaxLength(50);
        memo.bind(source_, "UWAGI");
        memo.show();
        typeText(&memo, QStringLiteral("Żółte"));
        QCOMPARE(edits, 1);
        QCOMPARE(table_->state(), kw::Table::State::Edit);
        QCOMPARE(table_->fieldValue("UWAGI").toString(), QStringLiteral("Żółte"));
        QTest::keyClicks(&memo, QString(60, QLatin1Char('x')));
        QCOMPARE(memo.toPlainText().size(), 50);
        table_->post();
        QCOMPARE(table_->fieldValue("UWAGI").toString().size(), 50);

        kw::DBMemo readOnly;
        readOnly.setReadOnly(true);
        readOnly.bind(source_, "UWAGI");
        QCOMPARE(readOnly.toPlainText(), table_->fieldValue("UWAGI").toString());
    }

    // Binding again, to the same source or another, leaves each control listening once, and only
    // to the source it was bound to last.
    void rebindingListensToTheLastSourceOnce()
    {
        CountedSource first, second;
        first.setDataSet(table_);
        second.setDataSet(table_);
        const int idle = first.listeners();
        kw::DBText label;
        kw::DBMemo memo;
        kw::DBEdit edit;
        kw::DBGrid grid;
        const auto bindAll = [&](kw::DataSource *s) {
            label.bind(s, "DZIEN");
            memo.bind(s, "UWAGI");
            edit.bind(s, "UWAGI");
            grid.bind(s, {{"DZIEN", "Dzień"}});
        };
        bindAll(&first);
        const int once = first.listeners();
        QVERIFY(once > idle);
        const int resetsOnce = first.resetListeners();
        bindAll(&first);
        QCOMPARE(first.listeners(), once);
        QCOMPARE(first.resetListeners(), resetsOnce);
        bindAll(&second);
        QCOMPARE(first.listeners(), idle);
        QCOMPARE(second.listeners(), once);

        // A grid bound twice resets its rows exactly as often as one bound once.
        kw::DBGrid single;
        single.bind(&second, {{"DZIEN", "Dzień"}});
        QSignalSpy twice(grid.model(), &QAbstractItemModel::modelReset);
        QSignalSpy reference(single.model(), &QAbstractItemModel::modelReset);
        table_->open();
        addDay(4, 1, QStringLiteral("x"));
        table_->close();
        QVERIFY(reference.count() > 0);
        QCOMPARE(twice.count(), reference.count());

        // Unbound, the controls show nothing and hear nothing.
        table_->open();
        addDay(6, 2, QStringLiteral("y"));
        QCOMPARE(label.text(), QStringLiteral("6"));
        const int bound = second.listeners();
        label.bind(nullptr, "DZIEN");
        QVERIFY(label.text().isEmpty());
        QCOMPARE(second.listeners(), bound - 1);
    }
};

QTEST_MAIN(DataControlsTest)
#include "DataControlsTest.moc"
