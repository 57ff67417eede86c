// The pocket calculator window, its keys and menu, the dialog object and the quick calculator.
#include "tools/calculators/CalcDialog.h"
#include "framework/Messages.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

namespace {

QToolButton *key(TCalculatorForm &form, const QString &caption)
{
    for (QToolButton *b : form.findChildren<QToolButton *>())
        if (b->text() == caption)
            return b;
    return nullptr;
}

// Clicks the buttons of a line of captions separated by blanks.
QString click(TCalculatorForm &form, const QString &captions)
{
    for (const QString &c : captions.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QToolButton *b = key(form, c);
        if (!b) {
            qWarning() << "no button" << c;
            return QStringLiteral("<no button %1>").arg(c);
        }
        b->click();
    }
    return form.DisplayLabel->text();
}

// Runs `act` on the calculator window once it is open and modal.
void whenOpen(const std::function<void(TCalculatorForm &)> &act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto *form = qobject_cast<TCalculatorForm *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(*form);
        }
    });
    timer->start();
}

} // namespace

class CalcDialogTest : public QObject
{
    Q_OBJECT

    QStringList messages;

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
        TCalculatorForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Kalkulator"));
        QCOMPARE(form.size(), QSize(242, 159));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

        QCOMPARE(form.DisplayLabel->objectName(), QStringLiteral("DisplayLabel"));
        QCOMPARE(form.DisplayLabel->geometry().topLeft().y(), 6);
        QCOMPARE(form.DisplayLabel->width(), 230);
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("0"));
        QVERIFY(form.DisplayLabel->alignment() & Qt::AlignRight);
        QCOMPARE(form.DisplayLabel->frameShadow(), QFrame::Sunken);
        QCOMPARE(form.DisplayLabel->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form.MemoryLabel->text(), QString());
        QCOMPARE(form.OkButton->toolTip(), QStringLiteral("Dodaj"));
        QCOMPARE(form.CancelButton->toolTip(), QStringLiteral("Zamknij"));
        QVERIFY(!form.OkButton->icon().isNull() && !form.CancelButton->icon().isNull());

        const QColor purple(128, 0, 128), teal(0, 128, 128);
        const QList<QPair<int, QStringList>> rows = {
            {34, {"Back", "C"}},
            {60, {"MC", "7", "8", "9", "/", "sqrt"}},
            {84, {"MR", "4", "5", "6", "*", "%"}},
            {108, {"MS", "1", "2", "3", "-", "1/x"}},
            {132, {"M+", "0", "+/-", ",", "+", "="}},
        };
        for (const auto &[top, captions] : rows) {
            int left = -1;
            for (const QString &caption : captions) {
                QToolButton *b = key(form, caption);
                QVERIFY2(b, qPrintable(caption));
                QCOMPARE(b->y(), top);
                QVERIFY2(b->x() > left, qPrintable(caption)); // in order, left to right
                left = b->x();
                QVERIFY(b->geometry().right() <= 236);
                QCOMPARE(b->height(), 22);
                QCOMPARE(b->width(), top == 34 ? 44 : 36);
                QCOMPARE(b->focusPolicy(), Qt::NoFocus);
                const QColor text = b->palette().color(QPalette::ButtonText);
                if (top == 34)
                    QCOMPARE(text, purple);
                else if (caption.startsWith(QLatin1Char('M')))
                    QCOMPARE(text, teal);
            }
        }
        // Indicator, accept and close come before "Back" in the second row.
        QCOMPARE(form.OkButton->y(), 34);
        QVERIFY(form.MemoryLabel->x() < form.OkButton->x());
        QVERIFY(form.OkButton->x() < form.CancelButton->x());
        QVERIFY(form.CancelButton->geometry().right() < key(form, "Back")->x());
    }

    void buttonsDriveTheEngine()
    {
        TCalculatorForm form;
        QCOMPARE(click(form, "1 2 , 5 + 7 , 5 ="), QStringLiteral("20"));
        QCOMPARE(click(form, "MS"), QStringLiteral("20"));
        QCOMPARE(form.MemoryLabel->text(), QStringLiteral("M"));
        QCOMPARE(click(form, "C 1 6 sqrt"), QStringLiteral("4"));
        QCOMPARE(click(form, "1/x"), QStringLiteral("0,25"));
        QCOMPARE(click(form, "+/- Back"), QStringLiteral("0"));
        QCOMPARE(click(form, "MR M+ MR"), QStringLiteral("40"));
        QCOMPARE(click(form, "MC"), QStringLiteral("40"));
        QCOMPARE(form.MemoryLabel->text(), QString());
        QCOMPARE(click(form, "C 2 0 0 + 1 0 %"), QStringLiteral("220"));
        QCOMPARE(click(form, "C 3 - 8 * 2 ="), QStringLiteral("-10"));
        QCOMPARE(click(form, "/ 0 ="), QStringLiteral("Error"));
        QVERIFY(messages.isEmpty());
        // "sqrt" on "Error" reports the conversion error and leaves the text.
        QCOMPARE(click(form, "sqrt"), QStringLiteral("Error"));
        QCOMPARE(messages, QStringList{QStringLiteral("'Error' is not a valid floating point value")});
        QCOMPARE(click(form, "5"), QStringLiteral("5"));
    }

    void keysArePreviewedByTheWindow()
    {
        TCalculatorForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // No key can take the focus from the window, even after a click.
        QTest::mouseClick(key(form, "7"), Qt::LeftButton);
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("7"));
        for (QWidget *child : form.findChildren<QWidget *>())
            QVERIFY2(child->focusPolicy() == Qt::NoFocus || child->isWindow(),
                     qPrintable(child->objectName()));
        QTest::keyClick(&form, Qt::Key_Escape);
        QTest::keyClicks(&form, "12.5");
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("12,5"));
        QTest::keyClick(&form, Qt::Key_Backspace);
        QTest::keyClicks(&form, ",,25*");
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("12,25"));
        QTest::keyClick(&form, Qt::Key_4, Qt::KeypadModifier);
        QTest::keyClick(&form, Qt::Key_Return);
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("49"));
        QTest::keyClicks(&form, "+1=");
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("50"));
        QTest::keyClick(&form, Qt::Key_Slash, Qt::KeypadModifier);
        QTest::keyClick(&form, Qt::Key_Comma);
        QTest::keyClick(&form, Qt::Key_Period, Qt::KeypadModifier); // a second separator: ignored
        QTest::keyClick(&form, Qt::Key_5, Qt::KeypadModifier);
        QTest::keyClick(&form, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("100"));
        // Esc clears and does not close.
        QTest::keyClick(&form, Qt::Key_Escape);
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("0"));
        QVERIFY(form.isVisible());
        QTest::keyClicks(&form, "7%c");
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("0"));
        QTest::keyClicks(&form, "x9");
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("9"));
    }

    void acceptRefusesADisplayThatIsNotANumber()
    {
        TCalculatorForm form;
        form.show();
        click(form, "1 / 0 =");
        form.OkButton->click();
        QCOMPARE(messages, QStringList{QStringLiteral("'Error' is not a valid floating point value")});
        QVERIFY(form.isVisible());
        QCOMPARE(form.acceptedValue(), 0.0);
        click(form, "C 2 ,");
        form.OkButton->click(); // "2," is a number
        QVERIFY(!form.isVisible());
        QCOMPARE(form.acceptedValue(), 2.0);
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }

    void copyAndPaste()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        TCalculatorForm form;
        QCOMPARE(form.Kopiuj1->text(), QStringLiteral("&Kopiuj"));
        QCOMPARE(form.Wklej1->text(), QStringLiteral("&Wklej"));
        QCOMPARE(form.Kopiuj1->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
        QCOMPARE(form.Wklej1->shortcut(), QKeySequence(QStringLiteral("Ctrl+V")));

        clipboard->clear();
        QVERIFY(!form.Wklej1->isEnabled());
        auto *image = new QMimeData;
        image->setImageData(QImage(4, 4, QImage::Format_RGB32));
        clipboard->setMimeData(image);
        QVERIFY(!form.Wklej1->isEnabled());

        click(form, "1 / 4 =");
        form.Kopiuj1->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("0,25"));
        QVERIFY(form.Wklej1->isEnabled());

        clipboard->setText(QStringLiteral(" 3,5\n"));
        click(form, "C 2 *");
        form.Wklej1->trigger();
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("3,5"));
        QCOMPARE(click(form, "="), QStringLiteral("7"));
        clipboard->setText(QStringLiteral("dwa"));
        form.Wklej1->trigger();
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("0"));
        QVERIFY(messages.isEmpty());

        // The shortcuts, with the window active: Ctrl+C copies and is not the "C" key.
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        click(form, "9 , 5");
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("9,5"));
        QCOMPARE(clipboard->text(), QStringLiteral("9,5"));
        clipboard->setText(QStringLiteral("-4"));
        QTest::keyClick(&form, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(form.DisplayLabel->text(), QStringLiteral("-4"));
    }

    void dialogObjectKeepsItsValue()
    {
        kw::CalculatorDialog calculator;
        QCOMPARE(calculator.value(), 0.0);
        QString shown;
        whenOpen([&](TCalculatorForm &form) {
            shown = form.DisplayLabel->text();
            click(form, "4 2 , 5");
            form.OkButton->click();
        });
        QVERIFY(calculator.execute());
        QCOMPARE(shown, QStringLiteral("0"));
        QCOMPARE(calculator.value(), 42.5);

        // The next run starts with it as a result: a digit replaces it, an operation uses it.
        whenOpen([&](TCalculatorForm &form) {
            shown = form.DisplayLabel->text();
            click(form, "* 2 =");
            form.CancelButton->click();
        });
        QVERIFY(!calculator.execute());
        QCOMPARE(shown, QStringLiteral("42,5"));
        QCOMPARE(calculator.value(), 42.5);

        whenOpen([&](TCalculatorForm &form) {
            click(form, "7");
            form.reject(); // the close box
        });
        QVERIFY(!calculator.execute());
        QCOMPARE(calculator.value(), 42.5);
    }

    void quickCalculatorRoundTrip()
    {
        QLineEdit box;
        kw::CalculatorDialog calculator;
        box.setText(QStringLiteral("12,5"));
        QString shown;
        whenOpen([&](TCalculatorForm &form) {
            shown = form.DisplayLabel->text();
            click(form, "* 3 =");
            form.OkButton->click();
        });
        kw::runQuickCalculator(&box, calculator);
        QCOMPARE(shown, QStringLiteral("12,5"));
        QCOMPARE(box.text(), QStringLiteral("37,5"));
        QCOMPARE(calculator.value(), 37.5);

        // The general number format: at most 15 significant digits, no grouping.
        whenOpen([&](TCalculatorForm &form) {
            click(form, "C 1 2 3 4 5 6 7 + 1 / 3 =");
            form.OkButton->click();
        });
        kw::runQuickCalculator(&box, calculator);
        QCOMPARE(box.text(), QStringLiteral("411522,666666667"));

        // Grouped digits as the user may type them are a number too.
        box.setText(QStringLiteral("1 000"));
        whenOpen([&](TCalculatorForm &form) {
            shown = form.DisplayLabel->text();
            form.OkButton->click();
        });
        kw::runQuickCalculator(&box, calculator);
        QCOMPARE(shown, QStringLiteral("1000"));
        QCOMPARE(box.text(), QStringLiteral("1000"));
    }

    void quickCalculatorOnABoxThatIsNotANumber()
    {
        QLineEdit box;
        kw::CalculatorDialog calculator;
        calculator.setValue(8.25);
        QString shown, boxWhileOpen;
        for (const QString &text : {QStringLiteral("abc"), QString()}) {
            box.setText(text);
            whenOpen([&](TCalculatorForm &form) {
                shown = form.DisplayLabel->text();
                boxWhileOpen = box.text();
                click(form, "5");
                form.CancelButton->click();
            });
            kw::runQuickCalculator(&box, calculator);
            QCOMPARE(shown, QStringLiteral("8,25")); // the last value, not the box's text
            QCOMPARE(boxWhileOpen, QStringLiteral("0"));
            QCOMPARE(box.text(), QStringLiteral("0"));
            QCOMPARE(calculator.value(), 8.25);
        }
        QVERIFY(messages.isEmpty()); // silently
    }
};

QTEST_MAIN(CalcDialogTest)
#include "CalcDialogTest.moc"
