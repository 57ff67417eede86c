#pragma once

// The program's help file: plain UTF-8 text with topic headings, index keywords and links between
// topics. The format is described in the first lines of data/POMOC.HLP; in short:
//
//   # comment                    ignored
//   == Title {name}              a topic (=== for a topic under the preceding == one)
//   @indeks: keyword; keyword    index keywords of the current topic
//   - text                       a bullet
//   > text                       a quoted line (a message as the program shows it)
//   [[name]] / [[name|text]]     a link to another topic
//   **text**                     emphasis
//
// Blank lines end paragraphs; other lines join the paragraph (or bullet) they continue.
// Nothing here needs widgets: the viewer only shows what this parser produced.

#include <QList>
#include <QString>
#include <QStringList>

namespace kw::help {

struct Block
{
    enum Kind
    {
        Paragraph,
        Bullet,
        Quote
    };
    Kind kind = Paragraph;
    QString text; // as written, markup included; a Quote keeps its lines separated by '\n'
};

struct Topic
{
    QString id;
    QString title;
    int level = 1; // 1 for "==", 2 for "==="
    int line = 0;  // line of the heading, from 1
    QStringList keywords;
    QList<Block> blocks;
    QStringList links; // targets in the order they appear
};

struct IndexEntry
{
    QString keyword;
    QStringList topicIds; // in the order of the topics
};

// Something in the file a person editing it should know about; the file is still usable.
struct Problem
{
    int line = 0;
    QString text;
};

class HelpFile
{
public:
    // Reads the text of a help file. Never fails: whatever cannot be understood becomes a Problem.
    static HelpFile parse(const QString &text);

    const QList<Topic> &topics() const { return topics_; }
    const Topic *topic(const QString &id) const;
    bool isEmpty() const { return topics_.isEmpty(); }
    // The topic shown when the help opens: the first one.
    QString startTopic() const { return topics_.isEmpty() ? QString() : topics_.first().id; }
    const QList<Problem> &problems() const { return problems_; }

    // Every keyword once (spelling of its first use), in Polish alphabetical order.
    const QList<IndexEntry> &index() const { return index_; }
    // The index narrowed to the keywords matching what the user typed: every typed word must begin
    // some word of the keyword; letter case and Polish diacritics do not matter.
    QList<IndexEntry> searchIndex(const QString &typed) const;

    // The topic as rich text for a text browser. Links point to "topic:<name>"; a link to a topic the
    // file does not have is shown as plain text. A topic with sub-topics lists them at its end.
    QString topicHtml(const QString &id) const;

    // Lower case without Polish diacritics, for matching what the user typed.
    static QString fold(const QString &text);
    // A topic name made from a title, for headings written without {name}.
    static QString nameFromTitle(const QString &title);

private:
    QString inlineHtml(const QString &text) const;
    void buildIndex();

    QList<Topic> topics_;
    QList<IndexEntry> index_;
    QList<Problem> problems_;
};

// Reading a help file from disk. `error` is a sentence for the user, in Polish, naming the file.
struct LoadResult
{
    bool ok = false;
    HelpFile file;
    QString path;
    QString error;
};

// Files larger than this are refused: a help file is a few dozen kilobytes.
inline constexpr qint64 MaxHelpFileSize = 8 * 1024 * 1024;

LoadResult loadHelpFile(const QString &path);
LoadResult parseHelpBytes(const QByteArray &bytes, const QString &pathForMessages);

// Where a help file given by name alone is looked for, in order: the working directory, the
// executable's directory, the data directory beside it in an installed tree (share/kwotnik next to
// bin/), then the installed data directories.
QStringList helpSearchPath();
// The full path of the file, or an empty string when none of the directories has it. A name with a
// directory part is taken as it is. Letter case of the name does not matter within a directory.
QString locateHelpFile(const QString &name, const QStringList &dirs = helpSearchPath());

} // namespace kw::help
