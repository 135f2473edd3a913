#include "Usage.h"

#include <QTextStream>

#include <cstdio>

namespace tessaly {

UsageSpec ParseUsageLine(const QString &usage)
{
    UsageSpec spec;
    int depth = 0;
    QString lastOption;  // an option whose bracket group is still open
    const QStringList tokens = usage.split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(1);
    for (QString t : tokens) {
        const int opens = int(t.count(QLatin1Char('[')));
        const int closes = int(t.count(QLatin1Char(']')));
        t.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        depth += opens;
        if (t.startsWith(QLatin1String("--"))) {
            spec.flags << t;
            lastOption = depth > 0 ? t : QString();
        } else if (!lastOption.isEmpty() && opens == 0) {
            spec.flags.removeAll(lastOption);
            spec.valueOptions << lastOption;
            lastOption.clear();
        } else if (!t.isEmpty()) {
            if (depth == 0)
                ++spec.minArgs;
            if (t.endsWith(QLatin1String("...")))
                spec.maxArgs = -1;
            else if (spec.maxArgs >= 0)
                ++spec.maxArgs;
        }
        depth -= closes;
        if (depth <= 0) {
            depth = 0;
            lastOption.clear();
        }
    }
    return spec;
}

UsageLang UsageLanguage()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray v = qgetenv(name);
        if (!v.isEmpty())
            return v.startsWith("ja") ? UsageLang::Ja : UsageLang::En;
    }
    return UsageLang::En;
}

static const QString &pick(const UsageEntry &e, UsageLang lang)
{
    return lang == UsageLang::Ja && !e.ja.isEmpty() ? e.ja : e.en;
}

static QString pick(const QString &en, const QString &ja, UsageLang lang)
{
    return lang == UsageLang::Ja && !ja.isEmpty() ? ja : en;
}

QString HelpText(const UsageText &text, UsageLang lang)
{
    const bool ja = lang == UsageLang::Ja;
    QString s;
    QTextStream out(&s);
    out << (ja ? "使い方: " : "Usage: ") << text.program << ' ' << text.synopsis << "\n\n"
        << pick(text.aboutEn, text.aboutJa, lang) << "\n";
    if (!text.commands.isEmpty()) {
        out << '\n' << (ja ? "コマンド:" : "Commands:") << '\n';
        for (const UsageEntry &c : text.commands)
            out << "  " << c.usage << "\n      " << pick(c, lang) << '\n';
    }
    out << '\n' << (ja ? "オプション:" : "Options:") << '\n';
    for (const UsageEntry &o : text.options)
        out << "  " << o.usage.leftJustified(12) << ' ' << pick(o, lang) << '\n';
    out.flush();
    return s;
}

static QString roff(QString t)
{
    t.replace(QLatin1Char('\\'), QLatin1String("\\e"));
    t.replace(QLatin1Char('-'), QLatin1String("\\-"));
    if (t.startsWith(QLatin1Char('.')) || t.startsWith(QLatin1Char('\'')))
        t.prepend(QLatin1String("\\&"));
    return t;
}

static bool isWide(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 0x3000 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFFEF);
}

// Japanese runs on without spaces: a break is allowed between two characters where one
// is wide, except before closing marks and small kana and after opening ones.
static QString japaneseBreaks(const QString &t)
{
    static const QString noBreakBefore = QStringLiteral("、。，．・：；？！）〕］｝」』】ー〜ぁぃぅぇぉっゃゅょァィゥェォッャュョ),.:;!?]");
    static const QString noBreakAfter = QStringLiteral("（〔［｛「『【([");
    QString out;
    for (int i = 0; i < t.size(); ++i) {
        out += t.at(i);
        if (i + 1 == t.size())
            break;
        const QChar c = t.at(i), d = t.at(i + 1);
        if ((isWide(c) || isWide(d)) && !c.isSpace() && !d.isSpace() && c != QLatin1Char('\\')
            && !noBreakBefore.contains(d) && !noBreakAfter.contains(c))
            out += QLatin1String("\\:");
    }
    return out;
}

QString ManPage(const UsageText &text, UsageLang lang, const QString &version)
{
    const bool ja = lang == UsageLang::Ja;
    // Japanese text is set ragged-right: justified, its few spaces would stretch wide.
    const auto roff = [ja](const QString &t) { return ja ? japaneseBreaks(tessaly::roff(t)) : tessaly::roff(t); };
    QString s;
    QTextStream out(&s);
    out << ".TH " << tessaly::roff(text.program.toUpper()) << " 1 \"\" \"Tessaly " << version << "\" \""
        << (ja ? "ユーザーコマンド" : "User Commands") << "\"\n";
    if (ja)
        out << ".ad l\n.nh\n";
    out << ".SH " << (ja ? "名前" : "NAME") << '\n'
        << tessaly::roff(text.program) << " \\- " << tessaly::roff(pick(text.whatisEn, text.whatisJa, lang)) << '\n';
    out << ".SH " << (ja ? "書式" : "SYNOPSIS") << "\n.B " << roff(text.program) << '\n'
        << roff(text.synopsis) << '\n';
    out << ".SH " << (ja ? "説明" : "DESCRIPTION") << '\n' << roff(pick(text.aboutEn, text.aboutJa, lang)) << '\n';
    if (!text.commands.isEmpty()) {
        out << ".SH " << (ja ? "コマンド" : "COMMANDS") << '\n';
        for (const UsageEntry &c : text.commands)
            out << ".TP\n.B " << roff(c.usage) << '\n' << roff(pick(c, lang)) << '\n';
    }
    out << ".SH " << (ja ? "オプション" : "OPTIONS") << '\n';
    for (const UsageEntry &o : text.options)
        out << ".TP\n.B " << roff(o.usage) << '\n' << roff(pick(o, lang)) << '\n';
    out << ".SH " << (ja ? "関連項目" : "SEE ALSO") << '\n'
        << (text.program == QLatin1String("tessaly") ? ".BR tessaly\\-cli (1)\n" : ".BR tessaly (1)\n");
    out.flush();
    return s;
}

bool PrintManPageIfAsked(const QStringList &args, const UsageText &text, const QString &version)
{
    const int at = int(args.indexOf(QStringLiteral("--man-page")));
    if (at < 0)
        return false;
    const UsageLang lang = args.value(at + 1) == QLatin1String("ja") ? UsageLang::Ja : UsageLang::En;
    const QByteArray page = ManPage(text, lang, version).toUtf8();
    std::fwrite(page.constData(), 1, size_t(page.size()), stdout);
    std::fflush(stdout);
    return true;
}

}  // namespace tessaly
