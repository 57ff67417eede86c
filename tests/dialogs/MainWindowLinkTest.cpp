// The dialogs drive the main window only through its link, built here without the program's
// windows: each dialog's calls come at the points and in the order the program relies on.
#include "framework/MainWindowLink.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit3D.h"
#include "dialogs/UnitM.h"
#include "framework/DataControls.h"
#include "framework/Messages.h"
#include "ledger/Booking.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Period.h"

#include <QCalendarWidget>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A main window that writes down what it is asked, with what the dialogs show at that moment.
class RecordingMain : public kw::MainWindowLink
{
public:
    RecordingMain(const kw::ledger::PeriodSource &period)
    {
        kw::ledger::setUpDayTable(day);
        kw::ledger::setUpMonthTable(month);
        kw::ledger::setUpYearTable(year);
        day.setOnFilterRecord(kw::ledger::dayPeriodFilter(period));
        month.setOnFilterRecord(kw::ledger::monthPeriodFilter(period));
        year.setOnFilterRecord(kw::ledger::yearPeriodFilter(period));
        kw::ledger::installRollupHooks(ledgerTables());
        source.setDataSet(&day);
    }
    ~RecordingMain() override { kw::ledger::closePeriod(ledgerTables()); }

    void refreshLights() override
    {
        note(QStringLiteral("lights %1").arg(kw::ledger::amount(month, "SPRZYCH")));
    }
    void setCommandState(kw::CommandState s) override { note(QStringLiteral("state %1").arg(int(s))); }
    void testCommandState(bool opening) override { note(QStringLiteral("test %1").arg(opening)); }
    void setYearLabel(const QString &y) override { note(QStringLiteral("year ") + y); }
    void refreshDayList() override { note(QStringLiteral("refresh")); }
    kw::ledger::LedgerTables ledgerTables() const override { return {&day, &month, &year}; }
    kw::DataSource *dayDataSource() const override { return &source; }
    QList<kw::Table *> programTables() const override
    {
        const kw::ledger::LedgerTables t = ledgerTables();
        return {t.day, t.month, t.year};
    }
    QWidget *mainWidget() override { return &window; }
    QRect balancesArea() const override { return {}; }

    // Each call, followed by the dialogs that were visible when it came.
    void note(const QString &call)
    {
        QStringList shown;
        for (const auto &[name, dialog] : watched)
            if (dialog->isVisible())
                shown << name;
        calls << call + QStringLiteral(" [") + shown.join(QLatin1Char(',')) + QLatin1Char(']');
    }

    // The tables and the source are the main window's own, handed out from const calls.
    mutable kw::Table day, month, year;
    mutable kw::DataSource source;
    // The books of the working directory, which the tables write through.
    kw::ledger::Books books{QDir::currentPath()};
    kw::ledger::CursorBooks cursors{books, {&day, &month, &year}};
    QWidget window;
    std::vector<std::pair<QString, QWidget *>> watched;
    QStringList calls;
};

} // namespace

class MainWindowLinkTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    QString previous_;
    QStringList messages_;
    std::unique_ptr<TFormM> period_;
    std::unique_ptr<RecordingMain> main_;
    std::unique_ptr<TForm3> add_;
    std::unique_ptr<TForm2> change_;
    std::unique_ptr<TForm3D> newDay_;

    void openMarch2004()
    {
        period_->RadioButton[2]->click();
        period_->Edit1->setText(QStringLiteral("2004"));
        period_->show();
        period_->Button1->click();
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        for (const QString &f : QDir(dir_.path()).entryList(QDir::Files))
            QFile::remove(QDir(dir_.path()).filePath(f));
        kw::ledger::createEmptyTables(dir_.path());
        previous_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        messages_.clear();
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages_ << r.text;
            return int(kw::Ok);
        });
        period_ = std::make_unique<TFormM>();
        main_ = std::make_unique<RecordingMain>(*period_);
        add_ = std::make_unique<TForm3>();
        change_ = std::make_unique<TForm2>();
        newDay_ = std::make_unique<TForm3D>();
        period_->connectMainWindow(*main_);
        add_->connectMainWindow(*main_, *period_);
        change_->connectMainWindow(*main_, *period_);
        newDay_->connectMainWindow(*main_, *period_, *add_);
        main_->watched = {{QStringLiteral("M"), period_.get()},
                          {QStringLiteral("3D"), newDay_.get()},
                          {QStringLiteral("3"), add_.get()},
                          {QStringLiteral("2"), change_.get()}};
    }
    void cleanup()
    {
        newDay_.reset();
        change_.reset();
        add_.reset();
        main_.reset();
        period_.reset();
        kw::setMessageHandler(nullptr);
        QDir::setCurrent(previous_);
    }

    // Opening: the year label, the command state, the lights while the dialog still shows, then the
    // dialog goes and the day list reads the period.
    void openingAPeriodTellsTheMainWindowInOrder()
    {
        openMarch2004();
        QCOMPARE(main_->calls, (QStringList{"year 2004 [M]", "test 1 [M]", "lights 0 [M]", "refresh []"}));
        QVERIFY(main_->month.active() && main_->year.active());
        QCOMPARE(main_->month.fieldValue("SMIESIAC").toString(), QStringLiteral("3"));
    }

    // A new day: the add/subtract dialog shows and this one closes before the main window offers
    // the day commands; a day that exists already tells the main window nothing.
    void aNewDayOffersTheDayCommandsOnceTheAddDialogShows()
    {
        openMarch2004();
        main_->calls.clear();
        newDay_->show();
        newDay_->Calendar1->setSelectedDate(QDate(2004, 3, 7));
        newDay_->Button3->click();
        QCOMPARE(main_->calls, QStringList{"state 2 [3]"});
        QCOMPARE(main_->day.fieldValue("DZIEN").toInt(), 7);

        main_->calls.clear();
        newDay_->show();
        newDay_->Button3->click();
        QVERIFY(main_->calls.isEmpty());
        QCOMPARE(messages_, QStringList{QStringLiteral("Wpis pod tą datą już istnieje !!!")});
    }

    // Booking: the lights follow once both sums are posted; the add dialog stays open, the change
    // dialog is gone by then.
    void bookingsRefreshTheLightsAfterTheSumsArePosted()
    {
        openMarch2004();
        kw::ledger::addDay(main_->ledgerTables(), 7, QStringLiteral("3"), QStringLiteral("2004"),
                           QDate(2004, 3, 7));
        main_->calls.clear();
        add_->show();
        add_->Edit[0]->setText(QStringLiteral("12,5"));
        add_->Button1->click();
        QCOMPARE(main_->calls, QStringList{"lights 12.5 [3]"});
        QCOMPARE(main_->month.state(), kw::Table::State::Browse);

        main_->calls.clear();
        add_->hide();
        change_->show();
        change_->fillFromDayEntry();
        change_->Edit[0]->setText(QStringLiteral("20"));
        change_->Button1->click();
        QCOMPARE(main_->calls, QStringList{"lights 20 []"});
        QVERIFY(messages_.isEmpty());
    }
};

QTEST_MAIN(MainWindowLinkTest)
#include "MainWindowLinkTest.moc"
