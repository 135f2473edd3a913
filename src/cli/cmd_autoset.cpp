// autoset: the three passes of the editor's auto-set, without its question.
#include "Cli.h"
#include <QCoreApplication>

#include "AutoSet.h"

namespace tessaly::cli {

static int autosetCommand(Context &c)
{
    if (!c.openLibrary(c.args.first()))
        return 1;
    AutoSetCounts counts;
    AutoSetOptions options;
    options.transactionPerPass = !c.hasOption(QStringLiteral("--no-transaction"));
    TerminalProgress progress(QCoreApplication::translate("cli", "オートセット: 調べたフォルダ"));
    options.progress = [&](const AutoSetCounts &n) { progress.show(n.foldersListed); };
    const AutoSetResult r = RunAutoSetPasses(c.g, *c.dialogs, &counts, options);
    progress.finish();
    // A pass that stopped has said on stderr what it kept; counts would read as done.
    if (r.stopped)
        return 1;
    c.summary() << AutoSetSummary(counts) << '\n' << RenamedText(counts) << Qt::endl;
    if (r.categoryStatus == ScanBaseNotSetStop || r.anyError)
        return 1;
    return 0;
}

static CliCommand autoset("autoset", "autoset [--yes] [--no-transaction] LIB",
                          "registers every folder under the base folder: categories, genres, titles "
                          "(messages on stderr; --yes goes on with the stored categories when the base "
                          "folder is not set)",
                          autosetCommand, {},
                          "基準フォルダの下のフォルダをすべて登録します: カテゴリー・ジャンル・タイトル"
                          "(メッセージは標準エラーへ。--yes: 基準フォルダが未設定なら登録済みのカテゴリーで続けます。"
                          "--no-transaction: 1 行ずつ書き込みます)");

}  // namespace tessaly::cli
