#include "tools/notepad/UnitNotatnik.h"

#include "framework/FileDialogs.h"
#include "framework/Hints.h"
#include "framework/Messages.h"
#include "tools/notepad/Rtf.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QSaveFile>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextList>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <functional>
#include <optional>
#include <stdexcept>
#include <tuple>

// Resources of a static library are registered only when asked for by name.
static void initNotepadPictures()
{
    Q_INIT_RESOURCE(Notepad);
}

namespace kw {

// The editor: a rich-text edit that hands dropped files to its window instead of pasting their
// names, and leaves Del to the window's "Wyczyść" item.
class NotepadEdit : public QTextEdit
{
public:
    using QTextEdit::QTextEdit;
    std::function<void(const QList<QUrl> &)> onFilesDropped;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::ShortcutOverride) {
            const auto *k = static_cast<QKeyEvent *>(e);
            if (k->key() == Qt::Key_Delete && k->modifiers() == Qt::NoModifier) {
                e->ignore(); // not ours: the menu's shortcut takes it
                return true;
            }
        }
        return QTextEdit::event(e);
    }

    static bool holdsFiles(const QMimeData *m)
    {
        return m && m->hasUrls() && !m->urls().isEmpty() && m->urls().constFirst().isLocalFile();
    }
    void dragEnterEvent(QDragEnterEvent *e) override
    {
        if (holdsFiles(e->mimeData()))
            e->acceptProposedAction();
        else
            QTextEdit::dragEnterEvent(e);
    }
    void dragMoveEvent(QDragMoveEvent *e) override
    {
        if (holdsFiles(e->mimeData()))
            e->acceptProposedAction();
        else
            QTextEdit::dragMoveEvent(e);
    }
    void dropEvent(QDropEvent *e) override
    {
        if (holdsFiles(e->mimeData()) && onFilesDropped) {
            e->acceptProposedAction();
            onFilesDropped(e->mimeData()->urls());
        } else {
            QTextEdit::dropEvent(e);
        }
    }
};

// The up-down spinner attached to the font-size box.
class SpinButtons : public QWidget
{
public:
    explicit SpinButtons(QWidget *parent) : QWidget(parent)
    {
        auto *box = new QVBoxLayout(this);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
        for (const auto &[arrow, delta, name] :
             {std::tuple{Qt::UpArrow, 1, "UpButton"}, std::tuple{Qt::DownArrow, -1, "DownButton"}}) {
            auto *b = new QToolButton(this);
            b->setObjectName(QString::fromLatin1(name));
            b->setArrowType(arrow);
            b->setAutoRepeat(true);
            b->setFocusPolicy(Qt::NoFocus);
            b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
            b->setFixedWidth(15);
            const int d = delta;
            QObject::connect(b, &QToolButton::clicked, this, [this, d] {
                if (onStep)
                    onStep(d);
            });
            box->addWidget(b);
        }
    }
    std::function<void(int)> onStep;
};

} // namespace kw

namespace {

constexpr int FormWidth = 317;
constexpr int FormHeight = 413;
constexpr int TextInset = 6;
const QColor Aqua(0, 255, 255);
const QColor LightOrange(255, 204, 153);

std::runtime_error cannotOpen(const QString &path)
{
    return std::runtime_error(
        QStringLiteral("Cannot open file %1").arg(QDir::toNativeSeparators(path)).toStdString());
}

// Plain text: UTF-8 when it is valid UTF-8, otherwise the Central European code page that
// Polish text files were written in for years. Bytes that are no text at all are refused.
QString decodePlainText(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (bytes.contains('\0'))
        throw kw::rtf::LoadError();
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = kw::rtf::decode(bytes, 1250);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// A whole number as the font-size box accepts it: optional sign and digits, nothing else.
std::optional<int> toInteger(const QString &text)
{
    const QByteArray t = text.trimmed().toLatin1();
    int value = 0;
    const char *begin = t.constData();
    const char *end = begin + t.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto r = std::from_chars(begin, end, value);
    if (t.isEmpty() || r.ec != std::errc() || r.ptr != end || text.trimmed().size() != t.size())
        return std::nullopt;
    return value;
}

QPair<QString, QString> splitHint(const QString &hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return {hint, hint};
    return {hint.left(bar), hint.mid(bar + 1)};
}

} // namespace

QString TFormNotatnik::fileFilter()
{
    return QStringLiteral("Tekst sformatowany (*.rtf)|*.rtf|Plik tekstowy (*.txt)|*.txt");
}

TFormNotatnik::TFormNotatnik(QWidget *parent) : QMainWindow(parent)
{
    static const bool pictures = (initNotepadPictures(), true);
    (void)pictures;
    setObjectName(QStringLiteral("FormNotatnik"));
    setWindowTitle(QStringLiteral("Notatnik"));
    resize(FormWidth, FormHeight);

    RichEdit1 = new kw::NotepadEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setAcceptRichText(true);
    RichEdit1->setFont(QFont(QStringLiteral("Arial"), 8));
    QPalette p = RichEdit1->palette();
    p.setColor(QPalette::Base, Aqua);
    p.setColor(QPalette::Text, Qt::black);
    RichEdit1->setPalette(p);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->onFilesDropped = [this](const QList<QUrl> &urls) {
        // Finish the drop with the system first; the questions come after.
        QTimer::singleShot(0, this, [this, urls] { WMDropFiles(urls); });
    };
    setCentralWidget(RichEdit1);

    buildMenu();
    buildToolBar();
    buildStatusBar();

    QTextDocument *doc = RichEdit1->document();
    connect(RichEdit1, &QTextEdit::cursorPositionChanged, this, &TFormNotatnik::SelectionChange);
    connect(RichEdit1, &QTextEdit::selectionChanged, this, &TFormNotatnik::SelectionChange);
    connect(RichEdit1, &QTextEdit::currentCharFormatChanged, this, &TFormNotatnik::SelectionChange);
    connect(RichEdit1, &QTextEdit::textChanged, this, &TFormNotatnik::RichEditChange);
    connect(doc, &QTextDocument::modificationChanged, this, &TFormNotatnik::RichEditChange);
    connect(doc, &QTextDocument::undoAvailable, this, &TFormNotatnik::RichEditChange);

    FormCreate();
}

TFormNotatnik::~TFormNotatnik()
{
    FormDestroy();
}

QToolButton *TFormNotatnik::toolButton(const QString &name, const QString &hint, const QString &picture)
{
    auto *b = new QToolButton(this);
    b->setObjectName(name);
    const auto [tip, status] = splitHint(hint);
    b->setToolTip(tip);
    b->setStatusTip(status);
    b->setIcon(QIcon(QStringLiteral(":/notepad/%1.png").arg(picture)));
    b->setAutoRaise(true);
    return b;
}

QAction *TFormNotatnik::menuItem(QMenu *menu, const QString &name, const QString &text,
                                 const QKeySequence &key, const QString &hint,
                                 void (TFormNotatnik::*handler)())
{
    QAction *a = menu->addAction(text);
    a->setObjectName(name);
    a->setShortcut(key);
    a->setStatusTip(hint);
    connect(a, &QAction::triggered, this, handler);
    return a;
}

void TFormNotatnik::buildMenu()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&Plik"));
    file->setObjectName(QStringLiteral("FileMenu"));
    FileOpenItem = menuItem(file, QStringLiteral("FileOpenItem"), QStringLiteral("&Otwórz..."),
                            QKeySequence(Qt::CTRL | Qt::Key_O), QStringLiteral("Open an existing file"),
                            &TFormNotatnik::FileOpen);
    FileSaveAsItem =
        menuItem(file, QStringLiteral("FileSaveAsItem"), QStringLiteral("&Zapisz jako..."),
                 QKeySequence(Qt::CTRL | Qt::Key_S), QStringLiteral("Save current file under a new name"),
                 &TFormNotatnik::FileSaveAs);
    file->addSeparator();
    FilePrintItem = menuItem(file, QStringLiteral("FilePrintItem"), QStringLiteral("&Drukuj"),
                             QKeySequence(Qt::CTRL | Qt::Key_P), QStringLiteral("Print current file"),
                             &TFormNotatnik::FilePrint);
    file->addSeparator();
    FileExitItem = menuItem(file, QStringLiteral("FileExitItem"), QStringLiteral("Za&mknij"),
                            QKeySequence(Qt::ALT | Qt::Key_X), QStringLiteral("Exit this application"),
                            &TFormNotatnik::FileExit);

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edycja"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    EditUndoItem = menuItem(edit, QStringLiteral("EditUndoItem"), QStringLiteral("&Cofnij"),
                            QKeySequence(Qt::CTRL | Qt::Key_Z), QStringLiteral("Undo the last action"),
                            &TFormNotatnik::EditUndo);
    edit->addSeparator();
    EditCutItem = menuItem(edit, QStringLiteral("EditCutItem"), QStringLiteral("Wyt&nij"),
                           QKeySequence(Qt::CTRL | Qt::Key_X), QStringLiteral("Delete selected item"),
                           &TFormNotatnik::EditCut);
    EditCopyItem = menuItem(edit, QStringLiteral("EditCopyItem"), QStringLiteral("&Kopiuj"),
                            QKeySequence(Qt::CTRL | Qt::Key_C),
                            QStringLiteral("Copy selected item to clipboard"), &TFormNotatnik::EditCopy);
    EditPasteItem = menuItem(edit, QStringLiteral("EditPasteItem"), QStringLiteral("Wkl&ej"),
                             QKeySequence(Qt::CTRL | Qt::Key_V),
                             QStringLiteral("Paste contents of clipboard"), &TFormNotatnik::EditPaste);
    edit->addSeparator();
    EditFontItem = menuItem(edit, QStringLiteral("EditFontItem"), QStringLiteral("Czcionka..."),
                            QKeySequence(), QString(), &TFormNotatnik::SelectFont);
    edit->addSeparator();
    EditClearItem = menuItem(edit, QStringLiteral("EditClearItem"), QStringLiteral("&Wyczyść"),
                             QKeySequence(Qt::Key_Delete), QString(), &TFormNotatnik::ToolButton2Click);
}

void TFormNotatnik::buildToolBar()
{
    auto *row1 = new QToolBar(this);
    row1->setObjectName(QStringLiteral("ToolBar1"));
    auto *row2 = new QToolBar(this);
    row2->setObjectName(QStringLiteral("ToolBar2"));
    for (QToolBar *t : {row1, row2}) {
        t->setMovable(false);
        t->setFloatable(false);
        t->setIconSize(QSize(16, 16));
        t->setContextMenuPolicy(Qt::PreventContextMenu);
    }
    addToolBar(Qt::TopToolBarArea, row1);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, row2);

    OpenButton = toolButton(QStringLiteral("OpenButton"), QStringLiteral("Otwórz|Otwórz plik"),
                            QStringLiteral("open"));
    SaveButton = toolButton(QStringLiteral("SaveButton"), QStringLiteral("Zapisz|Zapisz do pliku"),
                            QStringLiteral("save"));
    PrintButton = toolButton(QStringLiteral("PrintButton"), QStringLiteral("Drukuj|Drukuj zawartość Edytora"),
                             QStringLiteral("print"));
    UndoButton = toolButton(QStringLiteral("UndoButton"), QStringLiteral("Cofnij|Cofnij ostatnie zmiany"),
                            QStringLiteral("undo"));
    CutButton =
        toolButton(QStringLiteral("CutButton"), QStringLiteral("Wytnij|Wytnij zaznaczony tekst do schowka"),
                   QStringLiteral("cut"));
    CopyButton =
        toolButton(QStringLiteral("CopyButton"), QStringLiteral("Kopiuj|Kopiuj zaznaczony tekst do schowka"),
                   QStringLiteral("copy"));
    PasteButton = toolButton(QStringLiteral("PasteButton"), QStringLiteral("Wklej|Wklej tekst ze schowka"),
                             QStringLiteral("paste"));
    connect(OpenButton, &QToolButton::clicked, this, &TFormNotatnik::FileOpen);
    connect(SaveButton, &QToolButton::clicked, this, &TFormNotatnik::FileSave);
    connect(PrintButton, &QToolButton::clicked, this, &TFormNotatnik::FilePrint);
    connect(UndoButton, &QToolButton::clicked, this, &TFormNotatnik::EditUndo);
    connect(CutButton, &QToolButton::clicked, this, &TFormNotatnik::EditCut);
    connect(CopyButton, &QToolButton::clicked, this, &TFormNotatnik::EditCopy);
    connect(PasteButton, &QToolButton::clicked, this, &TFormNotatnik::EditPaste);

    FontName = new QComboBox(this);
    FontName->setObjectName(QStringLiteral("FontName"));
    FontName->setEditable(true);
    FontName->setInsertPolicy(QComboBox::NoInsert);
    FontName->setFrame(false);
    FontName->setFixedWidth(93);
    FontName->setMaxVisibleItems(16);
    QPalette orange = FontName->palette();
    orange.setColor(QPalette::Base, LightOrange);
    orange.setColor(QPalette::Button, LightOrange);
    FontName->setPalette(orange);
    FontName->setToolTip(QStringLiteral("Czcionka"));
    FontName->setStatusTip(QStringLiteral("Wybierz rodzaj czcionki"));
    connect(FontName, &QComboBox::currentIndexChanged, this, &TFormNotatnik::FontNameChange);

    row1->addWidget(OpenButton);
    row1->addWidget(SaveButton);
    row1->addWidget(PrintButton);
    row1->addSeparator();
    row1->addWidget(UndoButton);
    row1->addSeparator();
    row1->addWidget(CutButton);
    row1->addWidget(CopyButton);
    row1->addWidget(PasteButton);
    row1->addSeparator();
    row1->addWidget(FontName);

    FontSize = new QLineEdit(QStringLiteral("0"), this);
    FontSize->setObjectName(QStringLiteral("FontSize"));
    FontSize->setFixedWidth(30);
    FontSize->setToolTip(QStringLiteral("Rozmiar czcionki"));
    FontSize->setStatusTip(QStringLiteral("Wybierz wielkość czcionki"));
    connect(FontSize, &QLineEdit::textChanged, this, &TFormNotatnik::FontSizeChange);
    UpDown1 = new kw::SpinButtons(this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setFixedHeight(FontSize->sizeHint().height());
    UpDown1->setToolTip(FontSize->toolTip());
    UpDown1->setStatusTip(FontSize->statusTip());
    UpDown1->onStep = [this](int delta) {
        const int now = toInteger(FontSize->text()).value_or(0);
        const int next = std::clamp(now + delta, 0, int(kw::rtf::MaxPointSize));
        FontSize->setText(QString::number(next));
    };

    BoldButton =
        toolButton(QStringLiteral("BoldButton"), QStringLiteral("Pogrubienie"), QStringLiteral("bold"));
    ItalicButton =
        toolButton(QStringLiteral("ItalicButton"), QStringLiteral("Kursywa"), QStringLiteral("italic"));
    UnderlineButton = toolButton(QStringLiteral("UnderlineButton"), QStringLiteral("Podkreślenie"),
                                 QStringLiteral("underline"));
    LeftAlign =
        toolButton(QStringLiteral("LeftAlign"), QStringLiteral("Wyrównaj do lewej"), QStringLiteral("left"));
    CenterAlign =
        toolButton(QStringLiteral("CenterAlign"), QStringLiteral("Wyśrodkuj"), QStringLiteral("center"));
    RightAlign = toolButton(QStringLiteral("RightAlign"), QStringLiteral("Wyrównaj do prawej"),
                            QStringLiteral("right"));
    BulletsButton = toolButton(QStringLiteral("BulletsButton"), QStringLiteral("Wypunktowanie|Wypunktuj"),
                               QStringLiteral("bullets"));
    ToolButton2 = toolButton(QStringLiteral("ToolButton2"),
                             QStringLiteral("Wyczyść|Usuń bezpowrotnie całą zawartość Edytora"),
                             QStringLiteral("clear"));
    for (QToolButton *b :
         {BoldButton, ItalicButton, UnderlineButton, LeftAlign, CenterAlign, RightAlign, BulletsButton})
        b->setCheckable(true);
    connect(BoldButton, &QToolButton::clicked, this, &TFormNotatnik::BoldButtonClick);
    connect(ItalicButton, &QToolButton::clicked, this, &TFormNotatnik::ItalicButtonClick);
    connect(UnderlineButton, &QToolButton::clicked, this, &TFormNotatnik::UnderlineButtonClick);
    connect(BulletsButton, &QToolButton::clicked, this, &TFormNotatnik::BulletsButtonClick);
    connect(ToolButton2, &QToolButton::clicked, this, &TFormNotatnik::ToolButton2Click);

    // The alignment buttons' tags are the paragraph alignment codes: 0 left, 1 right, 2 centre.
    AlignGroup = new QButtonGroup(this);
    AlignGroup->setObjectName(QStringLiteral("AlignGroup"));
    AlignGroup->setExclusive(true);
    AlignGroup->addButton(LeftAlign, 0);
    AlignGroup->addButton(RightAlign, 1);
    AlignGroup->addButton(CenterAlign, 2);
    LeftAlign->setChecked(true);
    connect(AlignGroup, &QButtonGroup::idClicked, this, &TFormNotatnik::AlignButtonClick);

    row2->addWidget(FontSize);
    row2->addWidget(UpDown1);
    row2->addSeparator();
    row2->addWidget(BoldButton);
    row2->addWidget(ItalicButton);
    row2->addWidget(UnderlineButton);
    row2->addSeparator();
    row2->addWidget(LeftAlign);
    row2->addWidget(CenterAlign);
    row2->addWidget(RightAlign);
    row2->addSeparator();
    row2->addWidget(BulletsButton);
    row2->addSeparator();
    row2->addWidget(ToolButton2);
}

void TFormNotatnik::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(true);
    CaretPanel = new QLabel(bar);
    CaretPanel->setObjectName(QStringLiteral("CaretPanel"));
    CaretPanel->setFixedWidth(120);
    ModifiedPanel = new QLabel(bar);
    ModifiedPanel->setObjectName(QStringLiteral("ModifiedPanel"));
    ModifiedPanel->setFixedWidth(100);
    for (QLabel *l : {CaretPanel, ModifiedPanel}) {
        l->setAlignment(Qt::AlignCenter);
        l->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        bar->addWidget(l); // normal widgets: a hint shown as a message covers them
    }
}

// ---- life cycle ----

void TFormNotatnik::FormCreate()
{
    connect(&kw::hints(), &kw::HintHub::hintChanged, this, &TFormNotatnik::ShowHint);
    ShowHint(kw::hints().hint());

    QStringList families = QFontDatabase::families();
    std::sort(families.begin(), families.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    {
        const QSignalBlocker block(FontName);
        FontName->addItems(families);
    }

    applyTextInset();
    // Setting up the text area is no edit the user could undo.
    RichEdit1->document()->setUndoRedoEnabled(false);
    RichEdit1->document()->setUndoRedoEnabled(true);
    RichEdit1->document()->setModified(false);

    SelectionChange();
    RichEditChange();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TFormNotatnik::WMDrawClipboard);
    WMDrawClipboard();
}

void TFormNotatnik::FormShow()
{
    showCaretPosition();
    setAcceptDrops(true);
    RichEditChange();
    RichEdit1->setFocus();
    WMDrawClipboard();
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1 && QFileInfo(args.at(1)).isFile()) {
        const QString path = args.at(1);
        kw::runCommand([&] { loadFile(path); });
    }
}

void TFormNotatnik::FormResize()
{
    applyTextInset();
    SelectionChange();
}

void TFormNotatnik::FormPaint()
{
    applyTextInset();
}

bool TFormNotatnik::FormCloseQuery()
{
    // Closing only hides the window and the text stays, so a save that did not happen loses nothing.
    return askSaveChanges(false);
}

bool TFormNotatnik::mayEndProgram()
{
    return askSaveChanges(true);
}

void TFormNotatnik::FormDestroy()
{
    disconnect(&kw::hints(), nullptr, this, nullptr);
    if (QGuiApplication::clipboard())
        disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
}

bool TFormNotatnik::event(QEvent *e)
{
    if (e->type() == QEvent::StatusTip) {
        // Status texts of this window's menu items become the application's hint; the end of one
        // gives the pointer's control its hint back.
        const QString tip = static_cast<QStatusTipEvent *>(e)->tip();
        kw::hints().setHint(tip.isEmpty() ? kw::hints().pointerHint() : tip);
        return true;
    }
    return QMainWindow::event(e);
}

void TFormNotatnik::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (e->spontaneous())
        return;
    if (!placed_) { // centred on the screen the first time it is shown
        if (const QScreen *s = screen()) {
            QRect r = frameGeometry();
            r.moveCenter(s->availableGeometry().center());
            move(r.topLeft());
        }
        placed_ = true;
    }
    FormShow();
}

void TFormNotatnik::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    FormResize();
}

void TFormNotatnik::paintEvent(QPaintEvent *e)
{
    QMainWindow::paintEvent(e);
    FormPaint();
}

void TFormNotatnik::closeEvent(QCloseEvent *e)
{
    if (FormCloseQuery())
        e->accept();
    else
        e->ignore();
}

void TFormNotatnik::dragEnterEvent(QDragEnterEvent *e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void TFormNotatnik::dragMoveEvent(QDragMoveEvent *e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void TFormNotatnik::dropEvent(QDropEvent *e)
{
    if (!e->mimeData()->hasUrls())
        return;
    e->acceptProposedAction();
    const QList<QUrl> urls = e->mimeData()->urls();
    QTimer::singleShot(0, this, [this, urls] { WMDropFiles(urls); });
}

// ---- the editor's state on the tool bar and the status bar ----

QFont TFormNotatnik::currentFont() const
{
    return RichEdit1->currentCharFormat().font().resolve(RichEdit1->document()->defaultFont());
}

void TFormNotatnik::SelectionChange()
{
    updating_ = true;
    const auto done = qScopeGuard([this] { updating_ = false; });

    const QFont f = currentFont();
    BoldButton->setChecked(f.bold());
    ItalicButton->setChecked(f.italic());
    UnderlineButton->setChecked(f.underline());
    const QTextCursor c = RichEdit1->textCursor();
    BulletsButton->setChecked(c.currentList() != nullptr);

    const double points = f.pointSizeF() > 0 ? f.pointSizeF() : f.pixelSize() * 72.0 / 96.0;
    FontSize->setText(QString::number(qRound(points)));
    const QString family = f.families().value(0, f.family());
    const int at = FontName->findText(family, Qt::MatchFixedString);
    FontName->setCurrentIndex(at);
    if (at < 0)
        FontName->setEditText(family);
    FontName->lineEdit()->setCursorPosition(0); // the start of a long name is what tells faces apart

    switch (c.blockFormat().alignment() & Qt::AlignHorizontal_Mask) {
    case Qt::AlignRight:
        RightAlign->setChecked(true);
        break;
    case Qt::AlignHCenter:
        CenterAlign->setChecked(true);
        break;
    default:
        LeftAlign->setChecked(true);
        break;
    }
    showCaretPosition();
}

void TFormNotatnik::showCaretPosition()
{
    const QTextCursor c = RichEdit1->textCursor();
    const int start = c.selectionStart();
    int line = 0;
    int column = start;
    const QTextBlock block = RichEdit1->document()->findBlock(start);
    if (block.isValid()) {
        const int inBlock = start - block.position();
        // Lines as the user sees them: a wrapped paragraph is several lines.
        int first = block.firstLineNumber();
        if (first < 0)
            first = block.blockNumber();
        int lineInBlock = 0;
        int lineStart = 0;
        if (const QTextLayout *layout = block.layout(); layout && layout->lineCount() > 0) {
            const QTextLine l = layout->lineForTextPosition(inBlock);
            if (l.isValid()) {
                lineInBlock = l.lineNumber();
                lineStart = l.textStart();
            }
        }
        line = first + lineInBlock;
        column = inBlock - lineStart;
    }
    CaretPanel->setText(QString::asprintf("Linia: %3d   Kol: %3d", line + 1, column + 1));
    const bool selected = c.hasSelection();
    CutButton->setEnabled(selected);
    CopyButton->setEnabled(selected);
    EditCutItem->setEnabled(selected);
    EditCopyItem->setEnabled(selected);
}

void TFormNotatnik::RichEditChange()
{
    const QTextDocument *doc = RichEdit1->document();
    ModifiedPanel->setText(doc->isModified() ? QStringLiteral("Modyfikacja") : QString());
    const bool canUndo = doc->isUndoAvailable();
    UndoButton->setEnabled(canUndo);
    EditUndoItem->setEnabled(canUndo);
}

void TFormNotatnik::WMDrawClipboard()
{
    const bool canPaste = RichEdit1->canPaste();
    PasteButton->setEnabled(canPaste);
    EditPasteItem->setEnabled(canPaste);
}

void TFormNotatnik::ShowHint(const QString &hint)
{
    if (hint.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(hint);
    // The single text and the panels never share the bar, also when the hint came while the
    // window was hidden and the panels would come back with it.
    CaretPanel->setVisible(hint.isEmpty());
    ModifiedPanel->setVisible(hint.isEmpty());
}

void TFormNotatnik::applyTextInset()
{
    // The text keeps 6 pixels from the left and right edges and none from the top and bottom.
    QTextFrame *root = RichEdit1->document()->rootFrame();
    QTextFrameFormat f = root->frameFormat();
    if (f.leftMargin() == TextInset && f.rightMargin() == TextInset && f.topMargin() == 0 &&
        f.bottomMargin() == 0)
        return;
    f.setLeftMargin(TextInset);
    f.setRightMargin(TextInset);
    f.setTopMargin(0);
    f.setBottomMargin(0);
    root->setFrameFormat(f);
}

// ---- formatting ----

void TFormNotatnik::mergeCurrentFormat(const QTextCharFormat &format)
{
    // With a selection the selected text changes; without one, the attributes new text is typed in.
    RichEdit1->mergeCurrentCharFormat(format);
}

void TFormNotatnik::BoldButtonClick()
{
    if (updating_)
        return;
    QTextCharFormat f;
    f.setFontWeight(BoldButton->isChecked() ? QFont::Bold : QFont::Normal);
    mergeCurrentFormat(f);
}

void TFormNotatnik::ItalicButtonClick()
{
    if (updating_)
        return;
    QTextCharFormat f;
    f.setFontItalic(ItalicButton->isChecked());
    mergeCurrentFormat(f);
}

void TFormNotatnik::UnderlineButtonClick()
{
    if (updating_)
        return;
    QTextCharFormat f;
    f.setFontUnderline(UnderlineButton->isChecked());
    mergeCurrentFormat(f);
}

void TFormNotatnik::AlignButtonClick(int tag)
{
    if (updating_)
        return;
    switch (tag) {
    case 1:
        RichEdit1->setAlignment(Qt::AlignRight);
        break;
    case 2:
        RichEdit1->setAlignment(Qt::AlignHCenter);
        break;
    default:
        RichEdit1->setAlignment(Qt::AlignLeft);
        break;
    }
}

void TFormNotatnik::BulletsButtonClick()
{
    if (updating_)
        return;
    QTextDocument *doc = RichEdit1->document();
    QTextCursor c = RichEdit1->textCursor();
    const QTextBlock first = doc->findBlock(c.selectionStart());
    const QTextBlock last = doc->findBlock(c.selectionEnd());
    c.beginEditBlock();
    if (BulletsButton->isChecked()) {
        QTextList *list = nullptr;
        for (QTextBlock b = first; b.isValid(); b = b.next()) {
            if (QTextList *own = b.textList()) {
                list = own;
            } else if (list) {
                list->add(b);
            } else {
                QTextListFormat lf;
                lf.setStyle(QTextListFormat::ListDisc);
                lf.setIndent(1);
                list = QTextCursor(b).createList(lf);
            }
            if (b == last)
                break;
        }
    } else {
        for (QTextBlock b = first; b.isValid(); b = b.next()) {
            if (QTextList *own = b.textList()) {
                own->remove(b);
                QTextBlockFormat bf = b.blockFormat();
                bf.setIndent(0);
                QTextCursor(b).setBlockFormat(bf);
            }
            if (b == last)
                break;
        }
    }
    c.endEditBlock();
    SelectionChange();
}

void TFormNotatnik::FontNameChange()
{
    if (updating_)
        return;
    const int at = FontName->currentIndex();
    if (at < 0) // a typed face that is not in the list is left alone
        return;
    QTextCharFormat f;
    f.setFontFamilies(QStringList{FontName->itemText(at)});
    mergeCurrentFormat(f);
}

void TFormNotatnik::FontSizeChange()
{
    if (updating_)
        return;
    const QString text = FontSize->text();
    kw::runCommand([&] {
        const std::optional<int> size = toInteger(text);
        if (!size)
            throw std::runtime_error(
                QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
        // A size the editor cannot show leaves the text as it is; a huge one is held at the largest
        // size a file can keep, so a slip of the finger cannot make the editor draw a mile-high glyph.
        if (*size < 1)
            return;
        QTextCharFormat f;
        f.setFontPointSize(std::min<double>(*size, kw::rtf::MaxPointSize));
        mergeCurrentFormat(f);
    });
}

void TFormNotatnik::SelectFont()
{
    const QTextCharFormat now = RichEdit1->currentCharFormat();
    const QColor colour =
        now.hasProperty(QTextFormat::ForegroundBrush) && now.foreground().style() != Qt::NoBrush
            ? now.foreground().color()
            : RichEdit1->palette().color(QPalette::Text);
    if (const auto chosen = kw::runFontDialog(this, kw::FontChoice{currentFont(), colour})) {
        const QFont &font = chosen->font;
        QTextCharFormat f;
        f.setFontFamilies(QStringList{font.families().value(0, font.family())});
        if (font.pointSizeF() > 0)
            f.setFontPointSize(std::clamp(font.pointSizeF(), kw::rtf::MinPointSize, kw::rtf::MaxPointSize));
        f.setFontWeight(font.bold() ? QFont::Bold : QFont::Normal);
        f.setFontItalic(font.italic());
        f.setFontUnderline(font.underline());
        f.setFontStrikeOut(font.strikeOut());
        if (chosen->colour.isValid())
            f.setForeground(chosen->colour);
        mergeCurrentFormat(f);
    }
    RichEdit1->setFocus();
}

// ---- files ----

bool TFormNotatnik::askSaveChanges(bool needsSave)
{
    if (!RichEdit1->document()->isModified())
        return true;
    const int answer =
        kw::messageBox(kw::appTitle(), QStringLiteral("Czy zapisać wprowadzone zmiany %1?").arg(fileName_),
                       kw::MsgIcon::Question, kw::Yes | kw::No | kw::Cancel);
    if (answer == kw::Cancel)
        return false;
    if (answer == kw::Yes) {
        const bool saved = save(false);
        // Opening another file over text the user wanted kept, but which was not saved, would
        // lose it: an unfinished save abandons the operation.
        if (needsSave && !saved)
            return false;
    }
    return true;
}

void TFormNotatnik::loadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw cannotOpen(path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw cannotOpen(path);

    // Read everything before touching the editor, so a refused file leaves the text as it was.
    std::optional<kw::rtf::Document> rich;
    QString plain;
    if (kw::rtf::isRtf(bytes))
        rich = kw::rtf::parse(bytes);
    else
        plain = decodePlainText(bytes);

    QTextDocument *doc = RichEdit1->document();
    doc->setUndoRedoEnabled(false);
    if (rich) {
        kw::rtf::build(*rich, doc);
    } else {
        doc->clear();
        QTextCursor(doc).insertText(plain, QTextCharFormat());
    }
    applyTextInset();
    doc->setUndoRedoEnabled(true);
    QTextCursor start(doc);
    RichEdit1->setTextCursor(start);
    doc->setModified(false);

    setFileName(path);
    RichEdit1->setFocus();
    RichEditChange();
    SelectionChange();
}

void TFormNotatnik::writeFile(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw cannotOpen(path);
    const QByteArray rtf = kw::rtf::write(*RichEdit1->document());
    if (file.write(rtf) != rtf.size() || !file.commit())
        throw cannotOpen(path);
}

void TFormNotatnik::setFileName(const QString &path)
{
    fileName_ = path;
    setWindowTitle(QStringLiteral("%1 - %2").arg(QFileInfo(path).fileName(), kw::appTitle()));
}

void TFormNotatnik::FileOpen()
{
    if (!askSaveChanges(true))
        return;
    kw::FileDialogRequest request;
    request.kind = kw::FileDialogKind::Open;
    request.directory = QCoreApplication::applicationDirPath();
    request.filter = fileFilter();
    const kw::FileDialogAnswer answer = kw::runFileDialog(this, request);
    if (!answer.accepted || answer.path.isEmpty())
        return;
    if (kw::runCommand([&] { loadFile(answer.path); }))
        RichEdit1->setReadOnly(answer.readOnly);
}

bool TFormNotatnik::save(bool saveAs)
{
    kw::FileDialogRequest request;
    request.kind = kw::FileDialogKind::Save;
    request.directory = QCoreApplication::applicationDirPath();
    request.filter = fileFilter();
    const kw::FileDialogAnswer answer = kw::runFileDialog(this, request);
    if (!answer.accepted || answer.path.isEmpty())
        return false;

    // A name typed without an extension gets the one of the file type chosen in the dialog.
    QString path = answer.path;
    if (QFileInfo(path).suffix().isEmpty()) {
        const QStringList patterns = kw::filterPatterns(request.filter);
        path += patterns.value(answer.filterIndex, patterns.value(0)).mid(1);
    }
    if (QFileInfo::exists(path)) {
        const QString question = saveAs ? QStringLiteral("Czy zamienić istniejący plik %1")
                                        : QStringLiteral("Zamienić istniejący plik  %1");
        if (kw::messageBox(kw::appTitle(), question.arg(path), kw::MsgIcon::Question,
                           kw::Yes | kw::No | kw::Cancel) != kw::Yes)
            return false;
    }
    if (!kw::runCommand([&] { writeFile(path); }))
        return false;
    setFileName(path);
    RichEdit1->document()->setModified(false);
    RichEditChange();
    return true;
}

void TFormNotatnik::FileSave()
{
    save(false);
}

void TFormNotatnik::FileSaveAs()
{
    save(true);
}

void TFormNotatnik::FilePrint()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(fileName_);
    if (kw::runPrintDialog(this, &printer))
        RichEdit1->print(&printer);
}

void TFormNotatnik::FileExit()
{
    close();
}

// ---- editing ----

void TFormNotatnik::EditUndo()
{
    if (RichEdit1)
        RichEdit1->undo();
}

void TFormNotatnik::EditCut()
{
    RichEdit1->cut();
}

void TFormNotatnik::EditCopy()
{
    RichEdit1->copy();
}

void TFormNotatnik::EditPaste()
{
    RichEdit1->paste();
}

void TFormNotatnik::ToolButton2Click()
{
    if (kw::messageBox(kw::appTitle(), QStringLiteral("Czy na pewno usunąć zawartość Edytora ?"),
                       kw::MsgIcon::Question, kw::Yes | kw::No | kw::Cancel) != kw::Yes)
        return;
    // One step the user can undo, should the question have been answered too quickly.
    QTextCursor c(RichEdit1->document());
    c.beginEditBlock();
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    if (QTextList *list = c.currentList())
        list->remove(c.block());
    c.setBlockFormat(QTextBlockFormat());
    c.endEditBlock();
}

void TFormNotatnik::WMDropFiles(const QList<QUrl> &urls)
{
    const QString first = urls.isEmpty() ? QString() : urls.constFirst().toLocalFile();
    if (first.isEmpty())
        return;
    if (!askSaveChanges(true))
        return;
    kw::runCommand([&] { loadFile(first); });
}
