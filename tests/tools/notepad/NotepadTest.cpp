// The notepad window driven as a user would, with its message boxes and standard dialogs answered
// through the seams. The program's first argument names a file that some tests create, so the
// reload on every show can be seen.
#include "framework/FileDialogs.h"
#include "framework/Hints.h"
#include "framework/Messages.h"
#include "tools/notepad/Rtf.h"
#include "tools/notepad/UnitNotatnik.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextList>
#include <QToolButton>

#include <deque>

namespace {

QString commandLineFile; // the program's first argument, set up in main()

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class NotepadTest : public QObject
{
    Q_OBJECT

    // Message boxes: what was asked, and the answers to give in turn (Ok when none is left).
    QStringList asked;
    std::deque<int> answers;
    // File dialogs: the requests, and the answers to give in turn (cancel when none is left).
    QList<kw::FileDialogRequest> fileRequests;
    std::deque<kw::FileDialogAnswer> fileAnswers;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TFormNotatnik> form;

    template <typename T> T *child(const char *name)
    {
        T *w = form->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    QTextEdit *edit() { return child<QTextEdit>("RichEdit1"); }
    QString panel(const char *name) { return child<QLabel>(name)->text(); }
    QString path(const QString &name) const { return dir->filePath(name); }

    static kw::FileDialogAnswer chose(const QString &path, int filterIndex = 0, bool readOnly = false)
    {
        return kw::FileDialogAnswer{true, path, filterIndex, readOnly};
    }

    // Typed key by key; letters outside Latin-1 come as key events carrying their text.
    void typeText(const QString &text)
    {
        for (const QChar ch : text) {
            if (ch.unicode() < 0x80)
                QTest::keyClick(edit(), ch.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, edit(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        asked.clear();
        answers.clear();
        fileRequests.clear();
        fileAnswers.clear();
        dir = std::make_unique<QTemporaryDir>();
        QFile::remove(commandLineFile);
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            asked << r.text;
            if (answers.empty())
                return int(kw::Ok);
            const int a = answers.front();
            answers.pop_front();
            return a;
        });
        kw::setFileDialogHandler([this](const kw::FileDialogRequest &r) {
            fileRequests << r;
            if (fileAnswers.empty())
                return kw::FileDialogAnswer{};
            const kw::FileDialogAnswer a = fileAnswers.front();
            fileAnswers.pop_front();
            return a;
        });
        kw::hints().setHint(QString());
        form = std::make_unique<TFormNotatnik>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        edit()->setFocus();
    }

    void cleanup()
    {
        form.reset();
        kw::setMessageHandler(nullptr);
        kw::setFileDialogHandler(nullptr);
        kw::setPrintDialogHandler(nullptr);
        kw::setFontDialogHandler(nullptr);
        QFile::remove(commandLineFile);
    }

    void startsEmptyWithTheCaretAtOneOne()
    {
        QCOMPARE(form->windowTitle(), QStringLiteral("Notatnik"));
        QCOMPARE(form->size(), QSize(317, 413));
        QCOMPARE(panel("CaretPanel"), QStringLiteral("Linia:   1   Kol:   1"));
        QCOMPARE(panel("ModifiedPanel"), QString());
        QCOMPARE(child<QLineEdit>("FontSize")->text(), QStringLiteral("8"));
        QCOMPARE(edit()->currentFont().family(), QStringLiteral("Arial"));
        QCOMPARE(edit()->palette().color(QPalette::Base), QColor(0, 255, 255));
        for (const char *name : {"UndoButton", "CutButton", "CopyButton"})
            QVERIFY2(!child<QToolButton>(name)->isEnabled(), name);
        QVERIFY(child<QToolButton>("LeftAlign")->isChecked());
        // The font list is every face the system offers, in order.
        const auto *names = child<QComboBox>("FontName");
        QVERIFY(names->count() > 0);
        for (int i = 1; i < names->count(); ++i)
            QVERIFY(names->itemText(i - 1).compare(names->itemText(i), Qt::CaseInsensitive) <= 0);
        QCOMPARE(names->width(), 93);
    }

    void hintsAndShortcutsAreTheSystemsOwn()
    {
        const auto *open = child<QToolButton>("OpenButton");
        QCOMPARE(open->toolTip(), QStringLiteral("Otwórz"));
        QCOMPARE(open->statusTip(), QStringLiteral("Otwórz plik"));
        QCOMPARE(child<QToolButton>("BoldButton")->statusTip(), QStringLiteral("Pogrubienie"));
        for (const char *name : {"OpenButton", "SaveButton", "PrintButton", "UndoButton", "CutButton",
                                 "CopyButton", "PasteButton", "BoldButton", "ItalicButton", "UnderlineButton",
                                 "LeftAlign", "CenterAlign", "RightAlign", "BulletsButton", "ToolButton2"})
            QVERIFY2(!child<QToolButton>(name)->icon().pixmap(16, 16).isNull(), name);
        QCOMPARE(child<QToolButton>("ToolButton2")->statusTip(),
                 QStringLiteral("Usuń bezpowrotnie całą zawartość Edytora"));
        const auto *saveAs = child<QAction>("FileSaveAsItem");
        QCOMPARE(saveAs->text(), QStringLiteral("&Zapisz jako..."));
        QCOMPARE(saveAs->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
        QCOMPARE(saveAs->statusTip(), QStringLiteral("Save current file under a new name"));
        QCOMPARE(child<QAction>("FileExitItem")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
        QCOMPARE(child<QAction>("EditClearItem")->shortcut(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(child<QAction>("EditCutItem")->statusTip(), QStringLiteral("Delete selected item"));
    }

    void statusBarFollowsTheApplicationHint()
    {
        QStatusBar *bar = form->statusBar();
        // A control's status text becomes the application's hint ...
        QStatusTipEvent tip(child<QToolButton>("PrintButton")->statusTip());
        QApplication::sendEvent(child<QToolButton>("PrintButton"), &tip);
        QCOMPARE(kw::hints().hint(), QStringLiteral("Drukuj zawartość Edytora"));
        // ... and any hint of the program puts the status bar into single-text mode.
        kw::hints().setHint(QStringLiteral("Z innego okna"));
        QCOMPARE(bar->currentMessage(), QStringLiteral("Z innego okna"));
        QVERIFY(!child<QLabel>("CaretPanel")->isVisible());
        kw::hints().setHint(QString());
        QCOMPARE(bar->currentMessage(), QString());
        QVERIFY(child<QLabel>("CaretPanel")->isVisible());
        QVERIFY(child<QLabel>("ModifiedPanel")->isVisible());
    }

    void caretSelectionUndoAndPasteEnablement()
    {
        typeText(QStringLiteral("abc"));
        QTest::keyClick(edit(), Qt::Key_Return);
        typeText(QStringLiteral("defg"));
        QCOMPARE(panel("CaretPanel"), QStringLiteral("Linia:   2   Kol:   5"));
        QCOMPARE(panel("ModifiedPanel"), QStringLiteral("Modyfikacja"));
        QVERIFY(child<QToolButton>("UndoButton")->isEnabled());
        QVERIFY(child<QAction>("EditUndoItem")->isEnabled());

        QVERIFY(!child<QToolButton>("CopyButton")->isEnabled());
        QTest::keyClick(edit(), Qt::Key_Left, Qt::ShiftModifier);
        QVERIFY(child<QToolButton>("CopyButton")->isEnabled());
        QVERIFY(child<QAction>("EditCutItem")->isEnabled());
        // The position shown is the selection's start.
        QCOMPARE(panel("CaretPanel"), QStringLiteral("Linia:   2   Kol:   4"));

        // Paste follows the clipboard, whoever changes it.
        QGuiApplication::clipboard()->clear();
        QTRY_VERIFY(!child<QToolButton>("PasteButton")->isEnabled());
        QGuiApplication::clipboard()->setText(QStringLiteral("x"));
        QTRY_VERIFY(child<QToolButton>("PasteButton")->isEnabled());
        QVERIFY(child<QAction>("EditPasteItem")->isEnabled());
        child<QToolButton>("CopyButton")->click();
        QTest::keyClick(edit(), Qt::Key_End);
        child<QToolButton>("PasteButton")->click();
        QCOMPARE(edit()->toPlainText(), QStringLiteral("abc\ndefgg"));
        child<QToolButton>("UndoButton")->click();
        QCOMPARE(edit()->toPlainText(), QStringLiteral("abc\ndefg"));
        child<QToolButton>("CutButton")->click(); // nothing selected: disabled, nothing happens
        QCOMPARE(edit()->toPlainText(), QStringLiteral("abc\ndefg"));
    }

    void formattingWithoutSelectionChangesTheTypingAttributes()
    {
        typeText(QStringLiteral("abc"));
        child<QToolButton>("BoldButton")->click();
        QVERIFY(child<QToolButton>("BoldButton")->isChecked());
        typeText(QStringLiteral("de"));
        const QTextBlock b = edit()->document()->firstBlock();
        QCOMPARE(b.begin().fragment().text(), QStringLiteral("abc"));
        QVERIFY(b.begin().fragment().charFormat().fontWeight() != QFont::Bold);
        auto second = b.begin();
        ++second;
        QCOMPARE(second.fragment().text(), QStringLiteral("de"));
        QCOMPARE(second.fragment().charFormat().fontWeight(), int(QFont::Bold));

        // With a selection only the selection changes, and the other styles stay.
        QTest::keyClick(edit(), Qt::Key_Home);
        QTest::keyClick(edit(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(edit(), Qt::Key_Right, Qt::ShiftModifier);
        child<QToolButton>("ItalicButton")->click();
        child<QToolButton>("UnderlineButton")->click();
        const auto chars = [this](int pos) {
            QTextCursor c(edit()->document());
            c.setPosition(pos + 1);
            return c.charFormat();
        };
        QVERIFY(chars(0).fontItalic() && chars(0).fontUnderline());
        QVERIFY(!chars(2).fontItalic() && !chars(2).fontUnderline());
        QVERIFY(chars(3).fontWeight() == QFont::Bold && !chars(3).fontItalic());

        // Font size: typed into the box, an integer; anything else is reported and changes nothing.
        auto *size = child<QLineEdit>("FontSize");
        size->setText(QStringLiteral("14"));
        QCOMPARE(chars(0).fontPointSize(), 14.0);
        QCOMPARE(chars(2).fontPointSize(), 0.0); // untouched: the editor's default
        size->setText(QStringLiteral("1x"));
        size->setText(QString());
        QCOMPARE(asked, (QStringList{QStringLiteral("'1x' is not a valid integer value"),
                                     QStringLiteral("'' is not a valid integer value")}));
        QCOMPARE(chars(0).fontPointSize(), 14.0);
        size->setText(QStringLiteral("99999999"));
        QCOMPARE(chars(0).fontPointSize(), kw::rtf::MaxPointSize);
        // The spinner steps the number in the box.
        size->setText(QStringLiteral("10"));
        child<QToolButton>("UpButton")->click();
        QCOMPARE(size->text(), QStringLiteral("11"));
        QCOMPARE(chars(0).fontPointSize(), 11.0);

        // Font face: the list entry chosen.
        auto *names = child<QComboBox>("FontName");
        const int pick = names->count() - 1;
        names->setCurrentIndex(pick);
        QCOMPARE(chars(0).fontFamilies().toStringList(), QStringList{names->itemText(pick)});
        QCOMPARE(chars(2).fontFamilies().toStringList(), QStringList());
    }

    void alignmentAndBullets()
    {
        typeText(QStringLiteral("one"));
        QTest::keyClick(edit(), Qt::Key_Return);
        typeText(QStringLiteral("two"));
        child<QToolButton>("CenterAlign")->click();
        QCOMPARE(edit()->document()->lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QVERIFY(!child<QToolButton>("LeftAlign")->isChecked());
        child<QToolButton>("RightAlign")->click();
        QCOMPARE(edit()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        // The buttons follow the caret.
        QTest::keyClick(edit(), Qt::Key_Up);
        QVERIFY(child<QToolButton>("LeftAlign")->isChecked());
        QTest::keyClick(edit(), Qt::Key_Down);
        QVERIFY(child<QToolButton>("RightAlign")->isChecked());

        // Bullets on both paragraphs of a selection make one list; off again removes it.
        QTest::keyClick(edit(), Qt::Key_A, Qt::ControlModifier);
        child<QToolButton>("BulletsButton")->click();
        const QTextBlock first = edit()->document()->firstBlock();
        QVERIFY(first.textList());
        QCOMPARE(first.textList(), first.next().textList());
        QCOMPARE(first.textList()->format().style(), QTextListFormat::ListDisc);
        QVERIFY(child<QToolButton>("BulletsButton")->isChecked());
        child<QToolButton>("BulletsButton")->click();
        QVERIFY(!edit()->document()->firstBlock().textList());
        QVERIFY(!edit()->document()->lastBlock().textList());
        QCOMPARE(edit()->document()->firstBlock().blockFormat().indent(), 0);
    }

    void fontDialogAppliesFaceSizeStyleAndColour()
    {
        typeText(QStringLiteral("abc"));
        QTest::keyClick(edit(), Qt::Key_Left, Qt::ShiftModifier);
        kw::FontChoice offered;
        kw::setFontDialogHandler([&](const kw::FontChoice &initial) -> std::optional<kw::FontChoice> {
            offered = initial;
            QFont f(QStringLiteral("Courier New"), 20);
            f.setBold(true);
            f.setStrikeOut(true);
            return kw::FontChoice{f, QColor(128, 0, 0)};
        });
        child<QAction>("EditFontItem")->trigger();
        QCOMPARE(offered.font.pointSize(), 8);
        QCOMPARE(offered.colour, QColor(Qt::black));
        QTextCursor c(edit()->document());
        c.setPosition(3);
        QCOMPARE(c.charFormat().fontFamilies().toStringList(), QStringList{"Courier New"});
        QCOMPARE(c.charFormat().fontPointSize(), 20.0);
        QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
        QVERIFY(c.charFormat().fontStrikeOut());
        QCOMPARE(c.charFormat().foreground().color(), QColor(128, 0, 0));
        c.setPosition(2);
        QCOMPARE(c.charFormat().fontPointSize(), 0.0);
        QVERIFY(edit()->hasFocus());
    }

    void savingAlwaysWritesRichTextAndAsksBeforeReplacing()
    {
        typeText(QStringLiteral("Zażółć"));
        // A ".txt" name still holds rich text.
        fileAnswers = {chose(path("notatka.txt"), 1)};
        child<QToolButton>("SaveButton")->click();
        QCOMPARE(fileRequests.size(), 1);
        QCOMPARE(fileRequests[0].kind, kw::FileDialogKind::Save);
        QCOMPARE(fileRequests[0].filter,
                 QStringLiteral("Tekst sformatowany (*.rtf)|*.rtf|Plik tekstowy (*.txt)|*.txt"));
        QCOMPARE(fileRequests[0].directory, QCoreApplication::applicationDirPath());
        QVERIFY(readAll(path("notatka.txt")).startsWith("{\\rtf1"));
        QCOMPARE(kw::rtf::parse(readAll(path("notatka.txt"))).plainText(), QStringLiteral("Zażółć"));
        QCOMPARE(form->windowTitle(), QStringLiteral("notatka.txt - Kwotnik 2.1"));
        QCOMPARE(form->fileName(), path("notatka.txt"));
        QCOMPARE(panel("ModifiedPanel"), QString());
        QVERIFY(!edit()->document()->isModified());
        QVERIFY(asked.isEmpty());

        // Replacing asks, in the wording of the command; anything but Yes keeps the file.
        typeText(QStringLiteral(" 2"));
        answers = {kw::No};
        fileAnswers = {chose(path("notatka.txt"), 1)};
        child<QToolButton>("SaveButton")->click();
        QCOMPARE(asked.last(), QStringLiteral("Zamienić istniejący plik  %1").arg(path("notatka.txt")));
        QCOMPARE(kw::rtf::parse(readAll(path("notatka.txt"))).plainText(), QStringLiteral("Zażółć"));
        QVERIFY(edit()->document()->isModified());
        answers = {kw::Yes};
        fileAnswers = {chose(path("notatka.txt"), 1)};
        child<QAction>("FileSaveAsItem")->trigger();
        QCOMPARE(asked.last(), QStringLiteral("Czy zamienić istniejący plik %1").arg(path("notatka.txt")));
        QCOMPARE(kw::rtf::parse(readAll(path("notatka.txt"))).plainText(), QStringLiteral("Zażółć 2"));

        // A name without an extension gets the chosen type's.
        fileAnswers = {chose(path("bez"), 1)};
        child<QAction>("FileSaveAsItem")->trigger();
        QVERIFY(QFile::exists(path("bez.txt")));
        fileAnswers = {chose(path("bez"), 0)};
        child<QAction>("FileSaveAsItem")->trigger();
        QVERIFY(QFile::exists(path("bez.rtf")));

        // A file that cannot be written is reported; name and modified flag stay.
        typeText(QStringLiteral("!"));
        asked.clear();
        fileAnswers = {chose(path("brak/katalogu.rtf"))};
        child<QToolButton>("SaveButton")->click();
        QCOMPARE(asked, QStringList{QStringLiteral("Cannot open file %1").arg(path("brak/katalogu.rtf"))});
        QCOMPARE(form->fileName(), path("bez.rtf"));
        QVERIFY(edit()->document()->isModified());
    }

    void openingLoadsRichOrPlainTextAndReportsFailures()
    {
        writeAll(path("a.rtf"),
                 R"({\rtf1{\fonttbl{\f0 Arial;}}\pard\qc\b Nag\u322?\'f3wek\par\pard jeden\par})");
        fileAnswers = {chose(path("a.rtf"))};
        child<QToolButton>("OpenButton")->click();
        QCOMPARE(fileRequests[0].kind, kw::FileDialogKind::Open);
        QCOMPARE(fileRequests[0].directory, QCoreApplication::applicationDirPath());
        QCOMPARE(edit()->toPlainText(), QStringLiteral("Nagłówek\njeden"));
        QCOMPARE(form->windowTitle(), QStringLiteral("a.rtf - Kwotnik 2.1"));
        QVERIFY(child<QToolButton>("CenterAlign")->isChecked());
        QVERIFY(child<QToolButton>("BoldButton")->isChecked());
        QVERIFY(!child<QToolButton>("UndoButton")->isEnabled()); // loading is not an edit
        QVERIFY(!edit()->isReadOnly());

        // Plain text in UTF-8, and in the old Central European code page; read-only when asked.
        writeAll(path("utf8.txt"), QStringLiteral("Łódź\r\nżółw").toUtf8());
        fileAnswers = {chose(path("utf8.txt"), 1, true)};
        child<QAction>("FileOpenItem")->trigger();
        QCOMPARE(edit()->toPlainText(), QStringLiteral("Łódź\nżółw"));
        QVERIFY(edit()->isReadOnly());
        writeAll(path("cp1250.txt"), QByteArray("\xa3\xf3\x64\x9f \xbf\xf3\xb3w"));
        fileAnswers = {chose(path("cp1250.txt"), 1)};
        child<QAction>("FileOpenItem")->trigger();
        QCOMPARE(edit()->toPlainText(), QStringLiteral("Łódź żółw"));
        QVERIFY(!edit()->isReadOnly());

        // Failures: reported, and the document, its name and its modified flag stay as they were.
        typeText(QStringLiteral("+"));
        const QString before = edit()->toPlainText();
        asked.clear();
        answers = {kw::No, kw::Ok, kw::No, kw::Ok, kw::No, kw::Ok};
        writeAll(path("binary.dat"), QByteArray("\x00\x01\x02zzz", 6));
        writeAll(path("deep.rtf"), "{\\rtf1 " + QByteArray(kw::rtf::MaxDepth + 1, '{'));
        for (const QString &name :
             {QStringLiteral("nie-ma.rtf"), QStringLiteral("binary.dat"), QStringLiteral("deep.rtf")}) {
            fileAnswers = {chose(path(name))};
            child<QToolButton>("OpenButton")->click();
        }
        QCOMPARE(asked,
                 (QStringList{QStringLiteral("Czy zapisać wprowadzone zmiany %1?").arg(path("cp1250.txt")),
                              QStringLiteral("Cannot open file %1").arg(path("nie-ma.rtf")),
                              QStringLiteral("Czy zapisać wprowadzone zmiany %1?").arg(path("cp1250.txt")),
                              QStringLiteral("Failed to Load Stream"),
                              QStringLiteral("Czy zapisać wprowadzone zmiany %1?").arg(path("cp1250.txt")),
                              QStringLiteral("Failed to Load Stream")}));
        QCOMPARE(edit()->toPlainText(), before);
        QCOMPARE(form->fileName(), path("cp1250.txt"));
        QVERIFY(edit()->document()->isModified());
    }

    void unsavedChangesQuestion()
    {
        writeAll(path("inny.rtf"), "{\\rtf1 inny}");
        typeText(QStringLiteral("moje"));

        // Cancel: the whole operation ends, silently.
        answers = {kw::Cancel};
        child<QToolButton>("OpenButton")->click();
        // Before any file, the name is empty and a space stands before the question mark.
        QCOMPARE(asked, QStringList{QStringLiteral("Czy zapisać wprowadzone zmiany ?")});
        QVERIFY(fileRequests.isEmpty());

        // Yes, then the save dialog cancelled: nothing was saved, so nothing is opened over the text.
        answers = {kw::Yes};
        fileAnswers = {kw::FileDialogAnswer{}, chose(path("inny.rtf"))};
        child<QToolButton>("OpenButton")->click();
        QCOMPARE(fileRequests.size(), 1);
        QCOMPARE(fileRequests[0].kind, kw::FileDialogKind::Save);
        QCOMPARE(edit()->toPlainText(), QStringLiteral("moje"));
        QVERIFY(edit()->document()->isModified());

        // Yes with a completed save: saved, then the other file is opened.
        fileRequests.clear();
        answers = {kw::Yes};
        fileAnswers = {chose(path("moje.rtf")), chose(path("inny.rtf"))};
        child<QToolButton>("OpenButton")->click();
        QCOMPARE(fileRequests.size(), 2);
        QCOMPARE(kw::rtf::parse(readAll(path("moje.rtf"))).plainText(), QStringLiteral("moje"));
        QCOMPARE(edit()->toPlainText(), QStringLiteral("inny"));
        QCOMPARE(form->fileName(), path("inny.rtf"));

        // No: the changes are dropped and the file is opened.
        typeText(QStringLiteral("zmiana "));
        asked.clear();
        answers = {kw::No};
        fileAnswers = {chose(path("moje.rtf"))};
        child<QToolButton>("OpenButton")->click();
        QCOMPARE(asked,
                 QStringList{QStringLiteral("Czy zapisać wprowadzone zmiany %1?").arg(path("inny.rtf"))});
        QCOMPARE(edit()->toPlainText(), QStringLiteral("moje"));
        QVERIFY(!edit()->document()->isModified());
    }

    void closingOnlyHidesAndAsksFirst()
    {
        typeText(QStringLiteral("tekst"));
        answers = {kw::Cancel};
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        // Yes with the save dialog cancelled still closes: the text stays in the hidden window.
        answers = {kw::Yes};
        child<QAction>("FileExitItem")->trigger();
        QVERIFY(!form->isVisible());
        QCOMPARE(fileRequests.size(), 1);
        form->show();
        QCOMPARE(edit()->toPlainText(), QStringLiteral("tekst"));
        QVERIFY(edit()->document()->isModified());
        // Unmodified: no question at all.
        edit()->document()->setModified(false);
        asked.clear();
        QVERIFY(form->close());
        QVERIFY(asked.isEmpty());
    }

    void deleteKeyAsksToClearEverything()
    {
        typeText(QStringLiteral("abc"));
        QTest::keyClick(edit(), Qt::Key_Home);
        answers = {kw::No};
        QTest::keyClick(edit(), Qt::Key_Delete);
        QCOMPARE(asked, QStringList{QStringLiteral("Czy na pewno usunąć zawartość Edytora ?")});
        QCOMPARE(edit()->toPlainText(), QStringLiteral("abc"));
        answers = {kw::Yes};
        QTest::keyClick(edit(), Qt::Key_Delete);
        QCOMPARE(edit()->toPlainText(), QString());
        // A hasty Yes can be taken back.
        child<QToolButton>("UndoButton")->click();
        QCOMPARE(edit()->toPlainText(), QStringLiteral("abc"));
    }

    void printsTheDocumentNamedAfterItsFile()
    {
        typeText(QStringLiteral("Do druku"));
        fileAnswers = {chose(path("druk.rtf"))};
        child<QToolButton>("SaveButton")->click();
        QString jobName;
        const QString pdf = path("druk.pdf");
        kw::setPrintDialogHandler([&](QPrinter *printer) {
            jobName = printer->docName();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return true;
        });
        child<QToolButton>("PrintButton")->click();
        QCOMPARE(jobName, path("druk.rtf"));
        QVERIFY(readAll(pdf).startsWith("%PDF"));
        // Cancelled: nothing printed.
        QFile::remove(pdf);
        kw::setPrintDialogHandler([](QPrinter *) { return false; });
        child<QAction>("FilePrintItem")->trigger();
        QVERIFY(!QFile::exists(pdf));
    }

    void droppedFileIsOpenedAfterTheQuestion()
    {
        writeAll(path("upuszczony.rtf"), "{\\rtf1 upuszczony}");
        typeText(QStringLiteral("x"));
        answers = {kw::No};
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path("upuszczony.rtf")), QUrl::fromLocalFile(path("drugi.rtf"))});
        QWidget *target = edit()->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(edit()->toPlainText(), QStringLiteral("upuszczony"));
        QCOMPARE(asked, QStringList{QStringLiteral("Czy zapisać wprowadzone zmiany ?")});
        QCOMPARE(form->fileName(), path("upuszczony.rtf"));
    }

    void commandLineFileIsLoadedOnEveryShow()
    {
        QVERIFY(!commandLineFile.isEmpty());
        QCOMPARE(QCoreApplication::arguments().value(1), commandLineFile);
        // Not there at the first show: nothing loaded.
        QCOMPARE(edit()->toPlainText(), QString());
        writeAll(commandLineFile, "{\\rtf1 z wiersza polece\\u324?}");
        form->hide();
        form->show();
        QCOMPARE(edit()->toPlainText(), QStringLiteral("z wiersza poleceń"));
        QCOMPARE(form->fileName(), commandLineFile);
        QVERIFY(!edit()->document()->isModified());
        typeText(QStringLiteral("dopisek "));
        edit()->document()->setModified(false);
        form->hide();
        form->show();
        QCOMPARE(edit()->toPlainText(), QStringLiteral("z wiersza poleceń"));
        QVERIFY(asked.isEmpty());
    }
};

int main(int argc, char **argv)
{
    // The program's first argument is a file in a folder of its own; QtTest gets the rest.
    QTemporaryDir argDir;
    commandLineFile = argDir.filePath(QStringLiteral("z-wiersza.rtf"));
    QByteArray fileArg = commandLineFile.toLocal8Bit();
    std::vector<char *> appArgs{argv[0], fileArg.data()};
    int appArgc = int(appArgs.size());
    appArgs.push_back(nullptr);
    QApplication app(appArgc, appArgs.data());
    NotepadTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NotepadTest.moc"
