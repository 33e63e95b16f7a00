// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the manual pages tonvix(1) and tonvix-cli(1) and the bash completion of tonvix-cli from the
// programs' own help, so that they say what `--help` says: tonvix-command-docs FOLDER.
//
// The help texts keep one layout, which is read here: a first line "Użycie: ..." (perhaps continued
// on indented lines), then blocks separated by blank lines. In a block, a line that starts at the
// margin is prose; a line indented by two blanks is an item ("  --name VALUE   what it does"), whose
// description may go on in further, deeper indented lines. Upper-case words of an item's name stand
// for values the user gives ("PLIK", "N"); "A|C|Z" lists the values an option takes.

#include "app/CommandLine.h"
#include "cli/Options.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdio>

namespace {

struct TItem
{
    QString Term, Description;
};

// A run of lines of one kind within a block.
struct TRun
{
    bool Items = false;
    QStringList Prose;
    QList<TItem> List;
};

struct THelp
{
    QStringList Usage; // without "Użycie: "
    QList<QList<TRun>> Blocks;
};

const QString UsagePrefix = QStringLiteral("Użycie: ");

THelp ReadHelp(const QString& text)
{
    THelp help;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.front().startsWith(UsagePrefix))
        help.Usage << lines.takeFirst().mid(UsagePrefix.size()).trimmed();
    while (!help.Usage.isEmpty() && !lines.isEmpty() && lines.front().startsWith(QLatin1Char(' ')))
        help.Usage << lines.takeFirst().trimmed();
    static const QRegularExpression item(QStringLiteral("^  (\\S+(?: \\S+)*)(?:\\s{2,}(\\S.*))?$"));
    QList<TRun> block;
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty()) {
            if (!block.isEmpty())
                help.Blocks << block;
            block.clear();
            continue;
        }
        const bool continued =
            line.startsWith(QStringLiteral("   ")) && !block.isEmpty() && block.back().Items;
        if (continued) {
            TItem& last = block.back().List.back();
            last.Description +=
                (last.Description.isEmpty() ? QString() : QStringLiteral(" ")) + line.trimmed();
            continue;
        }
        const QRegularExpressionMatch match = item.match(line);
        const bool isItem = match.hasMatch();
        if (block.isEmpty() || block.back().Items != isItem)
            block << TRun{isItem, {}, {}};
        if (isItem)
            block.back().List << TItem{match.captured(1), match.captured(2)};
        else
            block.back().Prose << line.trimmed();
    }
    if (!block.isEmpty())
        help.Blocks << block;
    return help;
}

// A value the user gives: "N", "PLIK", "WEJŚCIE" (not "A|C|Z", "PLIK.lev" or "[OPCJE]").
bool IsPlaceholder(const QString& word)
{
    static const QRegularExpression upper(QStringLiteral("^\\p{Lu}[\\p{Lu}\\d_]*$"));
    return upper.match(word).hasMatch();
}

// ---- Manual pages

QString Roff(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
    text.replace(QLatin1Char('-'), QStringLiteral("\\-"));
    if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\'')))
        text.prepend(QStringLiteral("\\&"));
    return text;
}

// Commands and options in bold, the values the user gives in italics.
QString Synopsis(const QString& text)
{
    QStringList words;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString bare = word;
        const bool optional = bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']'));
        if (optional)
            bare = bare.mid(1, bare.size() - 2);
        const QString font = IsPlaceholder(bare) ? QStringLiteral("\\fI") : QStringLiteral("\\fB");
        const QString formatted = font + Roff(bare) + QStringLiteral("\\fR");
        words << (optional ? QLatin1Char('[') + formatted + QLatin1Char(']') : formatted);
    }
    return words.join(QLatin1Char(' '));
}

QString Blocks(const QList<QList<TRun>>& blocks)
{
    QString page;
    for (const QList<TRun>& block : blocks)
        for (const TRun& run : block) {
            if (!run.Items) {
                page += QStringLiteral(".PP\n") + Roff(run.Prose.join(QLatin1Char(' '))) + QLatin1Char('\n');
                continue;
            }
            for (const TItem& item : run.List)
                page += QStringLiteral(".TP\n") + Synopsis(item.Term) + QLatin1Char('\n') +
                        Roff(item.Description) + QLatin1Char('\n');
        }
    return page;
}

// "tonvix-cli - what it is": from the first sentence of the help's first paragraph, less a leading
// "Tonvix - ".
QString NameLine(const QString& program, const THelp& help)
{
    QString sentence = help.Blocks.value(0).value(0).Prose.join(QLatin1Char(' '));
    sentence = sentence.section(QStringLiteral(". "), 0, 0);
    if (sentence.endsWith(QLatin1Char('.')))
        sentence.chop(1);
    sentence.remove(QRegularExpression(QStringLiteral("^\\S+ - ")));
    if (!sentence.isEmpty())
        sentence[0] = sentence[0].toLower();
    return Roff(program) + QStringLiteral(" \\- ") + Roff(sentence) + QLatin1Char('\n');
}

QString PageHead(const QString& program)
{
    return QStringLiteral(
               "'\\\" -*- coding: UTF-8 -*-\n"
               ".\\\" SPDX-License-Identifier: GPL-3.0-or-later\n"
               ".\\\" Made by tonvix-command-docs from `%1 --help`: change the help, not this page.\n"
               ".TH %2 1 \"\" \"Tonvix %3\" \"Polecenia użytkownika\"\n"
               ".\\\" English hyphenation patterns would cut Polish words wrongly.\n"
               ".nh\n")
        .arg(program, Roff(program.toUpper()), QStringLiteral(TONVIX_VERSION));
}

QString ManualPage(const QString& program, const QString& helpText, const QString& seeAlso,
                   const std::vector<TCommandHelp>& commands)
{
    const THelp help = ReadHelp(helpText);
    QString page = PageHead(program) + QStringLiteral(".SH NAZWA\n") + NameLine(program, help) +
                   QStringLiteral(".SH SKŁADNIA\n");
    for (qsizetype i = 0; i < help.Usage.size(); ++i)
        page += (i > 0 ? QStringLiteral(".br\n") : QString()) + Synopsis(help.Usage[i]) + QLatin1Char('\n');
    page += QStringLiteral(".SH OPIS\n") + Blocks(help.Blocks);
    if (!commands.empty()) {
        page += QStringLiteral(".SH POLECENIA\n");
        for (const TCommandHelp& command : commands) {
            const THelp commandHelp = ReadHelp(command.Help);
            page += QStringLiteral(".SS ") + Roff(command.Name) + QStringLiteral("\n.nf\n");
            for (const QString& usage : commandHelp.Usage)
                page += Synopsis(usage) + QLatin1Char('\n');
            page += QStringLiteral(".fi\n") + Blocks(commandHelp.Blocks);
        }
    }
    page += QStringLiteral(".SH ZOBACZ TAKŻE\n.BR ") + seeAlso +
            QStringLiteral(" (1)\n.PP\nPodręcznik użytkownika: polecenie Pomoc > Podręcznik (F1) programu "
                           "Tonvix, plik share/tonvix/podrecznik/index.html w folderze instalacji "
                           "(zwykle /usr).\n");
    return page;
}

// ---- Bash completion

QString Quoted(const QStringList& words)
{
    return QLatin1Char('"') + words.join(QLatin1Char(' ')) + QLatin1Char('"');
}

// The cases of one command: for each option that takes a value what may be offered for it (the values
// listed, file names, or nothing for a value to type), then the command's options. A command whose
// usage names values of its own (file names) gets file names beside its options.
QString CommandCompletion(const TCommandHelp& command)
{
    const THelp help = ReadHelp(command.Help);
    QString cases;
    for (const QList<TRun>& block : help.Blocks)
        for (const TRun& run : block)
            for (const TItem& item : run.List) {
                const QString name = item.Term.section(QLatin1Char(' '), 0, 0);
                const QString value = item.Term.section(QLatin1Char(' '), 1);
                if (!name.startsWith(QStringLiteral("--")) || value.isEmpty())
                    continue;
                const QStringList alternatives = value.split(QLatin1Char('|'));
                bool files = false;
                QStringList choices;
                for (const QString& alternative : alternatives) {
                    if (alternative.startsWith(QStringLiteral("PLIK")))
                        files = true;
                    else if (alternatives.size() > 1 &&
                             !(IsPlaceholder(alternative) && alternative.size() > 2))
                        choices << alternative;
                }
                cases += QStringLiteral("        %1:%2) words=%3%4 ;;\n")
                             .arg(command.Name, name, Quoted(choices),
                                  files ? QStringLiteral("; _tonvix_cli_files") : QString());
            }
    bool positional = false;
    for (const QString& usage : help.Usage) {
        const QStringList words = usage.split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(2);
        for (qsizetype i = 0; i < words.size(); ++i)
            positional = positional ||
                         (IsPlaceholder(words[i]) && (i == 0 || !words[i - 1].startsWith(QLatin1Char('-'))));
    }
    QStringList options;
    for (const QString& option : command.Options)
        options << QStringLiteral("--") + option;
    options << QStringLiteral("--help");
    return cases +
           QStringLiteral("        %1:*) words=%2%3 ;;\n")
               .arg(command.Name, Quoted(options),
                    positional ? QStringLiteral("; [[ $cur == -* ]] || _tonvix_cli_files") : QString());
}

QString Completion(const std::vector<TCommandHelp>& commands)
{
    QStringList names;
    QString cases;
    for (const TCommandHelp& command : commands) {
        names << command.Name;
        cases += CommandCompletion(command);
    }
    names << QStringLiteral("--help") << QStringLiteral("--version");
    return QStringLiteral(
               "# SPDX-License-Identifier: GPL-3.0-or-later\n"
               "# Bash completion of tonvix-cli, made by tonvix-command-docs from its command table.\n"
               "\n"
               "_tonvix_cli_files()\n"
               "{\n"
               "    compopt -o filenames 2>/dev/null\n"
               "    mapfile -t -O \"${#COMPREPLY[@]}\" COMPREPLY < <(compgen -f -- \"$cur\")\n"
               "}\n"
               "\n"
               "_tonvix_cli()\n"
               "{\n"
               "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} words=\n"
               "    COMPREPLY=()\n"
               "    if ((COMP_CWORD == 1)); then\n"
               "        words=%1\n"
               "    else # a value after an option, or else the command's options\n"
               "        case ${COMP_WORDS[1]}:$prev in\n"
               "%2"
               "        esac\n"
               "    fi\n"
               "    mapfile -t -O \"${#COMPREPLY[@]}\" COMPREPLY < <(compgen -W \"$words\" -- \"$cur\")\n"
               "}\n"
               "complete -F _tonvix_cli tonvix-cli\n")
        .arg(Quoted(names), cases);
}

bool WriteText(const QString& fileName, const QString& text)
{
    QFile file(fileName);
    const QByteArray bytes = text.toUtf8();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "Użycie: tonvix-command-docs FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const std::vector<TCommandHelp> commands = CommandHelpTexts();
    const bool written = folder.mkpath(QStringLiteral(".")) &&
                         WriteText(folder.filePath(QStringLiteral("tonvix.1")),
                                   ManualPage(QStringLiteral("tonvix"), WindowHelpText(),
                                              QStringLiteral("tonvix\\-cli"), {})) &&
                         WriteText(folder.filePath(QStringLiteral("tonvix-cli.1")),
                                   ManualPage(QStringLiteral("tonvix-cli"), ProgramHelpText(),
                                              QStringLiteral("tonvix"), commands)) &&
                         WriteText(folder.filePath(QStringLiteral("tonvix-cli")), Completion(commands));
    if (!written)
        std::fprintf(stderr, "tonvix-command-docs: cannot write into %s\n", argv[1]);
    return written ? 0 : 1;
}
