// The bank calculator window: its layout, "Oblicz" and "Wyzeruj", and its failures.
#include "framework/Messages.h"
#include "tools/calculators/UnitKalk.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

class BankCalculatorTest : public QObject
{
    Q_OBJECT

    QStringList messages;

    // Types the three boxes and presses "Oblicz"; returns the two results.
    static QStringList compute(TFormKalk &form, const QString &capital, const QString &rate,
                               const QString &months)
    {
        form.Edit1->setText(capital);
        form.Edit2->setText(rate);
        form.Edit3->setText(months);
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        return {form.Label4->text(), form.Label7->text()};
    }
    static QStringList results(const TFormKalk &form) { return {form.Label4->text(), form.Label7->text()}; }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages << r.text;
            return int(kw::Ok);
        });
    }
    void init() { messages.clear(); }

    void layout()
    {
        TFormKalk form;
        form.showCalculator();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Kalkulator bankowy"));
        QCOMPARE(form.size(), QSize(199, 259));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!form.isModal());

        QCOMPARE(form.Label1->text(), QStringLiteral("Kapitał początkowy (zł) :"));
        QCOMPARE(form.Label2->text(), QStringLiteral("Stopa procentowa (%)"));
        QCOMPARE(form.Label3->text(), QStringLiteral("Okres kapitalizacji (w miesiącach) :"));
        QVERIFY(form.Label3->wordWrap());
        QCOMPARE(form.Label5->text(), QStringLiteral("Kapitał końcowy :"));
        QCOMPARE(form.Label6->text(), QStringLiteral("Różnica :"));
        QCOMPARE(form.Button1->text(), QStringLiteral("Oblicz"));
        QCOMPARE(form.Button2->text(), QStringLiteral("Wyzeruj"));
        QCOMPARE(form.Edit1->width(), 145);
        QCOMPARE(form.Edit2->width(), 33);
        QCOMPARE(form.Edit3->width(), 41);
        for (QLineEdit *e : {form.Edit1, form.Edit2, form.Edit3})
            QCOMPARE(e->text(), QStringLiteral("0"));
        for (QLabel *l : {form.Label4, form.Label7}) {
            QCOMPARE(l->text(), QStringLiteral("0 zł"));
            QCOMPARE(l->font().pointSize(), 12);
            QVERIFY(l->alignment() & Qt::AlignHCenter);
        }
        auto *panel = form.StatusBar1->findChild<QLabel *>();
        QVERIFY(panel);
        QCOMPARE(panel->text(), QStringLiteral("Kapitalizacja prosta"));
        QVERIFY(panel->alignment() & Qt::AlignHCenter);
        QCOMPARE(form.StatusBar1->geometry().bottom(), 258);

        // Top to bottom, captions to the left of the rate and period boxes, every text fits.
        const QList<QWidget *> order = {form.Label1, form.Edit1,  form.Edit2,  form.Edit3,  form.Button1,
                                        form.Label5, form.Label4, form.Label6, form.Label7, form.StatusBar1};
        for (int i = 1; i < order.size(); ++i)
            QVERIFY2(order[i]->y() >= order[i - 1]->geometry().bottom(), qPrintable(order[i]->objectName()));
        QVERIFY(form.Label2->geometry().right() < form.Edit2->x());
        QVERIFY(form.Label3->geometry().right() < form.Edit3->x());
        QCOMPARE(form.Button2->y(), form.Button1->y());
        for (QLabel *l : {form.Label1, form.Label2, form.Label5, form.Label6})
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
        QVERIFY(form.Label3->heightForWidth(form.Label3->width()) <= form.Label3->height());

        // Tab order: the three boxes, then the two buttons.
        form.Edit1->setFocus();
        QWidget *w = form.Edit1;
        for (QWidget *next : QList<QWidget *>{form.Edit2, form.Edit3, form.Button1, form.Button2}) {
            w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus)
                w = w->nextInFocusChain();
            QCOMPARE(w, next);
        }
    }

    void worksOutSimpleInterest()
    {
        TFormKalk form;
        QCOMPARE(compute(form, "1000", "6", "12"), QStringList({"1060 zł", "60 zł"}));
        QCOMPARE(compute(form, "1000", "5", "1"), QStringList({"1004,1667 zł", "4,1667 zł"}));
        QCOMPARE(compute(form, "1000", "6", "24"), QStringList({"1120 zł", "120 zł"}));
        QCOMPARE(compute(form, "1000", "0", "12"), QStringList({"1000 zł", "0 zł"}));
        QCOMPARE(compute(form, "1000", "6", "0"), QStringList({"1000 zł", "0 zł"}));
        QCOMPARE(compute(form, "1000", "-6", "12"), QStringList({"940 zł", "-60 zł"}));
        QCOMPARE(compute(form, "1000", "5", "1,5"), QStringList({"1006,25 zł", "6,25 zł"}));
        // More than four decimals: the capital is rounded first, the results keep four at most.
        QCOMPARE(compute(form, "1000,123456", "5", "1"), QStringList({"1004,2907 zł", "4,1672 zł"}));
        QCOMPARE(compute(form, " 2 500 ", "3", "4"), QStringList({"2525 zł", "25 zł"}));
        // The monthly rate held with 40 bits shows in the fourth decimal (worked out in BankMathTest).
        QCOMPARE(compute(form, "1000000000", "5", "13"),
                 QStringList({"1054166666,6666 zł", "54166666,6666 zł"}));
        QVERIFY(messages.isEmpty());
    }

    void anEmptyBoxDoesNothing()
    {
        TFormKalk form;
        compute(form, "1000", "6", "12");
        for (int empty = 0; empty < 3; ++empty) {
            QLineEdit *boxes[3] = {form.Edit1, form.Edit2, form.Edit3};
            for (QLineEdit *b : boxes)
                b->setText(QStringLiteral("abc"));
            boxes[empty]->clear();
            form.Button1Click();
            QCOMPARE(results(form), QStringList({"1060 zł", "60 zł"}));
        }
        QVERIFY(messages.isEmpty());
    }

    void aBoxThatIsNotANumberIsReportedAndTheResultsStay()
    {
        TFormKalk form;
        compute(form, "1000", "6", "12");
        // The first box that fails is the one reported.
        QCOMPARE(compute(form, "tysiąc", "x", "y"), QStringList({"1060 zł", "60 zł"}));
        QCOMPARE(compute(form, "1000", "6.5", "y"), QStringList({"1060 zł", "60 zł"}));
        QCOMPARE(compute(form, "1000", "6", "12 mies."), QStringList({"1060 zł", "60 zł"}));
        QCOMPARE(compute(form, "   ", "6", "12"), QStringList({"1060 zł", "60 zł"}));
        QCOMPARE(messages, QStringList({"'tysiąc' is not a valid floating point value",
                                        "'6.5' is not a valid floating point value",
                                        "'12 mies.' is not a valid floating point value",
                                        "'   ' is not a valid floating point value"}));
    }

    void amountsOutOfRangeAreReported()
    {
        TFormKalk form;
        compute(form, "1000", "6", "12");
        compute(form, "1000000000000000", "6", "12");
        compute(form, "900000000000000", "100", "12");
        QCOMPARE(messages, QStringList({"Kapitał początkowy jest poza zakresem obliczeń.",
                                        "Kapitał końcowy jest poza zakresem obliczeń."}));
        QCOMPARE(results(form), QStringList({"1060 zł", "60 zł"}));
    }

    void resetAndKeptBetweenShowings()
    {
        TFormKalk form;
        form.showCalculator();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        compute(form, "1000", "5", "1");
        form.Edit2->setText(QStringLiteral("7")); // the results stay until the next "Oblicz"
        form.close();
        QVERIFY(!form.isVisible());
        form.showCalculator();
        QCOMPARE(form.Edit1->text(), QStringLiteral("1000"));
        QCOMPARE(form.Edit2->text(), QStringLiteral("7"));
        QCOMPARE(results(form), QStringList({"1004,1667 zł", "4,1667 zł"}));

        QTest::mouseClick(form.Button2, Qt::LeftButton);
        for (QLineEdit *e : {form.Edit1, form.Edit2, form.Edit3})
            QCOMPARE(e->text(), QStringLiteral("0"));
        QCOMPARE(results(form), QStringList({"0 zł", "0 zł"}));
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QCOMPARE(results(form), QStringList({"0 zł", "0 zł"}));
        QVERIFY(messages.isEmpty());
    }
};

QTEST_MAIN(BankCalculatorTest)
#include "BankCalculatorTest.moc"
