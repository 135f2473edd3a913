// set-base and set-output: the saves of the two folder windows.
#include "Cli.h"

#include "FolderSettings.h"
#include "Paths.h"

#include <QDir>
#include <QFileInfo>

namespace tessaly::cli {

static int setFolder(Context &c, bool base)
{
    if (!c.openLibrary(c.args.at(0)))
        return 1;
    // As the window does when it opens: makes sure the single row exists.
    const FolderLoad load = base ? LoadBaseFolder(c.g, *c.dialogs) : LoadOutputFolder(c.g, *c.dialogs);
    if (!load.ok)
        return 1;
    // A relative path is taken from the current folder; the save refuses an empty or
    // Windows-form one with the window's own words.
    const QString folder = JudgeFolderText(c.args.at(1), QDir::currentPath()).path;
    // A typing slip is refused rather than made into a folder.
    const MissingFolder missing = c.hasOption(QStringLiteral("--create")) ? MissingFolder::Create : MissingFolder::Refuse;
    const SaveResult r = base ? SaveBaseFolder(c.g, *c.dialogs, folder, nullptr, missing)
                              : SaveOutputFolder(c.g, *c.dialogs, folder, nullptr, missing);
    if (r.outcome != SaveOutcome::Saved) {
        if (missing == MissingFolder::Refuse && IsAbsolutePath(r.folder) && !IsWindowsFormPath(r.folder)
            && !QFileInfo::exists(r.folder))
            c.err << "tessaly-cli: " << QCoreApplication::translate("cli", "作成するには --create を付けてください。") << Qt::endl;
        return 1;
    }
    QTextStream &out = c.summary();
    out << (base ? QCoreApplication::translate("cli", "基準フォルダ: %1") : QCoreApplication::translate("cli", "HTML出力先: %1")).arg(r.folder) << "\n";
    if (r.rebase.ran)
        out << QCoreApplication::translate("cli", "パスを書き換えた行: %1").arg(r.rebase.rowsSaved) << "\n";
    return 0;
}

static CliCommand setBase("set-base", "set-base [--create] LIB FOLDER",
                          "stores the base folder (--create: makes it when missing); moving it rewrites the stored "
                          "paths that lay in it",
                          [](Context &c) { return setFolder(c, true); }, {},
                          "基準フォルダを保存します(--create: ないときは作成します)。移すと、その中にあった保存済みのパスを書き換えます");
static CliCommand setOutput("set-output", "set-output [--create] LIB FOLDER",
                            "stores the output folder of the album site (--create: makes it when missing)",
                            [](Context &c) { return setFolder(c, false); }, {},
                            "アルバムサイトの出力先フォルダを保存します(--create: ないときは作成します)");

}  // namespace tessaly::cli
