#pragma once
// What the page writers share: writing a page file and trapping a writer's errors.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <exception>

#include "Database.h"
#include "HtmlOut.h"

namespace tessaly::htmlout {

extern const QString kNoCategory;  // "カテゴリが未登録です！"
extern const QString kNoGenre;     // "ジャンルが未登録です！"
// Both are page texts; a message that reports them translates them in context "HtmlOut".
// Number shown for a database failure (the provider's generic error).
constexpr int kDbErrorNumber = -2147467259;

// A run-time error of a writer: the number and the text of its report.
struct WriteError {
    int number;
    QString text;
};

// Only absolute paths of this system are written or read: a relative path, or one in
// the other platform's form, would land in whatever folder the program runs in.
bool isLocalPath(const QString &path);
[[noreturn]] void pathNotFound(const QString &path);
// Whether path lies below folder (both as written).
bool isInside(const QString &path, const QString &folder);
// The longest file name that folder takes (255 when the system does not say).
int nameMax(const QString &folder);
// The report of a failed system call on path, by its errno.
[[noreturn]] void fileFailure(int err, const QString &path);
// Replaces (or creates) the page at path with the given lines; throws WriteError.
void writePage(const QString &path, const QStringList &lines, const std::function<void()> &whileBuilding = {});
// Replaces (or creates) the file at path with bytes, written beside it and renamed;
// a file that already holds exactly these bytes is left as it is.
void replaceFile(const QString &path, const QByteArray &bytes);

// A short hidden name for a temporary file beside the one it will replace, and whether
// a name is one: a stopped run may leave such a file behind.
QByteArray temporaryName();
bool isTemporaryName(const QByteArray &name);

// Output folder + "/sub/" + name.
QString subPath(const QString &outputFolder, const QString &name);

// A failure reported under a writer's title, with its error number.
void reportFailure(HtmlRun &run, const WriteError &e, const QString &title);
void reportFailure(HtmlRun &run, const DbError &e, const QString &title);

// Runs one writer's body with its error trap: a failure is reported under the
// writer's title and ends the writer with true.
template <typename Body>
bool trapped(HtmlRun &run, const QString &title, Body body)
{
    try {
        return body();
    } catch (const WriteError &e) {
        reportFailure(run, e, title);
    } catch (const DbError &e) {
        reportFailure(run, e, title);
    } catch (const std::exception &e) {
        run.report(QString::fromLocal8Bit(e.what()), title, QString(), 5);
    }
    return true;
}

}  // namespace tessaly::htmlout
