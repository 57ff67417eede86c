// The about box: what it shows, that it does not block the program, and that there is only one.
#include "HelpTestSupport.h"
#include "tools/help/UnitA.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

class AboutTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland)); }

    void showsTitleSystemsIconAndNotice()
    {
        TFormA about;
        about.showAbout();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.windowTitle(), QStringLiteral("  About"));
        QCOMPARE(about.size(), QSize(250, 281));
        QCOMPARE(about.minimumSize(), about.maximumSize()); // the user cannot resize it
        QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(about.windowFlags() & Qt::WindowMaximizeButtonHint));

        auto *title = about.findChild<QLabel *>(QStringLiteral("Label1"));
        QVERIFY(title);
        QCOMPARE(title->text(), QStringLiteral("Kwotnik 2.1"));
        QCOMPARE(title->font().pointSize(), 14);
        QVERIFY(title->font().bold() && title->font().italic());
        QCOMPARE(title->palette().color(QPalette::WindowText), QColor(0, 128, 128));
        auto *bevel = about.findChild<QFrame *>(QStringLiteral("Bevel1"));
        QVERIFY(bevel && bevel->geometry().contains(title->geometry()));
        QVERIFY(title->fontMetrics().horizontalAdvance(title->text()) <= title->width());
        QCOMPARE(bevel->width(), 234); // across the box

        QCOMPARE(about.findChild<QLabel *>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("Windows 95, 98, Me, 2000, NT"));
        auto *icon = about.findChild<QLabel *>(QStringLiteral("Image1"));
        QVERIFY(icon && !icon->pixmap().isNull());
        QCOMPARE(icon->pixmap().deviceIndependentSize().toSize(), QSize(32, 32));

        auto *notice = about.findChild<QLabel *>(QStringLiteral("Label3"));
        QVERIFY(notice);
        for (const char *part : {"Kwotnik", "wersja 2.1", "wyłącznie na tym komputerze", "Licencja MIT"})
            QVERIFY2(notice->text().contains(QString::fromUtf8(part)), part);
        QCOMPARE(notice->palette().color(QPalette::WindowText), QColor(128, 0, 128));
        QVERIFY(notice->wordWrap());
        QVERIFY(notice->alignment() & Qt::AlignHCenter);
        // The whole notice fits its place: nothing is cut off at the bottom.
        QVERIFY2(notice->heightForWidth(notice->width()) <= notice->height(),
                 qPrintable(QString::number(notice->heightForWidth(notice->width()))));

        auto *close = about.findChild<QPushButton *>(QStringLiteral("Button1"));
        QVERIFY(close);
        QCOMPARE(close->text(), QStringLiteral("Zamknij"));
        QVERIFY(close->geometry().top() > notice->geometry().bottom());
        auto *status = about.findChild<QStatusBar *>(QStringLiteral("StatusBar1"));
        QVERIFY(status);
        QVERIFY(status->currentMessage().isEmpty());
        QCOMPARE(status->geometry().bottom(), about.height() - 1);
        QVERIFY(close->geometry().bottom() < status->geometry().top());

        // Centred on the screen.
        const QPoint centre = about.screen()->availableGeometry().center();
        QVERIFY((about.frameGeometry().center() - centre).manhattanLength() <= 2);
        kw::test::renderIfAsked(&about, QStringLiteral("about"));

        close->click();
        QVERIFY(!about.isVisible());
    }

    void doesNotBlockTheMainWindow()
    {
        QWidget main;
        auto *button = new QPushButton(QStringLiteral("Dzień"), &main);
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        TFormA about(&main);
        about.showAbout();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(!about.isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
        QVERIFY(about.isVisible());
    }

    void closingTheMainWindowEndsTheProgramWhileTheBoxIsOpen()
    {
        QWidget main;
        main.show();
        TFormA about; // created without a parent, as at start-up
        about.showAbout();
        QApplication::setQuitOnLastWindowClosed(true);
        QTimer::singleShot(0, &main, &QWidget::close);
        bool stillRunning = false;
        QTimer::singleShot(3000, qApp, [&] {
            stillRunning = true;
            QCoreApplication::quit();
        });
        QCoreApplication::exec();
        QVERIFY2(!stillRunning, "the open about box kept the program running");
    }

    void aSecondAboutBringsTheSameBoxForward()
    {
        TFormA about;
        about.showAbout();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        about.move(about.pos() + QPoint(40, 30));
        const QPoint moved = about.pos();
        about.showMinimized();
        about.showAbout();
        QVERIFY(about.isVisible() && !about.isMinimized());
        QCOMPARE(about.pos(), moved); // not put back in the centre
        int boxes = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            boxes += (qobject_cast<TFormA *>(w) && w->isVisible()) ? 1 : 0;
        QCOMPARE(boxes, 1);

        // Closed with Esc or "Zamknij", it comes back the same.
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!about.isVisible());
        about.showAbout();
        QVERIFY(about.isVisible());
        QCOMPARE(about.pos(), moved);
    }
};

QTEST_MAIN(AboutTest)
#include "AboutTest.moc"
