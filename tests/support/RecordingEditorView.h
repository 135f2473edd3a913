#pragma once
// An editor view for command tests: plain name lists for the two lists, the title entry
// as a struct, and a log of every window operation the commands ask for.
#include "EditorCommands.h"

#include <QStringList>

#include <functional>

namespace tessaly::test {

// Records the window operations; the lists are plain name lists.
class RecordingEditorView : public EditorCommandView {
public:
    QStringList log;     // window operations and selections, in order
    QStringList status;  // MsgText texts, in order
    QStringList categories, genres;
    int catIndex = -1, genIndex = -1;
    QString catText, catFolder, genText, genFolder, base = QStringLiteral("/base");
    TitleEntry entry;
    QString f3;

    QObject *dialogOwner() override { return nullptr; }
    std::function<void()> onStatus;
    void showStatus(const QString &text) override
    {
        status << text;
        if (onStatus)
            onStatus();
    }
    void processEvents() override { log << QStringLiteral("events"); }
    void focusControl(Control c) override
    {
        log << (c == Control::TopFolder ? QStringLiteral("focus topFolder")
                : c == Control::YearFolder ? QStringLiteral("focus yearFolder")
                                           : QStringLiteral("focus fIventsLink"));
    }
    QString baseFolderText() const override { return base; }
    int categoryIndex() const override { return catIndex; }
    int categoryCount() const override { return categories.size(); }
    QString categoryItemText(int i) const override { return categories.value(i); }
    void selectCategory(int i) override
    {
        catIndex = i;
        catText = categories.value(i);
        log << QStringLiteral("category %1").arg(i);
    }
    void setCategoryText(const QString &t) override { catText = t; }
    QString categoryFolderText() const override { return catFolder; }
    void setCategoryFolderText(const QString &t) override { catFolder = t; }
    int genreIndex() const override { return genIndex; }
    int genreCount() const override { return genres.size(); }
    QString genreItemText(int i) const override { return genres.value(i); }
    void selectGenre(int i) override
    {
        genIndex = i;
        genText = genres.value(i);
        log << QStringLiteral("genre %1").arg(i);
    }
    void setGenreText(const QString &t) override { genText = t; }
    QString genreFolderText() const override { return genFolder; }
    void setGenreFolderText(const QString &t) override { genFolder = t; }
    void clearGenreList() override
    {
        genres.clear();
        genIndex = -1;
        log << QStringLiteral("clearGenreList");
    }
    TitleEntry titleEntry() const override { return entry; }
    void setTitleEntry(const TitleEntry &e) override { entry = e; }
    QString f3Caption() const override { return f3; }
    void setF3Caption(const QString &t) override { f3 = t; }
    void FillCategoryList() override { log << QStringLiteral("FillCategoryList"); }
    void FillGenreList() override { log << QStringLiteral("FillGenreList"); }
    void RefreshTitleGrid() override { log << QStringLiteral("RefreshTitleGrid"); }
    void ClearTitleEntry() override
    {
        entry = TitleEntry();
        f3.clear();
        log << QStringLiteral("ClearTitleEntry");
    }
    void EnableTitleMenus() override { log << QStringLiteral("EnableTitleMenus"); }
    void DisableTitleMenus() override { log << QStringLiteral("DisableTitleMenus"); }
};

}  // namespace tessaly::test
