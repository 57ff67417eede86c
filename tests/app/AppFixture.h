#pragma once

// The program's real windows on a fresh working directory with the three empty ledger tables.

#include "app/Forms.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "app/Unit2S.h"
#include "app/Unit4R.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"
#include "ledger/Booking.h"
#include "ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace apptest {

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

    static TForm1 *main() { return kw::forms().form1; }
    static TFormM *dialog() { return kw::forms().formM; }
    static kw::ledger::LedgerTables tables()
    {
        return {kw::forms().form1->Table1, kw::forms().form2S->TableS, kw::forms().form4R->Table4R};
    }
    static kw::Table &day() { return *kw::forms().form1->Table1; }
    static kw::Table &month() { return *kw::forms().form2S->TableS; }
    static kw::Table &year() { return *kw::forms().form4R->Table4R; }

    // The open-period command, then the dialog with the month and the year text typed in.
    static void openThroughDialog(int m, const QString &y)
    {
        main()->ToolButton1Click();
        TFormM *d = dialog();
        d->RadioButton[m - 1]->click();
        d->Edit1->setText(y);
        d->Button1->click();
    }

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

    QByteArray file(const QString &name) const
    {
        QFile f(QDir(tmp.path()).filePath(name));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    QByteArray snapshot() const
    {
        return file(kw::ledger::DayFile) + file(kw::ledger::MonthFile) + file(kw::ledger::YearFile);
    }

    // Every record of a table file, unfiltered, as field maps.
    QList<QVariantMap> records(const QString &name) const
    {
        kw::Table t;
        t.setTableName(name);
        t.setDirectory(tmp.path());
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

    QStringList texts() const
    {
        QStringList all;
        for (const kw::MessageRequest &r : messages)
            all << r.text;
        return all;
    }
};

} // namespace apptest
