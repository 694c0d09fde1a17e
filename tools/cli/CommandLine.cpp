#include "CommandLine.h"

#include <QCommandLineParser>

#include <set>

namespace kestrel::cli {

namespace {

QCommandLineOption ToQt(const OptionEntry& option) {
    QStringList names;
    if (option.short_name)
        names << QString(QLatin1Char(option.short_name));
    names << QString::fromLatin1(option.name);
    if (option.value_name)
        return {names, QString::fromUtf8(option.description),
                QString::fromLatin1(option.value_name)};
    return {names, QString::fromUtf8(option.description)};
}

void AddOptions(QCommandLineParser& parser, std::span<const OptionEntry> options,
                std::set<std::string>& added) {
    for (const OptionEntry& option : options)
        if (added.insert(option.name).second)
            parser.addOption(ToQt(option));
}

void Configure(QCommandLineParser& parser) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
}

CommandArgs ReadArgs(const QCommandLineParser& parser, const CommandEntry& command) {
    CommandArgs args;
    const auto take = [&](std::span<const OptionEntry> options) {
        for (const OptionEntry& option : options) {
            const QString name = QString::fromLatin1(option.name);
            if (!parser.isSet(name))
                continue;
            if (option.value_name)
                args.values[option.name] = parser.values(name);
            else
                args.switches.insert(option.name);
        }
    };
    take(GlobalOptions());
    take(command.options);
    const QStringList words = parser.positionalArguments();
    for (qsizetype i = 1; i < words.size(); ++i)
        args.positional.push_back(words[i].toStdString());
    return args;
}

} // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
    ParsedCommandLine parsed;
    // First every option any command knows, to find the subcommand even
    // behind options that take a value.
    QCommandLineParser scout;
    Configure(scout);
    std::set<std::string> added;
    AddOptions(scout, GlobalOptions(), added);
    for (const CommandEntry& c : AllCommands())
        AddOptions(scout, c.options, added);
    const bool understood = scout.parse(arguments);
    QStringList words = scout.positionalArguments();
    if (!words.isEmpty() && words.constFirst() == QStringLiteral("help")) {
        // "help" and "help COMMAND" are --help.
        parsed.kind = ParsedCommandLine::Kind::Help;
        if (words.size() > 1) {
            parsed.command = FindCommand(words[1].toStdString());
            if (!parsed.command) {
                parsed.kind = ParsedCommandLine::Kind::Error;
                parsed.error = "unknown command " + words[1].toStdString();
            }
        }
        return parsed;
    }
    if (words.isEmpty()) {
        if (understood && scout.isSet(QStringLiteral("version"))) {
            parsed.kind = ParsedCommandLine::Kind::Version;
        } else if (understood && scout.isSet(QStringLiteral("help"))) {
            parsed.kind = ParsedCommandLine::Kind::Help;
        } else {
            parsed.error = understood ? "no command given" : scout.errorText().toStdString();
        }
        return parsed;
    }
    parsed.command = FindCommand(words.constFirst().toStdString());
    if (!parsed.command) {
        parsed.error = "unknown command " + words.constFirst().toStdString();
        return parsed;
    }

    // Then the command's own options only.
    QCommandLineParser parser;
    Configure(parser);
    added.clear();
    AddOptions(parser, GlobalOptions(), added);
    AddOptions(parser, parsed.command->options, added);
    const bool ok = parser.parse(arguments);
    if (parser.isSet(QStringLiteral("help"))) {
        parsed.kind = ParsedCommandLine::Kind::Help;
        return parsed;
    }
    if (!ok) {
        parsed.error = parser.errorText().toStdString();
        return parsed;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parsed.kind = ParsedCommandLine::Kind::Version;
        return parsed;
    }
    parsed.kind = ParsedCommandLine::Kind::Run;
    parsed.args = ReadArgs(parser, *parsed.command);
    return parsed;
}

} // namespace kestrel::cli
