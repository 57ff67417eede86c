#include "regional/Regional.h"
#include "tests/app/WindowFixture.h"

#include <QRandomGenerator>
#include <map>

using kwtest::Workspace;

// A long random session through the real dialogs, kept against a model of what every day entry
// must hold; at the end every sum must equal the totals of its day entries.
class SessionTest : public QObject
{
    Q_OBJECT

    struct Entry
    {
        int day = 0;
        kw::ledger::AmountSet amounts{};
    };
    using Period = std::pair<int, QString>;
    std::map<Period, std::map<QString, Entry>> model_; // entries by their remark, which is unique
    Period open_;
    std::unique_ptr<Workspace> w;
    QRandomGenerator rng_;
    int serial_ = 0;

    int lastDay() const { return QDate(open_.second.toInt(), open_.first, 1).daysInMonth(); }
    std::map<QString, Entry> &entries() { return model_[open_]; }

    // Amounts as a user types them: mostly zeros, some with decimals, a few negative or grouped.
    std::pair<QStringList, kw::ledger::AmountSet> randomAmounts()
    {
        QStringList texts;
        kw::ledger::AmountSet values{};
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (rng_.bounded(3) != 0) {
                texts << QStringLiteral("0");
                continue;
            }
            const int cents = rng_.bounded(-20000, 300000);
            values[i] = cents / 100.0;
            // Either with two decimals and the thousands grouped, or in the shortest form.
            texts << (rng_.bounded(2) ? QLocale().toString(values[i], 'f', 2)
                                      : kw::regional::formatGeneral(values[i]));
        }
        return {texts, values};
    }

    // Moves the day list to a random entry and returns its remark.
    QString pickEntry()
    {
        kw::Table &day = Workspace::day();
        day.moveTo(rng_.bounded(day.recordCount()));
        return day.fieldValue("UWAGI").toString();
    }

    void expectMessages(const QString &expected, const char *step)
    {
        const QString got = w->takeMessages();
        QVERIFY2(got == expected,
                 qPrintable(QStringLiteral("%1: expected '%2', got '%3'").arg(step, expected, got)));
    }

    void newDay()
    {
        const int d = rng_.bounded(1, 32);
        bool taken = false;
        for (const auto &[remark, e] : entries())
            taken = taken || e.day == d;
        w->pickDay(QDate(2005, 1, d)); // any month of the calendar will do
        if (taken)
            return expectMessages(QStringLiteral("Wpis pod tą datą już istnieje !!!"), "duplicate day");
        if (d > lastDay())
            return expectMessages(kw::dialogs::NoSuchDayMessage, "day beyond the month");
        expectMessages(QString(), "new day");
        const QString remark = QStringLiteral("wpis %1").arg(++serial_);
        TForm3 *add = Workspace::add();
        Workspace::type(add->DBEdit1, remark);
        const auto [texts, values] = randomAmounts();
        Workspace::typeAmounts(add->Edit, texts);
        add->Button1->click();
        expectMessages(QString(), "first amounts");
        entries()[remark] = Entry{d, values};
    }

    void book()
    {
        TForm3 *add = Workspace::add();
        add->show();
        const auto [texts, values] = randomAmounts();
        Workspace::typeAmounts(add->Edit, texts);
        const bool subtract = rng_.bounded(2);
        if (entries().empty()) {
            (subtract ? add->Button3 : add->Button1)->click();
            return expectMessages(kw::dialogs::NoDayEntryMessage, "booking without a day");
        }
        Entry &e = entries().at(pickEntry());
        (subtract ? add->Button3 : add->Button1)->click();
        expectMessages(QString(), "booking");
        for (std::size_t i = 0; i < values.size(); ++i)
            e.amounts[i] += subtract ? -values[i] : values[i];
    }

    void change()
    {
        if (entries().empty())
            return;
        Entry &e = entries().at(pickEntry());
        TForm2 *f = Workspace::change();
        f->show();
        f->fillFromDayEntry();
        QCOMPARE(f->EditD->text(), QString::number(e.day));
        for (std::size_t i = 0; i < e.amounts.size(); ++i)
            QVERIFY(qAbs(kw::regional::toNumber(f->Edit[i]->text()) - e.amounts[i]) < 1e-6);
        const auto [texts, values] = randomAmounts();
        Workspace::typeAmounts(f->Edit, texts);
        const bool refuse = rng_.bounded(8) == 0;
        const int d = refuse ? lastDay() + 1 : rng_.bounded(3) == 0 ? rng_.bounded(1, lastDay() + 1) : e.day;
        Workspace::type(f->EditD, QString::number(d));
        f->Button1->click();
        if (refuse) {
            expectMessages(kw::dialogs::NoSuchDayMessage, "change to a day beyond the month");
            f->hide();
            return;
        }
        expectMessages(QString(), "change");
        QVERIFY(!f->isVisible());
        e = Entry{d, values};
    }

    void remove()
    {
        if (entries().empty())
            return;
        const QString remark = pickEntry();
        kw::ledger::deleteDay(Workspace::tables());
        Workspace::main()->testCommandState(false);
        Workspace::main()->refreshLights();
        entries().erase(remark);
    }

    void switchPeriod()
    {
        static const Period periods[] = {{2, "2004"}, {3, "2004"}, {4, "2005"}, {12, "2003"}, {2, "2005"}};
        open_ = periods[rng_.bounded(int(std::size(periods)))];
        w->open(open_.first, open_.second);
    }

    void checkAgainstModel()
    {
        for (const auto &[period, list] : model_) {
            w->open(period.first, period.second);
            kw::Table &day = Workspace::day();
            QCOMPARE(day.isEmpty() ? 0 : day.recordCount(), int(list.size()));
            for (day.first(); !day.eof(); day.next()) {
                const QString remark = day.fieldValue("UWAGI").toString();
                QVERIFY2(list.count(remark), qPrintable(remark));
                const Entry &e = list.at(remark);
                QCOMPARE(day.fieldValue("DZIEN").toInt(), e.day);
                for (std::size_t i = 0; i < e.amounts.size(); ++i)
                    QVERIFY2(qAbs(Workspace::value(day, kw::ledger::Categories[i].day) - e.amounts[i]) < 1e-6,
                             qPrintable(remark));
            }
        }
        w->close();
    }

private slots:
    void aLongSessionKeepsEverySumEqualToItsDayEntries()
    {
        const quint32 seed =
            qEnvironmentVariableIsSet("KW_SEED") ? qEnvironmentVariableIntValue("KW_SEED") : 20040305u;
        const int steps =
            qEnvironmentVariableIsSet("KW_STEPS") ? qEnvironmentVariableIntValue("KW_STEPS") : 400;
        qInfo("seed %u, %d steps", seed, steps);
        rng_.seed(seed);
        w = std::make_unique<Workspace>();
        switchPeriod();
        int counts[5] = {};
        for (int step = 0; step < steps; ++step) {
            const int op = rng_.bounded(100);
            const int kind = op < 8 ? 0 : op < 33 ? 1 : op < 70 ? 2 : op < 88 ? 3 : 4;
            ++counts[kind];
            switch (kind) {
            case 0:
                switchPeriod();
                break;
            case 1:
                newDay();
                break;
            case 2:
                book();
                break;
            case 3:
                change();
                break;
            default:
                remove();
                break;
            }
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("at step %1").arg(step)));
            if (step % 50 == 49) {
                const QStringList problems = kw::ledger::verifyLedger(w->dir());
                QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
            }
        }
        qInfo("periods %d, new days %d, bookings %d, changes %d, deletes %d", counts[0], counts[1], counts[2],
              counts[3], counts[4]);
        checkAgainstModel();
        const QStringList problems = kw::ledger::verifyLedger(w->dir());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        int stored = 0;
        for (const auto &[period, list] : model_)
            stored += int(list.size());
        QCOMPARE(w->storedDays(), stored);
        QVERIFY(stored > 10);
        w.reset();
    }
};

QTEST_MAIN(SessionTest)
#include "SessionTest.moc"
