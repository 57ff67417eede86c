#pragma once

// The companion's one command line: every command is a row of one table, read by one parser, with
// one rule for the exit status and one usage text built from the rows.

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>
#include <span>

namespace kw::cli {

// The exit status of every command.
enum Exit : int
{
    Done = 0,       // done
    Failed = 1,     // refused or failed: nothing written; or an empty statement
    WrongUsage = 2, // the command line was wrong; the usage is printed
};

struct Invocation
{
    QString command;
    QStringList args;  // the positional arguments after the command
    QString directory; // from --dir; empty when not given
    // The command's own options that were given, by name without the dashes ("year" -> "2024").
    QMap<QString, QString> options;
    QStringList switches; // the command's own options without a value that stood on the line ("--force")
};

struct Command
{
    const char *name;
    // The command's lines of the usage: what to write after "kwotnik-ledger", then what it does.
    const char *synopsis;
    const char *description;
    int minArgs, maxArgs; // maxArgs -1: the command counts its arguments itself
    // The first argument names the data folder; --dir may stand in for it.
    bool folderArgument;
    // The command reads the data folder of --dir (else the working directory).
    bool takesDir;
    // The command lays pages out and paints them, so it runs with a (headless) GUI application.
    bool paints;
    int (*run)(const Invocation &);
    // The options of this command alone, each with a value: "--year --month"; nullptr for none.
    const char *options = nullptr;
    // The command's own options without a value, separated by spaces ("--dry-run"); none when null.
    const char *switches = nullptr;
};

// The commands the companion knows, in the order the usage lists them.
std::span<const Command> commands();
const Command *findCommand(const QString &name);

struct Parsed
{
    bool help = false;             // --help or -h stood somewhere: print the usage, exit 0
    std::optional<Invocation> run; // set when the line is right
    const Command *command = nullptr;
    QString error; // what was wrong, in Polish (wrong usage)
};
Parsed parse(const QStringList &arguments); // the arguments after the program's name

// The whole usage (every command, the options, the exit statuses), or one command's lines.
QString usage();
QString usage(const Command &command);

// "kwotnik-ledger: message" on stderr.
void printError(const QString &message);
// The message and the usage on stderr; returns WrongUsage.
int wrongUsage(const QString &message, const Command *command = nullptr);

int runMain(int argc, char **argv);

} // namespace kw::cli
