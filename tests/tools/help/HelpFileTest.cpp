// The help file format: topics, index, links, search, loading, and the help file the program ships.
#include "tools/help/HelpFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace kw::help;

namespace {

const char *const SmallFile = R"(# a comment before anything
== Pierwszy temat {start}
@indeks: Budżet; światła
Pierwszy akapit
ciągnie się dalej.

Zob. [[dzien]] oraz [[dzien|nowy dzień]].
=== Pod tematem {pod}
@indeks: budżet; Żywność
- punkt jeden
  ciąg dalszy punktu
- punkt dwa
> Wpis pod tą datą już istnieje !!!
> drugi wiersz
== Dzień {dzien}
@indeks: Dzień; Zmiana dnia
@indeks: ąę <b>
Tekst z **wyróżnieniem** i <znakami> & [[brak|martwy odsyłacz]].
)";

QStringList keywords(const QList<IndexEntry> &entries)
{
    QStringList out;
    for (const IndexEntry &e : entries)
        out.append(e.keyword);
    return out;
}

} // namespace

TEST(HelpFile, TopicsLevelsAndBlocks)
{
    const HelpFile f = HelpFile::parse(QString::fromUtf8(SmallFile));
    ASSERT_EQ(f.topics().size(), 3);
    EXPECT_EQ(f.startTopic(), QStringLiteral("start"));
    EXPECT_EQ(f.topics()[0].title, QStringLiteral("Pierwszy temat"));
    EXPECT_EQ(f.topics()[0].level, 1);
    EXPECT_EQ(f.topics()[0].line, 2);
    EXPECT_EQ(f.topics()[1].level, 2);
    EXPECT_EQ(f.topics()[2].title, QStringLiteral("Dzień"));

    const Topic &first = f.topics()[0];
    ASSERT_EQ(first.blocks.size(), 2);
    EXPECT_EQ(first.blocks[0].text, QStringLiteral("Pierwszy akapit ciągnie się dalej."));
    EXPECT_EQ(first.links, (QStringList{QStringLiteral("dzien"), QStringLiteral("dzien")}));

    const Topic &sub = f.topics()[1];
    ASSERT_EQ(sub.blocks.size(), 3);
    EXPECT_EQ(sub.blocks[0].kind, Block::Bullet);
    EXPECT_EQ(sub.blocks[0].text, QStringLiteral("punkt jeden ciąg dalszy punktu"));
    EXPECT_EQ(sub.blocks[1].kind, Block::Bullet);
    EXPECT_EQ(sub.blocks[2].kind, Block::Quote);
    EXPECT_EQ(sub.blocks[2].text, QStringLiteral("Wpis pod tą datą już istnieje !!!\ndrugi wiersz"));
}

TEST(HelpFile, IndexMergesKeywordsAndSortsThemThePolishWay)
{
    const HelpFile f = HelpFile::parse(QString::fromUtf8(SmallFile));
    // "Budżet" and "budżet" are one keyword leading to two topics; ą sorts after a, Ż after z.
    EXPECT_EQ(keywords(f.index()), (QStringList{QStringLiteral("ąę <b>"), QStringLiteral("Budżet"),
                                                QStringLiteral("Dzień"), QStringLiteral("światła"),
                                                QStringLiteral("Zmiana dnia"), QStringLiteral("Żywność")}));
    const IndexEntry &budget = f.index()[1];
    EXPECT_EQ(budget.topicIds, (QStringList{QStringLiteral("start"), QStringLiteral("pod")}));
}

TEST(HelpFile, SearchNarrowsByWordBeginningsIgnoringCaseAndDiacritics)
{
    const HelpFile f = HelpFile::parse(QString::fromUtf8(SmallFile));
    EXPECT_EQ(keywords(f.searchIndex(QString())), keywords(f.index()));
    EXPECT_EQ(keywords(f.searchIndex(QStringLiteral("   "))), keywords(f.index()));
    EXPECT_EQ(keywords(f.searchIndex(QStringLiteral("b"))),
              (QStringList{QStringLiteral("ąę <b>"), QStringLiteral("Budżet")}));
    EXPECT_EQ(keywords(f.searchIndex(QStringLiteral("bu"))), QStringList{QStringLiteral("Budżet")});
    EXPECT_EQ(keywords(f.searchIndex(QStringLiteral("BUDZET"))), QStringList{QStringLiteral("Budżet")});
    EXPECT_EQ(keywords(f.searchIndex(QStringLiteral("zyw"))), QStringList{QStringLiteral("Żywność")});
    // Any word of the keyword may match, and every typed word must.
    EXPECT_EQ(keywords(f.searchIndex(QStringLiteral("dni"))), QStringList{QStringLiteral("Zmiana dnia")});
    EXPECT_EQ(keywords(f.searchIndex(QStringLiteral("dni zm"))), QStringList{QStringLiteral("Zmiana dnia")});
    EXPECT_TRUE(f.searchIndex(QStringLiteral("dni xyz")).isEmpty());
    // Inside a word is not a beginning.
    EXPECT_TRUE(f.searchIndex(QStringLiteral("udż")).isEmpty());
}

TEST(HelpFile, HtmlEscapesTextAndLinksOnlyToExistingTopics)
{
    const HelpFile f = HelpFile::parse(QString::fromUtf8(SmallFile));
    const QString start = f.topicHtml(QStringLiteral("start"));
    EXPECT_TRUE(start.contains(QStringLiteral("<a href=\"topic:dzien\">Dzień</a>"))) << start.toStdString();
    EXPECT_TRUE(start.contains(QStringLiteral("<a href=\"topic:dzien\">nowy dzień</a>")));
    EXPECT_TRUE(start.contains(QStringLiteral("<a href=\"topic:pod\">Pod tematem</a>")))
        << "sub-topics listed";

    const QString day = f.topicHtml(QStringLiteral("dzien"));
    EXPECT_TRUE(day.contains(QStringLiteral("<b>wyróżnieniem</b>")));
    EXPECT_TRUE(day.contains(QStringLiteral("&lt;znakami&gt; &amp;")));
    EXPECT_FALSE(day.contains(QStringLiteral("<znakami>")));
    EXPECT_TRUE(day.contains(QStringLiteral("martwy odsyłacz")));
    EXPECT_FALSE(day.contains(QStringLiteral("topic:brak")));

    const QString sub = f.topicHtml(QStringLiteral("pod"));
    EXPECT_TRUE(sub.contains(QStringLiteral("Wpis pod tą datą już istnieje !!!<br>drugi wiersz")));
    EXPECT_TRUE(sub.contains(QStringLiteral("<a href=\"topic:start\">Pierwszy temat</a>")))
        << "the parent is linked";
    EXPECT_EQ(sub.count(QStringLiteral("<li>")), 2);
    EXPECT_TRUE(f.topicHtml(QStringLiteral("nie-ma")).isEmpty());
}

TEST(HelpFile, ProblemsAreReportedWithLinesAndTheFileStaysUsable)
{
    const QString text = QStringLiteral("stray text\n"
                                        "=== Orphan {a}\n"
                                        "== Second {a}\n"
                                        "== Bad Name {Zła Nazwa}\n"
                                        "@unknown: x\n"
                                        "See [[nowhere]].\n"
                                        "== Żółta łódź\n"
                                        "==\n");
    const HelpFile f = HelpFile::parse(text);
    QStringList seen;
    for (const Problem &p : f.problems())
        seen.append(QString::number(p.line) + QLatin1Char(':') + p.text);
    ASSERT_EQ(f.problems().size(), 7) << seen.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(f.problems()[0].line, 1); // stray text
    EXPECT_EQ(f.problems()[1].line, 2); // level 2 without a parent
    EXPECT_EQ(f.problems()[2].line, 3); // duplicate name
    EXPECT_TRUE(f.problems()[2].text.contains(QStringLiteral("wierszu 2")));
    ASSERT_EQ(f.topics().size(), 5);
    EXPECT_EQ(f.topics()[0].level, 1);
    EXPECT_EQ(f.topics()[1].id, QStringLiteral("a-2"));
    EXPECT_EQ(f.topics()[2].id, QStringLiteral("bad-name"));
    EXPECT_EQ(f.topics()[3].id, QStringLiteral("zolta-lodz"));
    EXPECT_TRUE(seen.join(QLatin1Char('\n')).contains(QStringLiteral("nowhere")));
}

TEST(HelpFile, LineEndingsAndByteOrderMarkDoNotMatter)
{
    const QByteArray unix = "== A {a}\n@indeks: x\ntext\n";
    const QByteArray dos = "\xEF\xBB\xBF== A {a}\r\n@indeks: x\r\ntext\r\n";
    const QByteArray mac = "== A {a}\r@indeks: x\rtext\r";
    for (const QByteArray &bytes : {unix, dos, mac}) {
        const LoadResult r = parseHelpBytes(bytes, QStringLiteral("x.hlp"));
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        ASSERT_EQ(r.file.topics().size(), 1);
        EXPECT_EQ(r.file.topics()[0].title, QStringLiteral("A"));
        EXPECT_EQ(r.file.topics()[0].keywords, QStringList{QStringLiteral("x")});
        EXPECT_EQ(r.file.topics()[0].blocks[0].text, QStringLiteral("text"));
    }
}

TEST(HelpFile, UnreadableContentIsRefusedWithAReason)
{
    const LoadResult latin2 = parseHelpBytes("== A\nok\n== B\nz\xB3y\n", QStringLiteral("POMOC.HLP"));
    EXPECT_FALSE(latin2.ok);
    EXPECT_TRUE(latin2.error.contains(QStringLiteral("UTF-8"))) << latin2.error.toStdString();
    EXPECT_TRUE(latin2.error.contains(QStringLiteral("wiersz 4"))) << latin2.error.toStdString();

    const LoadResult utf16 = parseHelpBytes(QByteArray("\xFF\xFE=\0=\0", 6), QStringLiteral("POMOC.HLP"));
    EXPECT_FALSE(utf16.ok);
    EXPECT_TRUE(utf16.error.contains(QStringLiteral("UTF-16")));

    const LoadResult binary = parseHelpBytes(QByteArray("== A\n\0\x01", 7), QStringLiteral("POMOC.HLP"));
    EXPECT_FALSE(binary.ok);

    const LoadResult empty = parseHelpBytes("# only a comment\n", QStringLiteral("POMOC.HLP"));
    EXPECT_FALSE(empty.ok);
    EXPECT_TRUE(empty.error.contains(QStringLiteral("żadnego tematu")));
}

TEST(HelpFile, LoadingFromDiskAndLookingItUp)
{
    QTemporaryDir first, second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    const QString missing = first.filePath(QStringLiteral("POMOC.HLP"));
    const LoadResult none = loadHelpFile(missing);
    EXPECT_FALSE(none.ok);
    EXPECT_TRUE(none.error.contains(QStringLiteral("Nie znaleziono"))) << none.error.toStdString();

    EXPECT_TRUE(locateHelpFile(QStringLiteral("POMOC.HLP"), {first.path(), second.path()}).isEmpty());

    // Found in the later directory, whatever the letter case on disk.
    QFile later(second.filePath(QStringLiteral("pomoc.hlp")));
    ASSERT_TRUE(later.open(QIODevice::WriteOnly));
    later.write("== Later {later}\n");
    later.close();
    EXPECT_EQ(locateHelpFile(QStringLiteral("POMOC.HLP"), {first.path(), second.path()}), later.fileName());

    // The earlier directory wins once it has the file.
    QFile earlier(missing);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("== Earlier {earlier}\n");
    earlier.close();
    const QString found = locateHelpFile(QStringLiteral("POMOC.HLP"), {first.path(), second.path()});
    EXPECT_EQ(found, missing);
    const LoadResult loaded = loadHelpFile(found);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.file.startTopic(), QStringLiteral("earlier"));

    // A directory of that name is not a help file.
    ASSERT_TRUE(QDir(first.path()).mkdir(QStringLiteral("DIR.HLP")));
    EXPECT_FALSE(loadHelpFile(first.filePath(QStringLiteral("DIR.HLP"))).ok);

    // The working directory is searched first.
    EXPECT_EQ(helpSearchPath().value(0), QDir::cleanPath(QDir::currentPath()));
}

TEST(HelpFile, UnreadableFileOnDiskIsReported)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("POMOC.HLP")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("== A\n");
    f.close();
    f.setPermissions(QFileDevice::WriteOwner);
    const LoadResult r = loadHelpFile(f.fileName());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("uprawnień"))) << r.error.toStdString();
}

// The help file the program ships: it must load cleanly and cover what the user meets.
TEST(ShippedHelp, LoadsWithoutProblemsAndEveryTopicIsIndexed)
{
    const LoadResult r = loadHelpFile(QStringLiteral(KW_HELP_SOURCE));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    for (const Problem &p : r.file.problems())
        ADD_FAILURE() << "line " << p.line << ": " << p.text.toStdString();
    EXPECT_GE(r.file.topics().size(), 30);
    for (const Topic &t : r.file.topics()) {
        EXPECT_FALSE(t.keywords.isEmpty()) << t.id.toStdString();
        EXPECT_FALSE(t.blocks.isEmpty()) << t.id.toStdString();
    }
    // Every topic can be reached by a link from somewhere (the contents list aside).
    QStringList linked{r.file.startTopic()};
    for (const Topic &t : r.file.topics())
        linked += t.links;
    for (const Topic &t : r.file.topics())
        if (t.level == 2)
            linked.append(t.id); // listed under its parent
    for (const Topic &t : r.file.topics())
        EXPECT_TRUE(linked.contains(t.id)) << t.id.toStdString() << " is not linked from any topic";
}

TEST(ShippedHelp, EveryMessageOfTheProgramIsExplained)
{
    const LoadResult r = loadHelpFile(QStringLiteral(KW_HELP_SOURCE));
    ASSERT_TRUE(r.ok);
    QString quoted;
    for (const Topic &t : r.file.topics())
        for (const Block &b : t.blocks)
            if (b.kind == Block::Quote)
                quoted += b.text + QLatin1Char('\n');
    const QStringList messages = {
        QStringLiteral("Wpis pod tą datą już istnieje !!!"),
        QStringLiteral("W polu bez wartości wpisz 0 (zero) !"),
        QStringLiteral("Ten miesiąc nie ma takiego dnia !"),
        QStringLiteral("Brak wpisu dnia !"),
        QStringLiteral("Wpisz rok cyframi (najwyżej 5 cyfr) !"),
        QStringLiteral("Niewłaściwy format wpisu !!!"),
        QStringLiteral("Program zostanie zamknięty."),
        QStringLiteral("Uruchom go ponownie."),
        QStringLiteral("Czy na pewno usunąć zaznaczony rekord ???"),
        QStringLiteral("Dane są już otwarte w innym oknie programu."),
        QStringLiteral("Cannot perform this operation on a closed dataset"),
        QStringLiteral("Cannot perform this operation on an empty dataset"),
        QStringLiteral("Dataset not in edit or insert mode"),
        QStringLiteral("nie istnieje w katalogu"),
        QStringLiteral(
            "Nie można zapisać pliku Wydatki.dbf: brak miejsca na dysku. Nic nie zostało zapisane."),
        QStringLiteral("został zmieniony przez inny program"),
        QStringLiteral("zawiera niedokończoną zmianę tabel, której nie można cofnąć"),
        QStringLiteral("jest uszkodzony (wpis nr"),
        QStringLiteral("Program nie dopisze wpisu do pliku"),
        QStringLiteral("Czy zapisać wprowadzone zmiany"),
        QStringLiteral("Zamienić istniejący plik  "),
        QStringLiteral("Czy zamienić istniejący plik"),
        QStringLiteral("Czy na pewno usunąć zawartość Edytora ?"),
        QStringLiteral("Cannot open file"),
        QStringLiteral("Failed to Load Stream"),
        QStringLiteral("is not a valid integer value"),
        QStringLiteral("is not a valid floating point value"),
        QStringLiteral("Error"),
        QStringLiteral("Nie znaleziono pliku pomocy POMOC.HLP."),
        QStringLiteral("Nie można zrobić kopii zapasowej danych w folderze"),
        // The statements: the empty preview, and `kwotnik-ledger statement`.
        QStringLiteral("Brak wpisów za ten okres – zestawienie jest puste i nie ma czego drukować."),
        QStringLiteral("Brak zapisanych lat – zestawienie jest puste i nie ma czego drukować."),
        QStringLiteral("podaj numer miesiąca od 1 do 12."),
        QStringLiteral("podaj rok cyframi (najwyżej 5 cyfr)."),
        QStringLiteral("podaj rodzaj zestawienia: monthly, yearly albo multiyear."),
        QStringLiteral("podaj monthly, yearly albo multiyear."),
        QStringLiteral("zestawienie miesięczne wymaga miesiąca, roku i nazwy pliku PDF."),
        QStringLiteral("zestawienie roczne wymaga roku i nazwy pliku PDF."),
        QStringLiteral("zestawienie wieloletnie wymaga tylko nazwy pliku PDF."),
        QStringLiteral("po --dir podaj katalog z tabelami programu."),
        QStringLiteral("nie istnieje: podaj katalog z tabelami programu."),
        QStringLiteral("zestawienie jest puste: brak wpisów za ten okres. Nie zapisano pliku"),
        QStringLiteral("zestawienie jest puste: brak zapisanych lat. Nie zapisano pliku"),
        QStringLiteral("Nie można zapisać pliku „marzec.pdf”: brak miejsca na dysku."),
        QStringLiteral("jest uszkodzony: w rekordzie nr"),
        QStringLiteral("co nie jest liczbą. Popraw ten rekord albo odtwórz plik z kopii zapasowej."),
        // Targets the companion refuses to write over.
        QStringLiteral(
            "to plik danych programu (Wydatki.dbf), zapis by go zniszczył; podaj inną nazwę pliku."),
        QStringLiteral("ten plik istnieje i nie jest plikiem PDF, więc nie zostanie zastąpiony"),
        QStringLiteral("brak prawa zapisu, więc nie zostanie zastąpiony"),
        QStringLiteral("to folder, nie plik; podaj nazwę pliku PDF."),
        QStringLiteral("to nie jest zwykły plik; podaj nazwę pliku PDF."),
        QStringLiteral("nie istnieje; podaj istniejący folder."),
        QStringLiteral("nie wolno zapisywać (brak prawa zapisu); wybierz inny folder."),
    };
    for (const QString &m : messages)
        EXPECT_TRUE(quoted.contains(m)) << "not explained: " << m.toStdString();
}

// Searching the shipped index as a user types without Polish letters, or with them.
TEST(ShippedHelp, IndexSearchIgnoresPolishDiacritics)
{
    const LoadResult r = loadHelpFile(QStringLiteral(KW_HELP_SOURCE));
    ASSERT_TRUE(r.ok);
    const auto leadsTo = [&](const QString &typed, const QString &title) {
        for (const IndexEntry &e : r.file.searchIndex(typed))
            for (const QString &id : e.topicIds)
                if (const Topic *t = r.file.topic(id); t && t->title == title)
                    return true;
        return false;
    };
    for (const char *typed : {"swiatla", "ŚWIATŁA", "Światła", "swiatlo budz", "SWIATLO"})
        EXPECT_TRUE(leadsTo(QString::fromUtf8(typed), QStringLiteral("Światła budżetu"))) << typed;
    EXPECT_TRUE(r.file.searchIndex(QStringLiteral("swiatlax")).isEmpty());
}
