#include "tools/help/HelpViewer.h"

#include "framework/Messages.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace kw::help {

namespace {

constexpr int TopicRole = Qt::UserRole;

QTreeWidget *makeTree(const QString &name, QWidget *parent)
{
    auto *tree = new QTreeWidget(parent);
    tree->setObjectName(name);
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setRootIsDecorated(true);
    tree->setUniformRowHeights(true);
    return tree;
}

} // namespace

QString viewerTitle()
{
    return QStringLiteral("Pomoc – ") + appTitle();
}

HelpViewer::HelpViewer(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(viewerTitle());
    resize(800, 560);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    auto *bar = new QHBoxLayout;
    backButton_ = new QToolButton(this);
    backButton_->setObjectName(QStringLiteral("Back"));
    backButton_->setText(QStringLiteral("Wstecz"));
    backButton_->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    backButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    backButton_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    backButton_->setToolTip(QStringLiteral("Poprzedni temat (Alt+←)"));
    forwardButton_ = new QToolButton(this);
    forwardButton_->setObjectName(QStringLiteral("Forward"));
    forwardButton_->setText(QStringLiteral("Dalej"));
    forwardButton_->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    forwardButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    forwardButton_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    forwardButton_->setToolTip(QStringLiteral("Następny temat (Alt+→)"));
    bar->addWidget(backButton_);
    bar->addWidget(forwardButton_);
    bar->addStretch(1);
    layout->addLayout(bar);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    tabs_ = new QTabWidget(splitter);
    tabs_->setObjectName(QStringLiteral("Tabs"));

    contents_ = makeTree(QStringLiteral("Contents"), tabs_);
    tabs_->addTab(contents_, QStringLiteral("Spis treści"));

    auto *indexPage = new QWidget(tabs_);
    auto *indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(4, 6, 4, 4);
    auto *prompt = new QLabel(QStringLiteral("&Wpisz szukane słowo:"), indexPage);
    search_ = new QLineEdit(indexPage);
    search_->setObjectName(QStringLiteral("IndexSearch"));
    search_->setClearButtonEnabled(true);
    prompt->setBuddy(search_);
    index_ = makeTree(QStringLiteral("Index"), indexPage);
    indexLayout->addWidget(prompt);
    indexLayout->addWidget(search_);
    indexLayout->addWidget(index_, 1);
    tabs_->addTab(indexPage, QStringLiteral("Indeks"));

    text_ = new QTextBrowser(splitter);
    text_->setObjectName(QStringLiteral("TopicText"));
    text_->setOpenLinks(false);
    text_->document()->setDocumentMargin(12);
    splitter->addWidget(tabs_);
    splitter->addWidget(text_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({290, 510});
    layout->addWidget(splitter, 1);

    connect(backButton_, &QToolButton::clicked, this, &HelpViewer::goBack);
    connect(forwardButton_, &QToolButton::clicked, this, &HelpViewer::goForward);
    connect(text_, &QTextBrowser::anchorClicked, this, &HelpViewer::openLink);
    connect(contents_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (!syncing_ && item)
            showTopic(item->data(0, TopicRole).toString());
    });
    connect(index_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (!syncing_)
            openIndexItem(item);
    });
    connect(index_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { openIndexItem(item); });
    connect(index_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { openIndexItem(item); });
    connect(search_, &QLineEdit::textEdited, this, &HelpViewer::fillIndex);
    connect(search_, &QLineEdit::returnPressed, this, [this] { openIndexItem(index_->currentItem()); });
    search_->installEventFilter(this);
    updateHistoryButtons();
}

void HelpViewer::setDocument(const HelpFile &file, const QString &path)
{
    file_ = file;
    path_ = path;
    current_.clear();
    back_.clear();
    forward_.clear();
    fillContents();
    fillIndex(search_->text());
    display(file_.startTopic());
    showContentsPage();
}

void HelpViewer::fillContents()
{
    const QSignalBlocker block(contents_);
    contents_->clear();
    QTreeWidgetItem *parent = nullptr;
    for (const Topic &topic : file_.topics()) {
        QTreeWidgetItem *item = nullptr;
        if (topic.level == 2 && parent)
            item = new QTreeWidgetItem(parent);
        else
            item = parent = new QTreeWidgetItem(contents_);
        item->setText(0, topic.title);
        item->setData(0, TopicRole, topic.id);
    }
    contents_->expandAll();
}

void HelpViewer::fillIndex(const QString &typed)
{
    syncing_ = true;
    index_->clear();
    const QList<IndexEntry> entries = file_.searchIndex(typed);
    for (const IndexEntry &entry : entries) {
        auto *item = new QTreeWidgetItem(index_);
        item->setText(0, entry.keyword);
        if (entry.topicIds.size() == 1) {
            item->setData(0, TopicRole, entry.topicIds.first());
            continue;
        }
        // One keyword, several topics: the keyword leads to the first, and lists them all.
        item->setData(0, TopicRole, entry.topicIds.first());
        for (const QString &id : entry.topicIds) {
            auto *child = new QTreeWidgetItem(item);
            const Topic *topic = file_.topic(id);
            child->setText(0, topic ? topic->title : id);
            child->setData(0, TopicRole, id);
        }
    }
    if (entries.isEmpty() && !typed.trimmed().isEmpty()) {
        auto *none = new QTreeWidgetItem(index_);
        none->setText(0, QStringLiteral("Brak haseł zaczynających się od „%1”").arg(typed.trimmed()));
        none->setFlags(Qt::NoItemFlags);
    }
    index_->setRootIsDecorated(std::any_of(entries.cbegin(), entries.cend(),
                                           [](const IndexEntry &e) { return e.topicIds.size() > 1; }));
    if (!entries.isEmpty())
        index_->setCurrentItem(index_->topLevelItem(0));
    syncing_ = false;
}

void HelpViewer::openIndexItem(QTreeWidgetItem *item)
{
    if (!item || !(item->flags() & Qt::ItemIsEnabled))
        return;
    if (item->childCount() > 0)
        item->setExpanded(true);
    showTopic(item->data(0, TopicRole).toString());
}

void HelpViewer::openLink(const QUrl &url)
{
    if (url.scheme() == QLatin1String("topic"))
        showTopic(url.path());
}

bool HelpViewer::showTopic(const QString &id)
{
    if (!file_.topic(id))
        return false;
    if (id == current_)
        return true;
    if (!current_.isEmpty())
        back_.append(current_);
    forward_.clear();
    display(id);
    return true;
}

void HelpViewer::goBack()
{
    if (back_.isEmpty())
        return;
    forward_.prepend(current_);
    display(back_.takeLast());
}

void HelpViewer::goForward()
{
    if (forward_.isEmpty())
        return;
    back_.append(current_);
    display(forward_.takeFirst());
}

void HelpViewer::display(const QString &id)
{
    current_ = id;
    text_->setHtml(file_.topicHtml(id));
    text_->verticalScrollBar()->setValue(0);
    syncing_ = true;
    for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
        if ((*it)->data(0, TopicRole).toString() == id) {
            contents_->setCurrentItem(*it);
            break;
        }
    }
    syncing_ = false;
    updateHistoryButtons();
}

void HelpViewer::updateHistoryButtons()
{
    backButton_->setEnabled(canGoBack());
    forwardButton_->setEnabled(canGoForward());
}

void HelpViewer::showContentsPage()
{
    tabs_->setCurrentIndex(0);
}

void HelpViewer::showIndexPage()
{
    tabs_->setCurrentIndex(1);
    search_->setFocus();
}

bool HelpViewer::eventFilter(QObject *watched, QEvent *event)
{
    // Up and down in the search box walk the narrowed index, so the hands stay on the keyboard.
    if (watched == search_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QCoreApplication::sendEvent(index_, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- the program's access to the help ----

namespace {

QString &helpFileName()
{
    static QString name = QStringLiteral("POMOC.HLP");
    return name;
}

QPointer<HelpViewer> &viewerSlot()
{
    static QPointer<HelpViewer> slot;
    return slot;
}

struct Stamp
{
    QString path;
    QDateTime modified;
    qint64 size = -1;
    bool operator==(const Stamp &) const = default;
};

Stamp &loadedStamp()
{
    static Stamp stamp;
    return stamp;
}

Stamp stampOf(const QString &path)
{
    const QFileInfo info(path);
    return Stamp{path, info.lastModified(), info.size()};
}

void report(const QString &text)
{
    messageBox(viewerTitle(), text, MsgIcon::Warning, Ok);
}

QString missingMessage(const QString &name)
{
    QStringList dirs;
    for (const QString &dir : helpSearchPath())
        dirs.append(QStringLiteral("    ") + QDir::toNativeSeparators(dir));
    return QStringLiteral("Nie znaleziono pliku pomocy %1.\n\nSzukano go w katalogach:\n%2\n\n"
                          "Skopiuj plik %1 do katalogu z danymi programu (tam, gdzie leżą pliki "
                          "Wydatki.dbf, Suma.dbf i Sum.DBF) i otwórz pomoc ponownie.")
        .arg(name, dirs.join(QLatin1Char('\n')));
}

HelpViewer *openViewer()
{
    const QString name = helpFileName();
    const QString path = locateHelpFile(name);
    if (path.isEmpty()) {
        report(missingMessage(name));
        return nullptr;
    }
    const Stamp stamp = stampOf(path);
    HelpViewer *window = viewerSlot();
    if (!window || !(loadedStamp() == stamp)) {
        LoadResult loaded = loadHelpFile(path);
        if (!loaded.ok) {
            report(loaded.error);
            return nullptr;
        }
        if (!window) {
            window = new HelpViewer;
            viewerSlot() = window;
            // Closing the main window ends the program even while the help is open, and the
            // help goes with it.
            window->setAttribute(Qt::WA_QuitOnClose, false);
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, window, [] { destroyViewer(); });
            QRect frame = window->frameGeometry();
            frame.moveCenter(window->screen()->availableGeometry().center());
            window->move(frame.topLeft());
        }
        window->setDocument(loaded.file, path);
        loadedStamp() = stamp;
    }
    return window;
}

void bringForward(HelpViewer *window)
{
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

void setHelpFile(const QString &name)
{
    helpFileName() = name;
}

QString helpFile()
{
    return helpFileName();
}

bool showTopics()
{
    HelpViewer *window = openViewer();
    if (!window)
        return false;
    if (!window->isVisible())
        window->showContentsPage();
    bringForward(window);
    return true;
}

bool showTopic(const QString &id)
{
    HelpViewer *window = openViewer();
    if (!window)
        return false;
    window->showTopic(id);
    bringForward(window);
    return true;
}

HelpViewer *viewer()
{
    return viewerSlot();
}

void destroyViewer()
{
    delete viewerSlot().data();
    viewerSlot() = nullptr;
    loadedStamp() = Stamp{};
}

} // namespace kw::help
