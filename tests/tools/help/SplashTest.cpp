// The splash window: its look, its logo, and that start-up can tell when it has been painted.
#include "HelpTestSupport.h"
#include "tools/help/Artwork.h"
#include "tools/help/UnitLogo.h"

#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

class SplashTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland)); }

    void hasNoFrameAndItsSize()
    {
        TFormLogo logo;
        QVERIFY(logo.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(logo.windowFlags() & Qt::WindowType_Mask, Qt::SplashScreen);
        QCOMPARE(logo.size(), QSize(301, 201));
        logo.show();
        QVERIFY(QTest::qWaitForWindowExposed(&logo));
        QCOMPARE(logo.size(), QSize(301, 201));
        const QPoint centre = logo.screen()->availableGeometry().center();
        QVERIFY((logo.geometry().center() - centre).manhattanLength() <= 2);
    }

    void theLogoIsTransparentAndCentred()
    {
        TFormLogo logo;
        auto *image = logo.findChild<QLabel *>(QStringLiteral("Image1"));
        QVERIFY(image);
        QCOMPARE(image->geometry(), QRect(10, 8, 281, 185));
        const QPixmap pixmap = image->pixmap();
        QCOMPARE(pixmap.deviceIndependentSize().toSize(), QSize(281, 185));
        const QImage picture = pixmap.toImage();
        QVERIFY(picture.hasAlphaChannel());
        QCOMPARE(picture.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(picture.pixelColor(picture.width() - 1, 0).alpha(), 0);
        // The cover of the book is solid.
        QCOMPARE(picture.pixelColor(picture.width() / 4, picture.height() / 2).alpha(), 255);
        // The upper right part, under the title, is left clear.
        for (int x = 90; x < 190; x += 5)
            QVERIFY2(picture.pixelColor(x, 2).alpha() == 0, qPrintable(QString::number(x)));
        // A sharper copy for screens with twice the pixels, of the same logical size.
        const QPixmap sharp = kw::logoPicture(2.0);
        QCOMPARE(sharp.size(), QSize(562, 370));
        QCOMPARE(sharp.deviceIndependentSize().toSize(), QSize(281, 185));
    }

    void theTitleOverTheLogo()
    {
        TFormLogo logo;
        auto *title = logo.findChild<QLabel *>(QStringLiteral("Label1"));
        QVERIFY(title);
        QCOMPARE(title->text(), QStringLiteral("Kwotnik 2.1"));
        QCOMPARE(title->pos(), QPoint(96, 8));
        QCOMPARE(title->font().pointSize(), 12);
        QVERIFY(title->font().bold());
        QCOMPARE(title->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        QVERIFY(title->geometry().right() < logo.width() - 3); // inside the bevel
        // Drawn above the picture, so the picture does not hide it.
        auto *image = logo.findChild<QLabel *>(QStringLiteral("Image1"));
        QVERIFY(logo.children().indexOf(title) > logo.children().indexOf(image));
    }

    void thePanelHasABorderAndALoweredBevel()
    {
        TFormLogo logo;
        logo.show();
        QVERIFY(QTest::qWaitForWindowExposed(&logo));
        const QImage shot = logo.grab().toImage();
        const QPalette pal = logo.palette();
        QCOMPARE(shot.pixelColor(0, 0).rgb(), pal.color(QPalette::Shadow).rgb());
        QCOMPARE(shot.pixelColor(300, 200).rgb(), pal.color(QPalette::Shadow).rgb());
        // Lowered: dark along the top and left, light along the bottom and right.
        QCOMPARE(shot.pixelColor(150, 1).rgb(), pal.color(QPalette::Dark).rgb());
        QCOMPARE(shot.pixelColor(1, 100).rgb(), pal.color(QPalette::Dark).rgb());
        QCOMPARE(shot.pixelColor(150, 199).rgb(), pal.color(QPalette::Light).rgb());
        QCOMPARE(shot.pixelColor(299, 100).rgb(), pal.color(QPalette::Light).rgb());
        kw::test::renderIfAsked(&logo, QStringLiteral("splash"));
    }

    void tellsWhenItHasBeenPainted()
    {
        TFormLogo logo;
        QSignalSpy painted(&logo, &TFormLogo::painted);
        QVERIFY(!logo.isPainted());
        logo.show();
        logo.repaint(); // what start-up does, before any event loop runs
        QVERIFY(logo.isPainted());
        QCOMPARE(painted.count(), 1);
        logo.repaint();
        QCOMPARE(painted.count(), 1); // once only
    }

    void theIconComesInEverySize()
    {
        const QIcon icon = kw::appIcon();
        QVERIFY(!icon.isNull());
        for (const int size : {16, 24, 32, 48, 64, 128, 256})
            QCOMPARE(icon.pixmap(QSize(size, size), 1.0).size(), QSize(size, size));
        const QImage small = icon.pixmap(QSize(16, 16), 1.0).toImage();
        QCOMPARE(small.pixelColor(0, 15).alpha(), 0); // transparent corner
    }
};

QTEST_MAIN(SplashTest)
#include "SplashTest.moc"
