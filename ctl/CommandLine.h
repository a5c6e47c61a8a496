// SPDX-License-Identifier: MIT
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What zavctl's commands accept, and the one parser of their arguments. Each command is one
// entry of a table (CommandLine::Command); the usage, each command's help, the checks of what
// was typed, the suggestions and the shell's completions all come from that entry.
namespace CommandLine {

// An option: a flag ("--json") or one that takes a value ("--speed N").
struct Option
{
    QString name; // with its dashes
    QString value = {}; // the value's name in the usage ("FILE", "N"); empty for a flag
    // Says what is wrong with a value (empty: nothing). Unset: any value that is not empty.
    std::function<QString(const QString &value)> check = {};
    bool required = false;
    // The values the shell may complete (a value named FILE completes file names).
    QStringList choices = {};
};

// A command's arguments, parsed.
struct Invocation
{
    QStringList operands;
    QHash<QString, QString> values; // by option name; a flag's value is empty

    bool has(const QString &option) const { return values.contains(option); }
    QString value(const QString &option) const { return values.value(option); }
};

struct Command
{
    QString name;
    // The operands' names as the usage writes them. "[X]" is optional; a last name ending in
    // "..." takes one or more.
    QStringList operands;
    QList<Option> options;
    QString summary; // one line, lower case, no full stop
    QString detail; // more, for 'zavctl help COMMAND'
    // What the shell may complete for an operand, by its position (empty: nothing; "@file"
    // with an optional pattern: file names).
    QStringList completions = {};
    // Runs the command; returns its exit code.
    std::function<int(const Invocation &)> run = {};

    const Option *option(const QString &name) const;
    // "play FILE... [--junit FILE] [--speed N]"
    QString synopsis() const;
};

// Parses `arguments` (after the command's name) for `command`: operands and options in any
// order, "--name VALUE" or "--name=VALUE", "--" ends the options. On a fault returns what was
// wrong, in words for the tester; `others` are the other commands, for "has no --json".
QString parse(const Command &command, const QList<Command> &others, const QStringList &arguments,
              Invocation *invocation);

// "no command "lsit"; did you mean "list"?"; for a word with dashes, the nearest of
// `globalOptions` ("no option --adress; did you mean --address?").
QString unknownCommand(const QList<Command> &commands, const QString &name, const QStringList &globalOptions = {});
const Command *find(const QList<Command> &commands, const QString &name);

// The program's usage: `head`, every command's synopsis and summary, then `tail`.
QString usage(const QList<Command> &commands, const QString &head, const QString &tail);
// One command's usage and help.
QString help(const Command &command, const QString &program);

// The words that may follow `words` (the command line so far, without the program's name)
// where the last word is being typed: one a line, "@file PATTERN" for file names.
QStringList completions(const QList<Command> &commands, const QStringList &globalOptions, const QStringList &words);

// Checks for options' values.
std::function<QString(const QString &)> numberIn(double low, double high, bool whole);

} // namespace CommandLine

#endif
