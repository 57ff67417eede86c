#include "tools/help/HelpFile.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>

namespace kw::help {

namespace {

const QRegularExpression &headingPattern()
{
    // "== Title {name}", the name optional; the braces are the last thing on the line.
    static const QRegularExpression re(QStringLiteral(R"(^(={2,})\s*(.*?)\s*(?:\{([^{}]*)\})?\s*$)"));
    return re;
}

const QRegularExpression &keywordPattern()
{
    static const QRegularExpression re(QStringLiteral(R"(^@\s*(indeks|index)\s*:(.*)$)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression &linkPattern()
{
    static const QRegularExpression re(QStringLiteral(R"(\[\[([^\]|]*)(?:\|([^\]]*))?\]\])"));
    return re;
}

const QRegularExpression &namePattern()
{
    static const QRegularExpression re(QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$"));
    return re;
}

QStringList words(const QString &folded)
{
    static const QRegularExpression separators(QStringLiteral(R"([^\p{L}\p{N}]+)"));
    return folded.split(separators, Qt::SkipEmptyParts);
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString emphasised(const QString &escapedText)
{
    static const QRegularExpression bold(QStringLiteral(R"(\*\*(.+?)\*\*)"));
    QString out = escapedText;
    out.replace(bold, QStringLiteral("<b>\\1</b>"));
    return out;
}

// Builds the topics line by line.
class Parser
{
public:
    explicit Parser(QList<Topic> &topics, QList<Problem> &problems) : topics_(topics), problems_(problems) {}

    void line(int number, const QString &raw)
    {
        const QString text = raw.trimmed();
        if (text.startsWith(QLatin1Char('#')))
            return; // a comment neither ends nor continues anything
        if (text.startsWith(QLatin1String("=="))) {
            heading(number, text);
            return;
        }
        if (topics_.isEmpty()) {
            if (!text.isEmpty() && !reportedStrayText_) {
                problems_.append({number, QStringLiteral("tekst przed pierwszym tematem jest pomijany")});
                reportedStrayText_ = true;
            }
            return;
        }
        Topic &topic = topics_.last();
        if (text.isEmpty()) {
            open_ = nullptr;
            return;
        }
        if (text.startsWith(QLatin1Char('@'))) {
            directive(number, topic, text);
            return;
        }
        if (text.startsWith(QLatin1String("- ")) || text == QLatin1String("-")) {
            startBlock(topic, Block::Bullet, number, text.mid(1).trimmed());
            return;
        }
        if (text.startsWith(QLatin1Char('>'))) {
            const QString quoted = text.mid(1).trimmed();
            if (open_ && open_->kind == Block::Quote)
                open_->text += QLatin1Char('\n') + quoted;
            else
                startBlock(topic, Block::Quote, number, quoted);
            return;
        }
        if (open_ && open_->kind != Block::Quote)
            open_->text += QLatin1Char(' ') + text;
        else
            startBlock(topic, Block::Paragraph, number, text);
    }

    const QList<int> &blockLines() const { return blockLines_; }

private:
    void heading(int number, const QString &text)
    {
        open_ = nullptr;
        const QRegularExpressionMatch m = headingPattern().match(text);
        const QString title = m.hasMatch() ? m.captured(2) : QString();
        if (title.isEmpty()) {
            problems_.append({number, QStringLiteral("nagłówek tematu bez tytułu jest pomijany")});
            // What follows would otherwise land in the previous topic.
            topics_.append(Topic{});
            topics_.last().id = uniqueName(QStringLiteral("temat"), number);
            topics_.last().title = QStringLiteral("(bez tytułu)");
            topics_.last().line = number;
            return;
        }
        Topic topic;
        topic.title = title;
        topic.line = number;
        topic.level = m.capturedLength(1) == 2 ? 1 : 2;
        if (topic.level == 2 && topics_.isEmpty()) {
            problems_.append(
                {number, QStringLiteral("temat podrzędny „%1” nie ma tematu nadrzędnego").arg(title)});
            topic.level = 1;
        }
        QString name = m.captured(3).trimmed();
        if (m.capturedLength(3) > 0 && !namePattern().match(name).hasMatch()) {
            problems_.append(
                {number, QStringLiteral("nazwa tematu „%1” może zawierać tylko małe litery łacińskie, "
                                        "cyfry i myślniki")
                             .arg(name)});
            name.clear();
        }
        if (name.isEmpty())
            name = HelpFile::nameFromTitle(title);
        topic.id = uniqueName(name, number);
        topics_.append(topic);
    }

    QString uniqueName(const QString &name, int number)
    {
        if (!seen_.contains(name)) {
            seen_.insert(name, number);
            return name;
        }
        problems_.append({number, QStringLiteral("nazwa tematu „%1” powtarza się (pierwszy raz w wierszu %2)")
                                      .arg(name)
                                      .arg(seen_.value(name))});
        for (int n = 2;; ++n) {
            const QString candidate = name + QLatin1Char('-') + QString::number(n);
            if (!seen_.contains(candidate)) {
                seen_.insert(candidate, number);
                return candidate;
            }
        }
    }

    void directive(int number, Topic &topic, const QString &text)
    {
        open_ = nullptr;
        const QRegularExpressionMatch m = keywordPattern().match(text);
        if (!m.hasMatch()) {
            problems_.append(
                {number,
                 QStringLiteral("nieznane polecenie „%1”").arg(text.section(QLatin1Char(':'), 0, 0))});
            return;
        }
        const QStringList parts = m.captured(2).split(QLatin1Char(';'));
        for (const QString &part : parts) {
            const QString keyword = part.simplified();
            if (keyword.isEmpty())
                continue;
            const bool known =
                std::any_of(topic.keywords.cbegin(), topic.keywords.cend(),
                            [&](const QString &k) { return k.compare(keyword, Qt::CaseInsensitive) == 0; });
            if (!known)
                topic.keywords.append(keyword);
        }
    }

    void startBlock(Topic &topic, Block::Kind kind, int number, const QString &text)
    {
        topic.blocks.append(Block{kind, text});
        open_ = &topic.blocks.last();
        blockLines_.append(number);
    }

    QList<Topic> &topics_;
    QList<Problem> &problems_;
    QHash<QString, int> seen_;
    Block *open_ = nullptr;
    QList<int> blockLines_; // first line of every block, in file order
    bool reportedStrayText_ = false;
};

} // namespace

QString HelpFile::fold(const QString &text)
{
    QString out;
    const QString decomposed = text.toLower().normalized(QString::NormalizationForm_D);
    out.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        out.append(c == QChar(0x0142) ? QLatin1Char('l') : c); // ł has no decomposition
    }
    return out;
}

QString HelpFile::nameFromTitle(const QString &title)
{
    static const QRegularExpression other(QStringLiteral("[^a-z0-9]+"));
    QString name = fold(title);
    name.replace(other, QStringLiteral("-"));
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    while (name.endsWith(QLatin1Char('-')))
        name.chop(1);
    return name.isEmpty() ? QStringLiteral("temat") : name;
}

HelpFile HelpFile::parse(const QString &text)
{
    HelpFile file;
    Parser parser(file.topics_, file.problems_);
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (normalised.startsWith(QChar(0xFEFF)))
        normalised.remove(0, 1);
    const QStringList lines = normalised.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i)
        parser.line(i + 1, lines.at(i));

    // Links are checked once every topic is known, so a link may point forward.
    struct Pending
    {
        QString target;
        int line;
    };
    QList<Pending> pending;
    int block = 0;
    for (Topic &topic : file.topics_) {
        for (const Block &b : topic.blocks) {
            const int line = parser.blockLines().value(block++);
            auto it = linkPattern().globalMatch(b.text);
            while (it.hasNext()) {
                const QString target = it.next().captured(1).trimmed();
                topic.links.append(target);
                pending.append({target, line});
            }
        }
    }
    for (const Pending &p : pending) {
        if (p.target.isEmpty())
            file.problems_.append({p.line, QStringLiteral("odsyłacz bez nazwy tematu")});
        else if (!file.topic(p.target))
            file.problems_.append(
                {p.line, QStringLiteral("odsyłacz do nieistniejącego tematu „%1”").arg(p.target)});
    }
    std::stable_sort(file.problems_.begin(), file.problems_.end(),
                     [](const Problem &a, const Problem &b) { return a.line < b.line; });
    file.buildIndex();
    return file;
}

const Topic *HelpFile::topic(const QString &id) const
{
    for (const Topic &t : topics_)
        if (t.id == id)
            return &t;
    return nullptr;
}

void HelpFile::buildIndex()
{
    QHash<QString, qsizetype> byKey;
    for (const Topic &topic : topics_) {
        for (const QString &keyword : topic.keywords) {
            const QString key = keyword.toCaseFolded();
            const auto found = byKey.constFind(key);
            if (found == byKey.cend()) {
                byKey.insert(key, index_.size());
                index_.append(IndexEntry{keyword, {topic.id}});
            } else if (!index_[*found].topicIds.contains(topic.id)) {
                index_[*found].topicIds.append(topic.id);
            }
        }
    }
    QCollator collator{QLocale(QLocale::Polish, QLocale::Poland)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::stable_sort(index_.begin(), index_.end(), [&](const IndexEntry &a, const IndexEntry &b) {
        const int order = collator.compare(a.keyword, b.keyword);
        return order != 0 ? order < 0 : a.keyword < b.keyword;
    });
}

QList<IndexEntry> HelpFile::searchIndex(const QString &typed) const
{
    const QStringList wanted = words(fold(typed));
    if (wanted.isEmpty())
        return index_;
    QList<IndexEntry> found;
    for (const IndexEntry &entry : index_) {
        const QStringList have = words(fold(entry.keyword));
        const bool matches = std::all_of(wanted.cbegin(), wanted.cend(), [&](const QString &w) {
            return std::any_of(have.cbegin(), have.cend(), [&](const QString &h) { return h.startsWith(w); });
        });
        if (matches)
            found.append(entry);
    }
    return found;
}

QString HelpFile::inlineHtml(const QString &text) const
{
    QString out;
    qsizetype from = 0;
    auto it = linkPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += emphasised(escaped(text.mid(from, m.capturedStart() - from)));
        from = m.capturedEnd();
        const QString target = m.captured(1).trimmed();
        const Topic *to = topic(target);
        QString label = m.captured(2).trimmed();
        if (label.isEmpty())
            label = to ? to->title : target;
        if (to)
            out += QStringLiteral("<a href=\"topic:%1\">%2</a>")
                       .arg(escaped(target), emphasised(escaped(label)));
        else
            out += emphasised(escaped(label));
    }
    out += emphasised(escaped(text.mid(from)));
    return out;
}

QString HelpFile::topicHtml(const QString &id) const
{
    const Topic *t = topic(id);
    if (!t)
        return {};
    QString html = QStringLiteral("<h2 style=\"color:#0f5a56\">%1</h2>\n").arg(escaped(t->title));
    bool inList = false;
    for (const Block &b : t->blocks) {
        if (b.kind != Block::Bullet && inList) {
            html += QStringLiteral("</ul>\n");
            inList = false;
        }
        switch (b.kind) {
        case Block::Paragraph:
            html += QStringLiteral("<p>%1</p>\n").arg(inlineHtml(b.text));
            break;
        case Block::Bullet:
            if (!inList) {
                html += QStringLiteral("<ul>\n");
                inList = true;
            }
            html += QStringLiteral("<li>%1</li>\n").arg(inlineHtml(b.text));
            break;
        case Block::Quote: {
            QStringList lines;
            for (const QString &line : b.text.split(QLatin1Char('\n')))
                lines.append(inlineHtml(line));
            html += QStringLiteral(
                        "<table width=\"100%\" cellpadding=\"6\" cellspacing=\"0\" bgcolor=\"#fff6d8\" "
                        "border=\"0\" style=\"margin-top:10px\"><tr><td><b>%1</b></td></tr></table>\n")
                        .arg(lines.join(QStringLiteral("<br>")));
            break;
        }
        }
    }
    if (inList)
        html += QStringLiteral("</ul>\n");

    const qsizetype at = t - topics_.constData();
    if (t->level == 1) {
        QString children;
        for (qsizetype i = at + 1; i < topics_.size() && topics_.at(i).level == 2; ++i)
            children += QStringLiteral("<li><a href=\"topic:%1\">%2</a></li>\n")
                            .arg(escaped(topics_.at(i).id), escaped(topics_.at(i).title));
        if (!children.isEmpty())
            html += QStringLiteral("<p><b>Tematy szczegółowe:</b></p>\n<ul>\n%1</ul>\n").arg(children);
    } else {
        for (qsizetype i = at - 1; i >= 0; --i) {
            if (topics_.at(i).level == 1) {
                html += QStringLiteral("<p>Temat nadrzędny: <a href=\"topic:%1\">%2</a></p>\n")
                            .arg(escaped(topics_.at(i).id), escaped(topics_.at(i).title));
                break;
            }
        }
    }
    return html;
}

LoadResult parseHelpBytes(const QByteArray &bytes, const QString &pathForMessages)
{
    LoadResult result;
    result.path = pathForMessages;
    const QString name = QDir::toNativeSeparators(pathForMessages);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        result.error = QStringLiteral("Plik pomocy %1 jest zapisany w kodowaniu UTF-16. "
                                      "Zapisz go w edytorze tekstu w kodowaniu UTF-8.")
                           .arg(name);
        return result;
    }
    if (bytes.contains('\0')) {
        result.error = QStringLiteral("Plik pomocy %1 nie jest plikiem tekstowym.").arg(name);
        return result;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        // Name the first line that is not UTF-8, so the person who edited the file can find it.
        int line = 1;
        for (const QByteArray &raw : bytes.split('\n')) {
            QStringDecoder probe(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = probe(raw);
            if (probe.hasError())
                break;
            ++line;
        }
        result.error = QStringLiteral("Plik pomocy %1 nie jest zapisany w kodowaniu UTF-8 (wiersz %2). "
                                      "Zapisz go w edytorze tekstu w kodowaniu UTF-8.")
                           .arg(name)
                           .arg(line);
        return result;
    }
    result.file = HelpFile::parse(text);
    if (result.file.isEmpty()) {
        result.error = QStringLiteral("Plik pomocy %1 nie zawiera żadnego tematu "
                                      "(temat zaczyna się od wiersza „== Tytuł”).")
                           .arg(name);
        return result;
    }
    result.ok = true;
    return result;
}

LoadResult loadHelpFile(const QString &path)
{
    LoadResult result;
    result.path = path;
    const QString name = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = QStringLiteral("Nie znaleziono pliku pomocy %1.").arg(name);
        return result;
    }
    if (info.isDir()) {
        result.error = QStringLiteral("%1 jest katalogiem, a nie plikiem pomocy.").arg(name);
        return result;
    }
    if (info.size() > MaxHelpFileSize) {
        result.error = QStringLiteral("Plik pomocy %1 jest za duży, by mógł być plikiem pomocy.").arg(name);
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString why = file.error() == QFileDevice::PermissionsError
                                ? QStringLiteral("brak uprawnień do jego odczytu")
                                : QStringLiteral("system nie pozwala go otworzyć");
        result.error = QStringLiteral("Nie można odczytać pliku pomocy %1: %2.").arg(name, why);
        return result;
    }
    const QByteArray bytes = file.read(MaxHelpFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        result.error = QStringLiteral("Nie można odczytać pliku pomocy %1: błąd odczytu.").arg(name);
        return result;
    }
    if (bytes.size() > MaxHelpFileSize) {
        result.error = QStringLiteral("Plik pomocy %1 jest za duży, by mógł być plikiem pomocy.").arg(name);
        return result;
    }
    return parseHelpBytes(bytes, path);
}

QStringList helpSearchPath()
{
    QStringList dirs{QDir::currentPath()};
    if (QCoreApplication::instance()) {
        dirs.append(QCoreApplication::applicationDirPath());
#ifdef KWOTNIK_HELP_FROM_BINDIR
        // An installed tree may be moved or installed under another prefix than the one it was
        // configured for; the data folder keeps its place relative to the program.
        dirs.append(QCoreApplication::applicationDirPath() + QStringLiteral("/" KWOTNIK_HELP_FROM_BINDIR));
#endif
    }
#ifdef KWOTNIK_INSTALL_DATADIR
    dirs.append(QStringLiteral(KWOTNIK_INSTALL_DATADIR));
#endif
    for (const QString &base : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        dirs.append(base + QStringLiteral("/kwotnik"));
    QStringList unique;
    for (const QString &dir : dirs) {
        const QString clean = QDir::cleanPath(dir);
        if (!clean.isEmpty() && !unique.contains(clean))
            unique.append(clean);
    }
    return unique;
}

QString locateHelpFile(const QString &name, const QStringList &dirs)
{
    if (name.isEmpty())
        return {};
    if (name.contains(QLatin1Char('/')) || QDir::isAbsolutePath(name)) {
        const QFileInfo info(name);
        return info.exists() ? info.absoluteFilePath() : QString();
    }
    for (const QString &dir : dirs) {
        const QDir d(dir);
        if (d.exists(name))
            return d.absoluteFilePath(name);
        const QStringList entries = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &entry : entries)
            if (entry.compare(name, Qt::CaseInsensitive) == 0)
                return d.absoluteFilePath(entry);
    }
    return {};
}

} // namespace kw::help
