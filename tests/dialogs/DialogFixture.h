#pragma once

// The program's real windows on a fresh working directory holding the three empty ledger tables.

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
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace kwtest {

struct Workspace
{
    QTemporaryDir tmp;
    QString previous = QDir::currentPath();
    QStringList messages;

    Workspace()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        kw::ledger::createEmptyTables(tmp.path());
        QDir::setCurrent(tmp.path());
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages << r.text;
            return int(kw::Ok);
        });
        kw::createForms();
    }
    ~Workspace()
    {
        kw::destroyForms();
        kw::setMessageHandler(nullptr);
        QDir::setCurrent(previous);
    }
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    QString dir() const { return tmp.path(); }
    static TForm1 *main() { return kw::forms().form1; }
    static TForm3D *newDay() { return kw::forms().form3D; }
    static TForm3 *add() { return kw::forms().form3; }
    static TForm2 *change() { return kw::forms().form2; }
    static kw::ledger::LedgerTables tables() { return kw::dialogs::ledgerTables(); }
    static kw::Table &day() { return *kw::forms().form1->Table1; }
    static kw::Table &month() { return *kw::forms().form2S->TableS; }
    static kw::Table &year() { return *kw::forms().form4R->Table4R; }

    // What the month and year dialog's "Otwórz" does with the tables and the main window.
    void open(int m, const QString &y)
    {
        kw::ledger::closePeriod(tables());
        kw::forms().formM->Edit1->setText(y);
        kw::forms().formM->RadioButtonClick(m);
        kw::ledger::openPeriod(tables(), QString::number(m), y);
        main()->testCommandState(true);
        main()->refreshLights();
    }
    void close() { kw::ledger::closePeriod(tables()); }

    // Picks the date on the calendar and presses "Otwórz".
    void pickDay(const QDate &date)
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
    QString takeMessages()
    {
        const QString all = messages.join(QLatin1Char('|'));
        messages.clear();
        return all;
    }
};

} // namespace kwtest
