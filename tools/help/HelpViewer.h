#pragma once

// The help viewer: one window with the contents of the help file, its index with a search box, and
// the text of the chosen topic with links to other topics. The program talks to it through the
// functions at the end of this header.

#include "tools/help/HelpFile.h"

#include <QStringList>
#include <QWidget>

class QLineEdit;
class QTabWidget;
class QTextBrowser;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

namespace kw::help {

class HelpViewer : public QWidget
{
    Q_OBJECT
public:
    explicit HelpViewer(QWidget *parent = nullptr);

    // Replaces what the window shows and opens the start topic on the contents page.
    void setDocument(const HelpFile &file, const QString &path);
    const HelpFile &document() const { return file_; }
    QString documentPath() const { return path_; }

    // Shows a topic and selects it in the contents; false when the file has no such topic.
    bool showTopic(const QString &id);
    QString currentTopic() const { return current_; }

    void showContentsPage();
    void showIndexPage();

    bool canGoBack() const { return !back_.isEmpty(); }
    bool canGoForward() const { return !forward_.isEmpty(); }
    void goBack();
    void goForward();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillContents();
    void fillIndex(const QString &typed);
    void openIndexItem(QTreeWidgetItem *item);
    void openLink(const QUrl &url);
    void display(const QString &id);
    void updateHistoryButtons();

    HelpFile file_;
    QString path_;
    QString current_;
    QStringList back_;
    QStringList forward_;
    bool syncing_ = false;

    QTabWidget *tabs_ = nullptr;
    QTreeWidget *contents_ = nullptr;
    QLineEdit *search_ = nullptr;
    QTreeWidget *index_ = nullptr;
    QTextBrowser *text_ = nullptr;
    QToolButton *backButton_ = nullptr;
    QToolButton *forwardButton_ = nullptr;
};

// The application's help file, named as the program names it ("POMOC.HLP"); a name without a folder
// is looked up by locateHelpFile when the help is opened.
void setHelpFile(const QString &name);
QString helpFile();

// Opens the help on its contents page; a second call brings the same window forward. When the file
// cannot be found or read, the viewer says so in a message box and shows nothing; returns false.
bool showTopics();
// Opens the help on one topic (same rules as showTopics).
bool showTopic(const QString &id);

// The window, once the help has been opened; nullptr before.
HelpViewer *viewer();
// Closes and destroys the window (at shutdown).
void destroyViewer();

// Title of the viewer's own messages.
QString viewerTitle();

} // namespace kw::help
