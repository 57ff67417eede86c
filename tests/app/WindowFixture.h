#pragma once

// The program's real windows, created and wired as the program creates them, on a fresh working
// directory holding the three empty ledger tables. Message boxes and beeps are answered here.

#include "app/Forms.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "app/Unit2S.h"
#include "app/Unit4R.h"
#include "dialogs/EntryDialog.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit3D.h"
#include "dialogs/UnitM.h"
#include "framework/DataControls.h"
#include "framework/Messages.h"
#include "ledger/Booking.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"

#include <QCalendarWidget>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace kwtest {

struct Workspace
{
    QTemporaryDir tmp;
    QString previous = QDir::currentPath();
    QList<kw::MessageRequest> messages;
    int answer = kw::Ok; // what the next message boxes are answered with
    int beeps = 0;

    Workspace()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        kw::ledger::createEmptyTables(tmp.path());
        QDir::setCurrent(tmp.path());
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages << r;
            return (r.buttons & answer) ? answer : int(kw::Ok);
        });
        kw::setBeepHandler([this] { ++beeps; });
        kw::createForms();
    }
    ~Workspace()
    {
        kw::destroyForms();
        kw::setMessageHandler(nullptr);
        kw::setBeepHandler(nullptr);
        QDir::setCurrent(previous);
    }
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    QString dir() const { return tmp.path(); }
    static TForm1 *main() { return kw::forms().form1(); }
    // Shows the main window and waits until the application, not only the platform, holds it
    // active: menu shortcuts such as Del follow the application's active window.
    static void showMain()
    {
        main()->show();
        main()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main()));
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(main()));
    }
    static TFormM *dialog() { return kw::forms().formM(); }
    static TForm3D *newDay() { return kw::forms().form3D(); }
    static TForm3 *add() { return kw::forms().form3(); }
    static TForm2 *change() { return kw::forms().form2(); }
    static kw::ledger::LedgerTables tables() { return main()->ledgerTables(); }
    static kw::Table &day() { return *main()->Table1; }
    static kw::Table &month() { return *kw::forms().form2S()->TableS; }
    static kw::Table &year() { return *kw::forms().form4R()->Table4R; }

    // Opens a period as the user does: the open-period command, then the month and year dialog
    // with the month clicked, the year typed and "Otwórz" pressed.
    static void open(int m, const QString &y)
    {
        main()->ToolButton1Click();
        TFormM *d = dialog();
        d->RadioButton[m - 1]->click();
        d->Edit1->setText(y);
        d->Button1->click();
    }
    // Closes the open period's three tables, as switching to another period does first.
    static void close() { kw::ledger::closePeriod(tables()); }

    // Adds a day to the open period with the given amounts (the ten categories in order).
    static void addDay(int d, const kw::ledger::AmountSet &amounts, const QString &remark = {})
    {
        const QString m = dialog()->monthText(), y = dialog()->yearText();
        kw::ledger::addDay(tables(), d, m, y, QDate(2004, 3, 1));
        kw::ledger::bookAmounts(tables(), amounts, kw::ledger::Sign::Add);
        if (!remark.isEmpty()) {
            day().edit();
            day().setFieldValue("UWAGI", remark);
            day().post();
            month().post();
            year().post();
        }
    }

    // Picks the date on the calendar and presses "Otwórz".
    static void pickDay(const QDate &date)
    {
        TForm3D *d = newDay();
        d->show();
        d->Calendar1->setSelectedDate(date);
        d->Button3->click();
    }
    // Types into a box as the user does: everything selected, then the keys.
    static void type(QLineEdit *box, const QString &text)
    {
        box->setFocus();
        box->selectAll();
        if (text.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
        // One key event per character: the test library's own typing takes Latin-1 only.
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(box, &press);
            QCoreApplication::sendEvent(box, &release);
        }
    }
    static void typeAmounts(const std::array<QLineEdit *, 10> &boxes, const QStringList &texts)
    {
        for (std::size_t i = 0; i < boxes.size(); ++i)
            type(boxes[i], i < std::size_t(texts.size()) ? texts[int(i)] : QStringLiteral("0"));
    }
    static double value(kw::Table &t, const char *field) { return kw::ledger::amount(t, field); }

    QByteArray file(const QString &name) const
    {
        QFile f(QDir(dir()).filePath(name));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    // The three table files as they are on the disk.
    QByteArray snapshot() const
    {
        return file(kw::ledger::DayFile) + file(kw::ledger::MonthFile) + file(kw::ledger::YearFile);
    }
    int storedDays() const
    {
        int n = 0;
        auto f = kw::DbfFile::open(QDir(dir()).filePath(kw::ledger::DayFile));
        f->scan([&](std::uint32_t, const char *r) {
            n += kw::DbfFile::isDeleted(r) ? 0 : 1;
            return true;
        });
        return n;
    }
    // Every record of a table file, unfiltered, as field maps.
    QList<QVariantMap> records(const QString &name) const
    {
        kw::Table t;
        t.setTableName(name);
        t.setDirectory(dir());
        t.open();
        QList<QVariantMap> out;
        for (t.first(); !t.eof(); t.next()) {
            QVariantMap r;
            for (int i = 0; i < t.fieldCount(); ++i) {
                const QString f = t.fieldDef(i).name;
                r.insert(f, t.fieldValue(f));
            }
            out << r;
        }
        t.close();
        return out;
    }

    // With KW_RENDER_DIR set, saves what the window looks like, for a person to review.
    static void render(QWidget *window, const QString &name)
    {
        const QString dir = qEnvironmentVariable("KW_RENDER_DIR");
        if (dir.isEmpty())
            return;
        QApplication::processEvents();
        window->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
    }

    // The texts of the messages shown so far.
    QStringList texts() const
    {
        QStringList all;
        for (const kw::MessageRequest &r : messages)
            all << r.text;
        return all;
    }
    // The texts shown since the last call, joined by '|'.
    QString takeMessages()
    {
        const QString all = texts().join(QLatin1Char('|'));
        messages.clear();
        return all;
    }
};

} // namespace kwtest
