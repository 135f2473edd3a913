#include "DialogService.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace tessaly {

QString displayText(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

QString windowText(const MessageRequest &req)
{
    return req.number ? QString::number(req.number) + QLatin1Char(':') + req.text : req.text;
}

static QString kindName(MsgKind k)
{
    switch (k) {
    case MsgKind::Question: return QCoreApplication::translate("Console", "質問");
    case MsgKind::Information: return QCoreApplication::translate("Console", "お知らせ");
    case MsgKind::Exclamation: return QCoreApplication::translate("Console", "警告");
    case MsgKind::Critical: return QCoreApplication::translate("Console", "エラー");
    case MsgKind::None: break;
    }
    return QCoreApplication::translate("Console", "メッセージ");
}

MsgAnswer ConsoleDialogService::message(const MessageRequest &req, QObject *)
{
    ++m_count;
    const MsgAnswer answer =
        req.buttons == MsgButtons::Ok ? MsgAnswer::Ok : m_answer == MsgAnswer::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    // A question answered for the user is a decision taken in their name: it is said.
    if (m_quiet && req.kind == MsgKind::Information && req.buttons == MsgButtons::Ok)
        return answer;
    QString line = kindName(req.kind);
    // A title is the windows' text, translated where the console shows it.
    if (!req.title.isEmpty())
        line += QLatin1String(" [") + QCoreApplication::translate("Titles", req.title.toUtf8().constData()) + QLatin1Char(']');
    line += QLatin1String(": ") + displayText(req.text);
    if (!req.details.isEmpty())
        line += QLatin1Char('\n') + req.details;
    if (req.buttons != MsgButtons::Ok)
        line += m_answer == MsgAnswer::Yes ? QCoreApplication::translate("Console", " -> はい")
                                           : QCoreApplication::translate("Console", " -> いいえ");
    // On a terminal the message takes the place of a progress line that may stand there.
    std::fprintf(stderr, "%s%s\n", ::isatty(STDERR_FILENO) == 1 ? "\r\033[K" : "", line.toLocal8Bit().constData());
    std::fflush(stderr);
    return answer;
}

QString ConsoleDialogService::pickFile(const FilePickRequest &, QObject *) { return QString(); }
QString ConsoleDialogService::pickFolder(const FolderPickRequest &, QObject *) { return QString(); }

MsgAnswer ScriptedDialogService::message(const MessageRequest &req, QObject *)
{
    Call c;
    c.type = Call::Message;
    c.message = req;
    calls.append(c);
    if (req.buttons == MsgButtons::Ok && !req.actionButton.isEmpty() && !m_answers.isEmpty()) {
        const MsgAnswer a = m_answers.takeFirst();
        if (a != MsgAnswer::Ok && a != MsgAnswer::Yes)
            qFatal("scripted answer %d to a message with OK and %s", int(a), qPrintable(req.actionButton));
        return a;
    }
    if (req.buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    if (m_answers.isEmpty())
        return MsgAnswer::No;
    const MsgAnswer a = m_answers.takeFirst();
    // An answer no button of the question gives would hide a question asked the wrong way.
    if (a == MsgAnswer::Ok || (a == MsgAnswer::Cancel && req.buttons != MsgButtons::YesNoCancel))
        qFatal("scripted answer %d to a question without that button: %s", int(a), qPrintable(req.text));
    return a;
}

QString ScriptedDialogService::pickFile(const FilePickRequest &req, QObject *)
{
    Call c;
    c.type = Call::File;
    c.file = req;
    calls.append(c);
    return m_picks.isEmpty() ? QString() : m_picks.takeFirst();
}

QString ScriptedDialogService::pickFolder(const FolderPickRequest &req, QObject *)
{
    Call c;
    c.type = Call::Folder;
    c.folder = req;
    calls.append(c);
    return m_picks.isEmpty() ? QString() : m_picks.takeFirst();
}

QList<MessageRequest> ScriptedDialogService::messages() const
{
    QList<MessageRequest> out;
    for (const Call &c : calls)
        if (c.type == Call::Message)
            out.append(c.message);
    return out;
}

}  // namespace tessaly
