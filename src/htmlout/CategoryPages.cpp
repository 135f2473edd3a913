// The category bar "sub/NameA.html" and one page per category in "sub".
#include "HtmlOut.h"

#include "Database.h"
#include "Global.h"
#include "PageFile.h"

namespace tessaly {

using namespace htmlout;

namespace {

// The category's page name; a stored name that cannot be a file name in "sub" stops
// the writer rather than writing somewhere else.
QString categoryFileName(const QString &name)
{
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0))
#ifdef Q_OS_WIN
        || name.contains(QLatin1Char('\\'))
#endif
    )
        throw WriteError{52, QStringLiteral("ファイル名が正しくありません。(%1.html)").arg(name)};
    return name + QStringLiteral(".html");
}

}  // namespace

bool WriteNameAPage(HtmlRun &run, const QString &outputFolder)
{
    return trapped(run, kNameAPageTitle, [&] {
        Connection conn(run.global().dbConnectString);
        RowSet cats(conn, QStringLiteral("photograph"));
        if (cats.eof()) {
            run.report(kNoCategory, kNameAPageTitle);
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
        for (; !cats.eof(); cats.moveNext()) {
            const QString name = cats.text(QStringLiteral("topFolderName"));
            lines << QStringLiteral("<option value='") + HtmlEscape(PathLinkEscape(name))
                         + QStringLiteral(".html' target='Frame3'>") + HtmlEscape(name);
        }
        lines << QStringLiteral("</select>") << QStringLiteral("</from>") << QStringLiteral("</td>")
              << QStringLiteral("<td><strong>カテゴリを選択してください。</strong></td>")
              << QStringLiteral("</table>") << QStringLiteral("</div>") << QStringLiteral("<html>")
              << QStringLiteral("<title>カテゴリ選択</title>")
              << QStringLiteral("<body style='background-color:#0000ff; color:#ffffff'>")
              << QStringLiteral("</html>");
        writePage(subPath(outputFolder, QStringLiteral("NameA.html")), lines);
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
            run.report(kNoCategory, kCategoryPagesTitle);
            return true;
        }
        RowSet genres(conn,
                      QStringLiteral("select * from photoyear where ID=? "
                                     "order by yearfoldername collate nocase, yearfoldername, ID1"),
                      {0});
        for (; !cats.eof(); cats.moveNext()) {
            genres.requery({cats.number(QStringLiteral("ID"))});
            if (genres.eof()) {
                // This category and the ones after it get no page in this run.
                run.report(kNoGenre, kCategoryPagesTitle);
                return true;
            }
            const QString file = categoryFileName(cats.text(QStringLiteral("topFolderName")));
            QStringList lines = {
                QStringLiteral("<style TYPE=text/css> a:link { text-decoration:none; color:#00ffff } </style>"),
                QStringLiteral("<html>"),
                QStringLiteral(R"x(<body style="color:#000000; background-color:#0000ff;font-style:italic; font-size:26;">)x"),
            };
            for (; !genres.eof(); genres.moveNext()) {
                const QString folder = genres.text(QStringLiteral("yearFolder"));
                lines << QStringLiteral("<a href=\"") + HtmlEscape(PathLinkEscape(folder))
                             + QStringLiteral("/nIndex.html\" target=\"Frame4\">")
                             + HtmlEscape(genres.text(QStringLiteral("yearFolderName"))) + QStringLiteral("</a><br>");
            }
            lines << QStringLiteral("</html>");
            writePage(subPath(outputFolder, file), lines);
            run.advance();
        }
        return false;
    });
}

}  // namespace tessaly
