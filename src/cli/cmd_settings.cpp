// set-base and set-output: the saves of the two folder windows.
#include "Cli.h"

#include "FolderSettings.h"
#include "Paths.h"

#include <QFileInfo>

namespace tessaly::cli {

// A relative Linux path is taken from the current folder; anything else (absolute,
// drive or share form, a blank) is stored exactly as given.
static QString folderArgument(const QString &arg)
{
    if (arg.trimmed().isEmpty() || IsWindowsFormPath(arg) || arg.startsWith(QLatin1Char('/')))
        return arg;
    return QFileInfo(arg).absoluteFilePath();
}

static int setFolder(Context &c, bool base)
{
    if (!c.openLibrary(c.args.at(0)))
        return 1;
    // As the window does when it opens: makes sure the single row exists.
    const FolderLoad load = base ? LoadBaseFolder(c.g, *c.dialogs) : LoadOutputFolder(c.g, *c.dialogs);
    if (!load.ok)
        return 1;
    const QString folder = folderArgument(c.args.at(1));
    const SaveResult r = base ? SaveBaseFolder(c.g, *c.dialogs, folder) : SaveOutputFolder(c.g, *c.dialogs, folder);
    if (r.outcome != SaveOutcome::Saved)
        return 1;
    c.out << (base ? "base folder: " : "output folder: ") << folder << "\n";
    if (r.rebase.ran)
        c.out << "paths rewritten in " << r.rebase.rowsSaved << " rows\n";
    return 0;
}

static CliCommand setBase("set-base", "set-base LIB FOLDER",
                          "stores the base folder; moving it to another root rewrites the stored paths",
                          [](Context &c) { return setFolder(c, true); }, {},
                          "基準フォルダを保存します。別のルートへ移すと保存済みのパスを書き換えます");
static CliCommand setOutput("set-output", "set-output LIB FOLDER", "stores the output folder of the album site",
                            [](Context &c) { return setFolder(c, false); }, {},
                            "アルバムサイトの出力先フォルダを保存します");

}  // namespace tessaly::cli
