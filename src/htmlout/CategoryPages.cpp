// The category bar "sub/NameA.html" and one page per category in "sub".
#include "HtmlOut.h"

#include "Database.h"
#include "Global.h"
#include "PageFile.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QSet>

namespace tessaly {

using namespace htmlout;

namespace {

// A stored name that cannot be a file name in "sub" stops the writer rather than
// writing somewhere else.
void checkFileName(const QString &name)
{
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0))
#ifdef Q_OS_WIN
        || name.contains(QLatin1Char('\\'))
#endif
    )
        throw WriteError{52, QCoreApplication::translate("HtmlOut", "ファイル名が正しくありません。(%1.html)").arg(name)};
}

// The category names in table order.
QStringList categoryNames(RowSet &cats)
{
    QStringList names;
    for (cats.moveFirst(); !cats.eof(); cats.moveNext())
        names << cats.text(QStringLiteral("topFolderName"));
    cats.moveFirst();
    return names;
}

// The name cut to at most maxBytes of UTF-8, never inside a character.
QString cutToBytes(const QString &name, int maxBytes)
{
    int bytes = 0;
    int i = 0;
    while (i < name.size()) {
        const bool pair = name.at(i).isHighSurrogate() && i + 1 < name.size();
        const int len = pair ? 2 : 1;
        const int b = int(name.mid(i, len).toUtf8().size());
        if (bytes + b > maxBytes)
            break;
        bytes += b;
        i += len;
    }
    return name.left(i);
}

}  // namespace

QStringList UniqueFileNames(const QStringList &names, const QString &suffix, const QStringList &reserved, int nameMax)
{
    const auto unusable = [&](const QString &file) {
        return reserved.contains(file) || file.isEmpty() || file == QLatin1String(".") || file == QLatin1String("..")
               || file.contains(QLatin1Char('/')) || file.contains(QChar(0)) || file.toUtf8().size() > nameMax;
    };
    QStringList files;
    QSet<QString> taken;
    QList<int> renamed;
    // Plain names first, so that a renamed file never takes another name's place.
    for (int i = 0; i < names.size(); ++i) {
        const QString file = names[i] + suffix;
        if (unusable(file) || taken.contains(file)) {
            files << QString();
            renamed << i;
        } else {
            files << file;
            taken.insert(file);
        }
    }
    for (const int i : renamed) {
        const QByteArray utf8 = names[i].toUtf8();
        const QString tag = QLatin1Char('~')
                            + QString::fromLatin1(QCryptographicHash::hash(utf8, QCryptographicHash::Sha1).toHex().left(8));
        QString clean = names[i];
        clean.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
        for (int n = 1;; ++n) {
            const QString end = tag + (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + suffix;
            const QString file = cutToBytes(clean, nameMax - int(end.toUtf8().size())) + end;
            if (!taken.contains(file) && !unusable(file)) {
                files[i] = file;
                taken.insert(file);
                break;
            }
        }
    }
    return files;
}

QStringList CategoryPageFiles(const QStringList &names, int nameMax)
{
    return UniqueFileNames(names, QStringLiteral(".html"),
                           {QStringLiteral("NameA.html"), QStringLiteral("b.html"), QStringLiteral("c.html")}, nameMax);
}

bool WriteNameAPage(HtmlRun &run, const QString &outputFolder)
{
    return trapped(run, kNameAPageTitle, [&] {
        Connection conn(run.global().dbConnectString);
        RowSet cats(conn, QStringLiteral("photograph"));
        if (cats.eof()) {
            run.report(QCoreApplication::translate("HtmlOut", kNoCategory.toUtf8().constData()), kNameAPageTitle);
            return true;
        }
        QStringList lines = {
            QStringLiteral("<script type='Text/javascript'>"),
            QStringLiteral("<!--"),
            QStringLiteral("function GoPage( a ){"),
            QStringLiteral("top.Frame3.location.href = a.options[a.selectedIndex].value;"),
            QStringLiteral("top.Frame4.location.href = 'c.html';"),
            QStringLiteral("}"),
            QStringLiteral("//-->"),
            QStringLiteral("</script>"),
            QStringLiteral("<script type='text/javascript'>"),
            QStringLiteral("<!--"),
            QStringLiteral("weeks=new Array('日','月','火','水','木','金','土');"),
            QStringLiteral("today=new Date();"),
            QStringLiteral("y=today.getFullYear();"),
            QStringLiteral("m=today.getMonth()+1;"),
            QStringLiteral("d=today.getDate();"),
            QStringLiteral("w=weeks[today.getDay()];"),
            QStringLiteral(R"x(document.write('<div style=\'position: absolute; left: 400; top:20;\'>');)x"),
            QStringLiteral(R"x(document.write('今日は、<span>',y,'<\/span>年');)x"),
            QStringLiteral(R"x(document.write('<span>',m,'<\/span>月');)x"),
            QStringLiteral(R"x(document.write('<span>',d,'<\/span>日');)x"),
            QStringLiteral(R"x(document.write('<span>',w,'<\/span>曜日です。');)x"),
            QStringLiteral("document.write('</div>');"),
            QStringLiteral("//-->"),
            QStringLiteral("</script>"),
            QStringLiteral("<style TYPE=text/css>"),
            QStringLiteral("span { font-size:large; color: #fffff0; font-weight: bold }"),
            QStringLiteral("</style>"),
            QStringLiteral("<div style='position: absolute; left: 20; top:20;background-color:#0000ff'>"),
            QStringLiteral("<table border=0>"),
            QStringLiteral("<tr valign><td>"),
            QStringLiteral("<from>"),
            QStringLiteral("<select name='PullList' size=+1 onchange='GoPage(this)'>"),
            QStringLiteral("<option value='b.html'>Choose!"),
        };
        const QStringList names = categoryNames(cats);
        const QStringList files = CategoryPageFiles(names, nameMax(ChildPath(outputFolder, QStringLiteral("sub"))));
        for (int i = 0; i < names.size(); ++i)
            lines << QStringLiteral("<option value='") + HtmlEscape(LinkEscape(files[i]))
                         + QStringLiteral("' target='Frame3'>") + HtmlEscape(names[i]);
        lines << QStringLiteral("</select>") << QStringLiteral("</from>") << QStringLiteral("</td>")
              << QStringLiteral("<td><strong>カテゴリを選択してください。</strong></td>")
              << QStringLiteral("</table>") << QStringLiteral("</div>") << QStringLiteral("<html>")
              << QStringLiteral("<title>カテゴリ選択</title>")
              << QStringLiteral("<body style='background-color:#0000ff; color:#ffffff'>")
              << QStringLiteral("</html>");
        run.layout().writePage(subPath(outputFolder, QStringLiteral("NameA.html")), lines);
        run.advance();
        return false;
    });
}

bool WriteCategoryPages(HtmlRun &run, const QString &outputFolder)
{
    return trapped(run, kCategoryPagesTitle, [&] {
        Connection conn(run.global().dbConnectString);
        RowSet cats(conn, QStringLiteral("photograph"));
        if (cats.eof()) {
            run.report(QCoreApplication::translate("HtmlOut", kNoCategory.toUtf8().constData()), kCategoryPagesTitle);
            return true;
        }
        RowSet genres(conn,
                      QStringLiteral("select * from photoyear where ID=? "
                                     "order by yearfoldername collate nocase, yearfoldername, ID1"),
                      {0});
        const QStringList files = CategoryPageFiles(categoryNames(cats), nameMax(ChildPath(outputFolder, QStringLiteral("sub"))));
        // The bar offers every category, so each gets its page; one without genres says so
        // there, and once at the end of the run.
        QStringList withoutGenres;
        for (int i = 0; !cats.eof(); cats.moveNext(), ++i) {
            genres.requery({cats.number(QStringLiteral("ID"))});
            const QString name = cats.text(QStringLiteral("topFolderName"));
            checkFileName(name);
            QStringList lines = {
                QStringLiteral("<style TYPE=text/css> a:link { text-decoration:none; color:#00ffff } </style>"),
                QStringLiteral("<html>"),
                QStringLiteral(R"x(<body style="color:#000000; background-color:#0000ff;font-style:italic; font-size:26;">)x"),
            };
            if (genres.eof()) {
                withoutGenres << name;
                lines << QStringLiteral("<span style=\"color:#ffffff\">") + kNoGenre + QStringLiteral("</span><br>");
            }
            for (; !genres.eof(); genres.moveNext()) {
                GenreInfo genre;
                genre.id = genres.number(QStringLiteral("ID1"));
                genre.categoryId = genres.number(QStringLiteral("ID"));
                genre.folder = genres.text(QStringLiteral("yearFolder"));
                genre.name = genres.text(QStringLiteral("yearFolderName"));
                lines << QStringLiteral("<a href=\"") + HtmlEscape(run.layout().genreLink(genre))
                             + QStringLiteral("\" target=\"Frame4\">") + HtmlEscape(genre.name)
                             + QStringLiteral("</a><br>");
            }
            lines << QStringLiteral("</html>");
            run.layout().writePage(subPath(outputFolder, files[i]), lines);
            run.advance();
        }
        if (!withoutGenres.isEmpty())
            run.notice(QCoreApplication::translate("HtmlOut", "次のカテゴリーにはジャンルが未登録です。そのページには「%1」と書きました。\n\r").arg(kNoGenre)
                           + withoutGenres.join(QStringLiteral("\n\r")),
                       kCategoryPagesTitle);
        return false;
    });
}

}  // namespace tessaly
