#include "PageFile.h"

#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessaly::htmlout {

const QString kNoCategory = QStringLiteral("カテゴリが未登録です！");
const QString kNoGenre = QStringLiteral("ジャンルが未登録です！");

bool isLocalPath(const QString &path)
{
#ifdef Q_OS_WIN
    return QDir::isAbsolutePath(path);
#else
    return path.startsWith(QLatin1Char('/'));
#endif
}

void pathNotFound(const QString &path)
{
    throw WriteError{76, QStringLiteral("パスが見つかりません。(%1)").arg(path)};
}

[[noreturn]] static void fileFailure(const QFile &f, const QString &path)
{
    switch (f.error()) {
    case QFileDevice::PermissionsError:
        throw WriteError{70, QStringLiteral("書き込みが許可されていません。(%1)").arg(path)};
    case QFileDevice::ResourceError:
        throw WriteError{61, QStringLiteral("ディスクがいっぱいです。(%1)").arg(path)};
    default:
        break;
    }
    const QString folder = QFileInfo(path).path();
    if (!QFileInfo(folder).isDir())
        pathNotFound(folder);
    throw WriteError{75, QStringLiteral("パス名が無効か、ファイルにアクセスできません。(%1: %2)")
                             .arg(path, f.errorString())};
}

void writePage(const QString &path, const QStringList &lines)
{
    if (!isLocalPath(path))
        pathNotFound(path);
    const QString folder = QFileInfo(path).path();
    if (!IsFolder(folder))
        pathNotFound(folder);
    const QByteArray bytes = PageBytes(lines);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fileFailure(f, path);
    if (f.write(bytes) != bytes.size() || !f.flush())
        fileFailure(f, path);
    f.close();
    if (f.error() != QFileDevice::NoError)
        fileFailure(f, path);
}

QString subPath(const QString &outputFolder, const QString &name)
{
    if (!isLocalPath(outputFolder))
        pathNotFound(outputFolder);
    return ChildPath(ChildPath(outputFolder, QStringLiteral("sub")), name);
}

QString reportText(const WriteError &e)
{
    return QString::number(e.number) + QLatin1Char(':') + e.text;
}

QString reportText(const DbError &e)
{
    return QString::number(kDbErrorNumber) + QLatin1Char(':') + e.message();
}

}  // namespace tessaly::htmlout
