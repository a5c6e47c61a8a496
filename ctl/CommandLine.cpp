// SPDX-License-Identifier: MIT
#include "CommandLine.h"

#include "Nearest.h"
#include "ZavVocabulary.h"

#include <algorithm>

using Zav::printable;

namespace CommandLine {

namespace {
bool isOptional(const QString &operand)
{
    return operand.startsWith(QLatin1Char('['));
}

// Whether the last operand takes one or more ("FILE...").
bool takesMany(const Command &command)
{
    return !command.operands.isEmpty() && command.operands.constLast().endsWith(QLatin1String("..."));
}

QStringList optionNames(const Command &command)
{
    QStringList names;
    for (const Option &option : command.options)
        names << option.name;
    return names;
}

// Where the options end and operands alone follow.
const QString EndOfOptions = QStringLiteral("--");
} // namespace

const Option *Command::option(const QString &name) const
{
    for (const Option &each : options) {
        if (each.name == name)
            return &each;
    }
    return nullptr;
}

QString Command::synopsis() const
{
    QStringList parts {name};
    parts += operands;
    for (const Option &each : options) {
        const QString text = each.value.isEmpty() ? each.name : each.name + QLatin1Char(' ') + each.value;
        parts << (each.required ? text : QLatin1Char('[') + text + QLatin1Char(']'));
    }
    return parts.join(QLatin1Char(' '));
}

QString parse(const Command &command, const QList<Command> &others, const QStringList &arguments,
              Invocation *invocation)
{
    Invocation parsed;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnded || !argument.startsWith(QLatin1String("--"))) {
            parsed.operands << argument;
            continue;
        }
        if (argument == EndOfOptions) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? argument : argument.left(equals);
        const Option *option = command.option(name);
        if (!option) {
            for (const Command &other : others) {
                if (other.option(name))
                    return QStringLiteral("%1 has no %2").arg(command.name, name);
            }
            const QString guess = nearest(name, optionNames(command));
            return guess.isEmpty()
                ? QStringLiteral("%1 has no option %2").arg(command.name, printable(name))
                : QStringLiteral("%1 has no option %2; did you mean %3?").arg(command.name, printable(name), guess);
        }
        if (option->value.isEmpty()) {
            if (equals >= 0)
                return QStringLiteral("%1 takes no value").arg(name);
            parsed.values.insert(name, QString());
            continue;
        }
        // "--out --journal j": the next option is no value.
        if (equals < 0
            && (i + 1 >= arguments.size() || command.option(arguments.at(i + 1))
                || arguments.at(i + 1) == EndOfOptions))
            return QStringLiteral("%1 needs a value").arg(name);
        const QString value = equals >= 0 ? argument.mid(equals + 1) : arguments.at(++i);
        if (parsed.has(name))
            return QStringLiteral("%1 is given twice").arg(name);
        const QString fault = option->check ? option->check(value)
            : value.isEmpty()               ? QStringLiteral("needs a value")
                                            : QString();
        if (!fault.isEmpty())
            return name + QLatin1Char(' ') + fault;
        parsed.values.insert(name, value);
    }
    for (const Option &option : command.options) {
        if (option.required && !parsed.has(option.name))
            return QStringLiteral("%1 needs %2 %3").arg(command.name, option.name, option.value);
    }
    QStringList needed;
    for (const QString &operand : command.operands) {
        if (!isOptional(operand))
            needed << operand;
    }
    if (parsed.operands.size() < needed.size())
        return QStringLiteral("%1 needs %2").arg(command.name, needed.join(QLatin1Char(' ')));
    // An id is the service's text (often a number, not always): one that no service can have is
    // a mistake in the command, not a transfer to look for.
    for (qsizetype i = 0; i < parsed.operands.size() && i < command.operands.size(); ++i) {
        const QString &id = parsed.operands.at(i);
        const bool control = std::any_of(id.cbegin(), id.cend(),
                                         [](QChar c) { return c.category() == QChar::Other_Control; });
        if (command.operands.at(i) == QLatin1String("ID") && (id.isEmpty() || id.size() > Zav::MaxIdLength || control))
            return QStringLiteral("\"%1\" is not a transfer id (one to %2 printable characters)")
                .arg(printable(id.left(40)))
                .arg(Zav::MaxIdLength);
    }
    if (!takesMany(command) && parsed.operands.size() > command.operands.size())
        return QStringLiteral("too many arguments for %1").arg(command.name);
    *invocation = parsed;
    return QString();
}

const Command *find(const QList<Command> &commands, const QString &name)
{
    for (const Command &command : commands) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

QString unknownCommand(const QList<Command> &commands, const QString &name, const QStringList &globalOptions)
{
    if (name.startsWith(QLatin1Char('-'))) {
        const QString guess = nearest(name, globalOptions);
        return guess.isEmpty() ? QStringLiteral("no option %1").arg(printable(name))
                               : QStringLiteral("no option %1; did you mean %2?").arg(printable(name), guess);
    }
    QStringList names;
    for (const Command &command : commands)
        names << command.name;
    const QString guess = nearest(name, names);
    return guess.isEmpty() ? QStringLiteral("no command \"%1\"").arg(printable(name))
                           : QStringLiteral("no command \"%1\"; did you mean \"%2\"?").arg(printable(name), guess);
}

QString usage(const QList<Command> &commands, const QString &head, const QString &tail)
{
    constexpr int Column = 36;
    QString text = head;
    for (const Command &command : commands) {
        const QString synopsis = command.synopsis();
        text += synopsis.size() < Column
            ? QStringLiteral("  %1 %2\n").arg(synopsis, -Column).arg(command.summary)
            : QStringLiteral("  %1\n  %2 %3\n").arg(synopsis).arg(QString(), -Column).arg(command.summary);
    }
    return text + tail;
}

QString help(const Command &command, const QString &program)
{
    QString summary = command.summary;
    if (!summary.isEmpty())
        summary[0] = summary[0].toUpper();
    return QStringLiteral("Usage: %1 %2\n%3.\n").arg(program, command.synopsis(), summary)
        + (command.detail.isEmpty() ? QString() : command.detail + QLatin1Char('\n'));
}

QStringList completions(const QList<Command> &commands, const QStringList &globalOptions, const QStringList &words)
{
    QStringList names;
    for (const Command &command : commands)
        names << command.name;
    if (words.size() <= 1)
        return names + globalOptions;
    const Command *command = find(commands, words.constFirst());
    if (!command)
        return {};
    const QString typed = words.constLast();
    const Option *previous = command->option(words.at(words.size() - 2));
    if (words.size() > 2 && previous && !previous->value.isEmpty())
        return previous->value == QLatin1String("FILE") ? QStringList {QStringLiteral("@file")} : previous->choices;
    if (typed.startsWith(QLatin1Char('-')))
        return optionNames(*command) << QStringLiteral("--help");
    // The operand being typed: the words before it that are neither options nor their values.
    qsizetype position = 0;
    for (qsizetype i = 1; i + 1 < words.size(); ++i) {
        const Option *option = command->option(words.at(i));
        if (option)
            i += option->value.isEmpty() ? 0 : 1;
        else
            ++position;
    }
    if (command->completions.isEmpty() || (position >= command->completions.size() && !takesMany(*command)))
        return {};
    const QString choices = command->completions.value(qMin(position, command->completions.size() - 1));
    if (choices == QLatin1String("@commands"))
        return names;
    return choices.startsWith(QLatin1Char('@')) ? QStringList {choices}
                                                : choices.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

std::function<QString(const QString &)> numberIn(double low, double high, bool whole)
{
    return [=](const QString &value) {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (ok && number >= low && number <= high && (!whole || number == qint64(number)))
            return QString();
        return QStringLiteral("does not take \"%1\"").arg(printable(value));
    };
}

} // namespace CommandLine
