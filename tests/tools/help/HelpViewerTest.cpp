// The help viewer as the user meets it: contents, index with its search box, links, one window, and
// what happens when the help file is missing or unreadable.
#include "tools/help/HelpViewer.h"
#include "HelpTestSupport.h"
#include "framework/Messages.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <unistd.h>

using namespace kw::help;

namespace {

const char *const SmallHelp = R"(# test help
== Początek {start}
@indeks: start; budżet
Witaj. Zobacz [[dzien|nowy dzień]] albo [[kwoty]].
=== Kwoty {kwoty}
@indeks: kwota; budżet miesiąca; Budżet
Przecinek dziesiętny. Wróć do [[start]].
=== Uwagi {uwagi}
@indeks: uwagi
Do 50 znaków.
== Nowy dzień {dzien}
@indeks: dzień; Wpis pod tą datą już istnieje
> Wpis pod tą datą już istnieje !!!
)";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList texts(QTreeWidget *tree, bool withChildren = false)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = tree->topLevelItem(i);
        out.append(item->text(0));
        if (withChildren)
            for (int c = 0; c < item->childCount(); ++c)
                out.append(QStringLiteral("  ") + item->child(c)->text(0));
    }
    return out;
}

} // namespace

class HelpViewerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir work_;
    QTemporaryDir data_;
    QList<kw::MessageRequest> messages_;

    template <class T> T *part(const char *name)
    {
        HelpViewer *v = viewer();
        return v ? v->findChild<T *>(QLatin1String(name)) : nullptr;
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        QVERIFY(work_.isValid() && data_.isValid());
        // Keep the user's own installed help out of the search.
        qputenv("XDG_DATA_HOME", data_.filePath(QStringLiteral("home")).toUtf8());
        qputenv("XDG_DATA_DIRS", data_.filePath(QStringLiteral("system")).toUtf8());
        QVERIFY(QDir::setCurrent(work_.path()));
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages_.append(r);
            return int(kw::Ok);
        });
    }

    void init()
    {
        destroyViewer();
        messages_.clear();
        setHelpFile(QStringLiteral("POMOC.HLP"));
        QFile::remove(work_.filePath(QStringLiteral("POMOC.HLP")));
        writeFile(work_.filePath(QStringLiteral("POMOC.HLP")), SmallHelp);
    }

    void cleanupTestCase()
    {
        destroyViewer();
        kw::setMessageHandler(nullptr);
    }

    void contentsAndIndexFromASmallFile()
    {
        QVERIFY(showTopics());
        QVERIFY(messages_.isEmpty());
        HelpViewer *v = viewer();
        QVERIFY(v && v->isVisible());
        QCOMPARE(v->windowTitle(), QStringLiteral("Pomoc – Kwotnik 2.1"));

        auto *contents = part<QTreeWidget>("Contents");
        QVERIFY(contents);
        QCOMPARE(texts(contents, true),
                 (QStringList{QStringLiteral("Początek"), QStringLiteral("  Kwoty"),
                              QStringLiteral("  Uwagi"), QStringLiteral("Nowy dzień")}));
        QCOMPARE(part<QTabWidget>("Tabs")->currentIndex(), 0);
        QCOMPARE(v->currentTopic(), QStringLiteral("start"));
        QVERIFY(part<QTextBrowser>("TopicText")->toPlainText().startsWith(QStringLiteral("Początek")));

        auto *index = part<QTreeWidget>("Index");
        QCOMPARE(texts(index),
                 (QStringList{QStringLiteral("budżet"), QStringLiteral("budżet miesiąca"),
                              QStringLiteral("dzień"), QStringLiteral("kwota"), QStringLiteral("start"),
                              QStringLiteral("uwagi"), QStringLiteral("Wpis pod tą datą już istnieje")}));

        // Choosing a topic in the contents shows it.
        contents->setCurrentItem(contents->topLevelItem(1));
        QCOMPARE(v->currentTopic(), QStringLiteral("dzien"));
        QVERIFY(part<QTextBrowser>("TopicText")
                    ->toPlainText()
                    .contains(QStringLiteral("Wpis pod tą datą już istnieje !!!")));
        kw::test::renderIfAsked(v, QStringLiteral("help-small"));
    }

    void indexSearchNarrowsAsYouType()
    {
        QVERIFY(showTopics());
        HelpViewer *v = viewer();
        v->showIndexPage();
        auto *search = part<QLineEdit>("IndexSearch");
        auto *index = part<QTreeWidget>("Index");
        QVERIFY(search && index);

        QTest::keyClicks(search, QStringLiteral("b"));
        QCOMPARE(texts(index), (QStringList{QStringLiteral("budżet"), QStringLiteral("budżet miesiąca")}));
        QTest::keyClicks(search, QStringLiteral("udzet m"));
        QCOMPARE(texts(index), QStringList{QStringLiteral("budżet miesiąca")});
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(v->currentTopic(), QStringLiteral("kwoty"));

        // Back to a shorter text widens the list again; a keyword of two topics lists both.
        search->clear();
        QTest::keyClicks(search, QStringLiteral("BUDZ"));
        QCOMPARE(texts(index, true),
                 (QStringList{QStringLiteral("budżet"), QStringLiteral("  Początek"),
                              QStringLiteral("  Kwoty"), QStringLiteral("budżet miesiąca")}));

        // Arrow keys in the search box walk the list and open what they reach.
        search->clear();
        QTest::keyClicks(search, QStringLiteral("wpis"));
        QCOMPARE(texts(index), QStringList{QStringLiteral("Wpis pod tą datą już istnieje")});
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(v->currentTopic(), QStringLiteral("dzien"));

        search->clear();
        QTest::keyClicks(search, QStringLiteral("u"));
        QCOMPARE(texts(index), QStringList{QStringLiteral("uwagi")});

        QTest::keyClicks(search, QStringLiteral("xq"));
        QCOMPARE(index->topLevelItemCount(), 1);
        QVERIFY(!(index->topLevelItem(0)->flags() & Qt::ItemIsEnabled));
        QTest::keyClick(search, Qt::Key_Return); // nothing to open
        QCOMPARE(v->currentTopic(), QStringLiteral("dzien"));
        kw::test::renderIfAsked(v, QStringLiteral("help-small-index"));
    }

    void linksAndHistory()
    {
        QVERIFY(showTopics());
        HelpViewer *v = viewer();
        auto *text = part<QTextBrowser>("TopicText");
        auto *back = part<QToolButton>("Back");
        auto *forward = part<QToolButton>("Forward");
        QVERIFY(!back->isEnabled() && !forward->isEnabled());

        // Follow the first link with the keyboard, as a user without a mouse would.
        v->activateWindow();
        text->setFocus();
        QTest::keyClick(text, Qt::Key_Tab);
        QTest::keyClick(text, Qt::Key_Return);
        QCOMPARE(v->currentTopic(), QStringLiteral("dzien"));
        QVERIFY(back->isEnabled());

        emit text->anchorClicked(QUrl(QStringLiteral("topic:kwoty")));
        QCOMPARE(v->currentTopic(), QStringLiteral("kwoty"));
        // The contents follow the topic shown.
        QCOMPARE(part<QTreeWidget>("Contents")->currentItem()->text(0), QStringLiteral("Kwoty"));
        // A link to nowhere or another scheme changes nothing.
        emit text->anchorClicked(QUrl(QStringLiteral("topic:nie-ma")));
        emit text->anchorClicked(QUrl(QStringLiteral("https://example.org/")));
        QCOMPARE(v->currentTopic(), QStringLiteral("kwoty"));

        back->click();
        QCOMPARE(v->currentTopic(), QStringLiteral("dzien"));
        back->click();
        QCOMPARE(v->currentTopic(), QStringLiteral("start"));
        QVERIFY(!back->isEnabled());
        forward->click();
        QCOMPARE(v->currentTopic(), QStringLiteral("dzien"));
        // A new topic after going back drops the way forward.
        QVERIFY(v->showTopic(QStringLiteral("uwagi")));
        QVERIFY(!forward->isEnabled());
        QVERIFY(!v->showTopic(QStringLiteral("nie-ma")));
        QCOMPARE(v->currentTopic(), QStringLiteral("uwagi"));
    }

    void openingAgainBringsTheSameWindowForward()
    {
        QVERIFY(showTopics());
        HelpViewer *first = viewer();
        first->showTopic(QStringLiteral("uwagi"));
        first->showMinimized();
        QVERIFY(showTopics());
        QCOMPARE(viewer(), first);
        QVERIFY(first->isVisible());
        QVERIFY(!first->isMinimized());
        QCOMPARE(first->currentTopic(), QStringLiteral("uwagi")); // where the user left it
        int windows = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            windows += qobject_cast<HelpViewer *>(w) ? 1 : 0;
        QCOMPARE(windows, 1);

        first->close();
        QVERIFY(showTopics());
        QCOMPARE(viewer(), first);
        QVERIFY(first->isVisible());

        // Opening on one topic uses the same window too.
        QVERIFY(showTopic(QStringLiteral("kwoty")));
        QCOMPARE(viewer(), first);
        QCOMPARE(first->currentTopic(), QStringLiteral("kwoty"));
    }

    void closingTheMainWindowEndsTheProgramWhileTheHelpIsOpen()
    {
        QWidget main;
        main.show();
        QVERIFY(showTopics());
        QVERIFY(viewer()->isVisible());
        QApplication::setQuitOnLastWindowClosed(true);
        QTimer::singleShot(0, &main, &QWidget::close);
        bool stillRunning = false;
        QTimer::singleShot(3000, qApp, [&] {
            stillRunning = true;
            QCoreApplication::quit();
        });
        QCoreApplication::exec();
        QVERIFY2(!stillRunning, "the open help kept the program running");
        QCOMPARE(viewer(), nullptr); // and it went with the program
    }

    void anEditedFileIsReadAgain()
    {
        QVERIFY(showTopics());
        HelpViewer *v = viewer();
        QTest::qWait(20); // a later modification time
        writeFile(work_.filePath(QStringLiteral("POMOC.HLP")),
                  "== Nowy {nowy}\n@indeks: nowe\nTekst.\n== Drugi {drugi}\nx\n");
        QFile(work_.filePath(QStringLiteral("POMOC.HLP")))
            .setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
        QVERIFY(showTopics());
        QCOMPARE(viewer(), v);
        QCOMPARE(texts(part<QTreeWidget>("Contents")),
                 (QStringList{QStringLiteral("Nowy"), QStringLiteral("Drugi")}));
        QCOMPARE(v->currentTopic(), QStringLiteral("nowy"));
    }

    void theWorkingDirectoryComesBeforeTheInstalledCopy()
    {
        const QString installed = data_.filePath(QStringLiteral("home/kwotnik"));
        QVERIFY(QDir().mkpath(installed));
        writeFile(installed + QStringLiteral("/POMOC.HLP"), "== Zainstalowana {inst}\n@indeks: x\ny\n");
        QVERIFY(showTopics());
        QCOMPARE(viewer()->currentTopic(), QStringLiteral("start"));

        destroyViewer();
        QFile::remove(work_.filePath(QStringLiteral("POMOC.HLP")));
        QVERIFY(showTopics());
        QCOMPARE(viewer()->currentTopic(), QStringLiteral("inst"));
        QCOMPARE(viewer()->documentPath(), installed + QStringLiteral("/POMOC.HLP"));
        QFile::remove(installed + QStringLiteral("/POMOC.HLP"));
        QVERIFY(messages_.isEmpty());
    }

    void aMissingFileIsReportedAndNothingOpens()
    {
        const QString name = QStringLiteral("BRAK-%1.HLP").arg(QCoreApplication::applicationPid());
        setHelpFile(name);
        QVERIFY(!showTopics());
        QCOMPARE(viewer(), nullptr);
        QCOMPARE(messages_.size(), 1);
        const kw::MessageRequest &m = messages_.first();
        QCOMPARE(m.title, QStringLiteral("Pomoc – Kwotnik 2.1"));
        QCOMPARE(m.buttons, int(kw::Ok));
        QVERIFY2(m.text.startsWith(QStringLiteral("Nie znaleziono pliku pomocy %1.").arg(name)),
                 qPrintable(m.text));
        QVERIFY(m.text.contains(QDir::toNativeSeparators(work_.path())));

        // An open window stays as it was when the file disappears; the message says why nothing changed.
        setHelpFile(QStringLiteral("POMOC.HLP"));
        QVERIFY(showTopics());
        HelpViewer *v = viewer();
        v->showTopic(QStringLiteral("kwoty"));
        QFile::remove(work_.filePath(QStringLiteral("POMOC.HLP")));
        messages_.clear();
        QVERIFY(!showTopics());
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(viewer(), v);
        QCOMPARE(v->currentTopic(), QStringLiteral("kwoty"));
    }

    void anUnreadableFileIsReported()
    {
        writeFile(work_.filePath(QStringLiteral("POMOC.HLP")), "== Pomoc\nz\xB3y znak\n");
        QVERIFY(!showTopics());
        QCOMPARE(viewer(), nullptr);
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.first().text.contains(QStringLiteral("UTF-8")),
                 qPrintable(messages_.first().text));

        messages_.clear();
        writeFile(work_.filePath(QStringLiteral("POMOC.HLP")), "# nothing but comments\n");
        QVERIFY(!showTopics());
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_.first().text.contains(QStringLiteral("żadnego tematu")));

        if (::geteuid() != 0) {
            messages_.clear();
            writeFile(work_.filePath(QStringLiteral("POMOC.HLP")), SmallHelp);
            QFile::setPermissions(work_.filePath(QStringLiteral("POMOC.HLP")), QFileDevice::WriteOwner);
            QVERIFY(!showTopics());
            QCOMPARE(messages_.size(), 1);
            QVERIFY(messages_.first().text.contains(QStringLiteral("uprawnień")));
        }
    }

    void theShippedHelpOpens()
    {
        QFile::remove(work_.filePath(QStringLiteral("POMOC.HLP")));
        QVERIFY(QFile::copy(QStringLiteral(KW_HELP_SOURCE), work_.filePath(QStringLiteral("POMOC.HLP"))));
        QVERIFY(showTopics());
        QVERIFY(messages_.isEmpty());
        HelpViewer *v = viewer();
        QCOMPARE(v->currentTopic(), QStringLiteral("start"));
        v->resize(860, 600);
        kw::test::renderIfAsked(v, QStringLiteral("help-start"));
        QVERIFY(v->showTopic(QStringLiteral("komunikaty-kwoty")));
        kw::test::renderIfAsked(v, QStringLiteral("help-messages"));
        v->showIndexPage();
        QTest::keyClicks(part<QLineEdit>("IndexSearch"), QStringLiteral("kopia z"));
        QTest::keyClick(part<QLineEdit>("IndexSearch"), Qt::Key_Return);
        QCOMPARE(v->currentTopic(), QStringLiteral("kopia-zapasowa"));
        kw::test::renderIfAsked(v, QStringLiteral("help-index-backup"));
    }
};

QTEST_MAIN(HelpViewerTest)
#include "HelpViewerTest.moc"
