#pragma once
// Every message box and picker of the program goes through this interface, so that
// the core never touches a widget and each flow can be tested with its exact texts.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QObject;

namespace tessaly {

enum class MsgKind { None, Question, Information, Exclamation, Critical };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

struct MessageRequest {
    MessageRequest() = default;
    MessageRequest(QString text_, MsgKind kind_, QString title_, MsgButtons buttons_ = MsgButtons::Ok,
                   QString details_ = QString())
        : text(std::move(text_)), kind(kind_), title(std::move(title_)), buttons(buttons_), details(std::move(details_))
    {
    }
    QString text;     // two-line texts are joined by "\n\r" as the program writes them
    MsgKind kind = MsgKind::None;
    QString title;
    MsgButtons buttons = MsgButtons::Ok;
    QString details;  // a long list behind the text, shown on request
    // The error number the windows show before the text ("76:"); 0 for none. The
    // command line says the text alone.
    int number = 0;
    // With MsgButtons::Ok: a second button that does something with what the box told
    // (ブラウザで開く); pressing it answers Yes.
    QString actionButton;
};

struct FileFilter {
    QString name;     // "mdb"
    QString pattern;  // "*.mdb"
};

struct FilePickRequest {
    QString dialogTitle;
    QList<FileFilter> filters;  // in list order; the first is selected
    QString startFolder;
    QString initialName;        // file name shown at start; empty for none
    QString defaultSuffix;      // appended to a typed name without extension
    bool allowNewName = true;   // the user may type a name that does not exist
    bool makesFile = false;     // a save dialog: the name chosen is a file to be made
    QString acceptLabel;        // the accept button's text; empty: the system's own
};

struct FolderPickRequest {
    QString prompt;       // full prompt, ends with CR LF + "フォルダを選択してください。"
    QString startFolder;
    // Shows what is inside startFolder with nothing chosen, instead of startFolder
    // itself chosen in its parent.
    bool openInside = false;
    // The name of a folder still to be made may be typed: it comes back as typed (blanks
    // around it dropped), and the caller asks before making it.
    bool allowNewName = false;
};

class DialogService {
public:
    virtual ~DialogService() = default;
    // Shows a message box. Owner may be null; the Qt implementation parents the box to it.
    virtual MsgAnswer message(const MessageRequest &req, QObject *owner = nullptr) = 0;
    // Returns the chosen file's full path, or empty text when cancelled.
    virtual QString pickFile(const FilePickRequest &req, QObject *owner = nullptr) = 0;
    // Returns the chosen folder, or empty text when cancelled.
    virtual QString pickFolder(const FolderPickRequest &req, QObject *owner = nullptr) = 0;

    // Shorthands.
    MsgAnswer message(const QString &text, MsgKind kind, const QString &title,
                      MsgButtons buttons = MsgButtons::Ok, QObject *owner = nullptr)
    {
        return message(MessageRequest{text, kind, title, buttons}, owner);
    }
    bool ask(const QString &text, MsgKind kind, const QString &title, QObject *owner = nullptr)
    {
        return message(MessageRequest{text, kind, title, MsgButtons::YesNo}, owner) == MsgAnswer::Yes;
    }
};

// Turns the program's "\n\r" line joins (and CR LF) into one line break for display.
QString displayText(const QString &text);
// The text as a window shows it: with its error number in front.
QString windowText(const MessageRequest &req);

// Console implementation for the command-line tool: prints kind, title and text to
// stderr; questions are answered by a fixed answer; pickers always cancel. Quiet: notes
// (information) are not printed; warnings, errors and the questions answered still are.
class ConsoleDialogService : public DialogService {
public:
    explicit ConsoleDialogService(MsgAnswer questionAnswer = MsgAnswer::No, bool quiet = false)
        : m_answer(questionAnswer), m_quiet(quiet)
    {
    }
    MsgAnswer message(const MessageRequest &req, QObject *owner = nullptr) override;
    QString pickFile(const FilePickRequest &req, QObject *owner = nullptr) override;
    QString pickFolder(const FolderPickRequest &req, QObject *owner = nullptr) override;
    using DialogService::message;
    int messageCount() const { return m_count; }
private:
    MsgAnswer m_answer;
    bool m_quiet = false;
    int m_count = 0;
};

// Scripted implementation for tests: records every call and returns queued answers.
// An unqueued question is answered No, an unqueued pick cancels; both are recorded.
class ScriptedDialogService : public DialogService {
public:
    struct Call {
        enum Type { Message, File, Folder } type = Message;
        MessageRequest message;
        FilePickRequest file;
        FolderPickRequest folder;
    };
    MsgAnswer message(const MessageRequest &req, QObject *owner = nullptr) override;
    QString pickFile(const FilePickRequest &req, QObject *owner = nullptr) override;
    QString pickFolder(const FolderPickRequest &req, QObject *owner = nullptr) override;
    using DialogService::message;

    void queueAnswer(MsgAnswer a) { m_answers.append(a); }
    void queueYes() { queueAnswer(MsgAnswer::Yes); }
    void queueNo() { queueAnswer(MsgAnswer::No); }
    void queueCancel() { queueAnswer(MsgAnswer::Cancel); }
    void queuePick(const QString &path) { m_picks.append(path); }

    QList<Call> calls;
    QList<MessageRequest> messages() const;  // only the message calls, in order
    void clear() { calls.clear(); m_answers.clear(); m_picks.clear(); }
    int pendingAnswers() const { return m_answers.size(); }
    int pendingPicks() const { return m_picks.size(); }

private:
    QList<MsgAnswer> m_answers;
    QStringList m_picks;
};

}  // namespace tessaly
