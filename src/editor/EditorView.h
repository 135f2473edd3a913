#pragma once
// The editor window as the editor's operations see it: two lists whose entries carry a
// key, the text boxes, the two check boxes, the caption of f3, the title menu items and
// the grid. The window implements the plain control accesses; the command view that
// the editor commands use is built on them here, and its window operations run the
// EditorScreen the view is attached to.
#include "EditorCommands.h"

#include <QString>
#include <cstdint>

namespace tessaly {

class EditorScreen;
struct AutoSetCounts;

class EditorView : public EditorCommandView {
public:
    enum class List { Category, Genre };  // topFolder, yearFolder
    enum class Field {
        BaseFolder,      // AllTop
        CategoryFolder,  // photoGFolder
        GenreFolder,     // photoYFolder
        TitleName,       // fIventsFolderName
        TitleFolder,     // fIventsFolder
        TitleHtml,       // fIventsHTML
        TitleLink,       // fIventsLink
        TitlePhoto,      // fIventsPhoto
        TitleIvents,     // fIventsF
    };
    enum class Check { LinkButton, HtmlButton };  // fIventsLinkButton, fIventsHtmlButton

    // --- plain control access; none of these runs a choice handler ---

    // Empties the list and its text.
    virtual void clearList(List list) = 0;
    // Adds an entry at the end; the selection and the text stay as they are.
    virtual void addListEntry(List list, const QString &text, int32_t key) = 0;
    virtual int listCount(List list) const = 0;
    virtual QString listEntryText(List list, int position) const = 0;
    virtual int32_t listEntryKey(List list, int position) const = 0;
    // Selected position, -1 when no entry is selected.
    virtual int listPosition(List list) const = 0;
    // Selects an entry (-1: none); the list's text becomes the entry's text.
    virtual void setListPosition(List list, int position) = 0;
    virtual QString listText(List list) const = 0;
    virtual void setListText(List list, const QString &text) = 0;

    virtual QString fieldText(Field field) const = 0;
    virtual void setFieldText(Field field, const QString &text) = 0;
    virtual int checkValue(Check check) const = 0;
    virtual void setCheckValue(Check check, int value) = 0;

    // The five title menu items as a group.
    virtual void setTitleMenusEnabled(bool enabled) = 0;
    // Column visibility, widths, captions and font of the grid after it got new rows.
    virtual void layoutGrid() = 0;
    // The first row the grid shows, and scrolling so that a row is the first shown.
    virtual int gridTopRow() const { return 0; }
    virtual void scrollGridTo(int row) { (void)row; }
    // Highlights a row (-1: none) without scrolling.
    virtual void highlightGridRow(int row) { (void)row; }

    // --- the command view, on the plain accesses ---

    QString baseFolderText() const override { return fieldText(Field::BaseFolder); }
    int categoryIndex() const override { return listPosition(List::Category); }
    int categoryCount() const override { return listCount(List::Category); }
    QString categoryItemText(int index) const override { return listEntryText(List::Category, index); }
    int32_t categoryItemKey(int index) const override { return listEntryKey(List::Category, index); }
    void selectCategory(int index) override;
    void setCategoryIndex(int index) override { setListPosition(List::Category, index); }
    void setCategoryText(const QString &text) override { setListText(List::Category, text); }
    QString categoryFolderText() const override { return fieldText(Field::CategoryFolder); }
    void setCategoryFolderText(const QString &text) override { setFieldText(Field::CategoryFolder, text); }

    int genreIndex() const override { return listPosition(List::Genre); }
    int genreCount() const override { return listCount(List::Genre); }
    QString genreItemText(int index) const override { return listEntryText(List::Genre, index); }
    int32_t genreItemKey(int index) const override { return listEntryKey(List::Genre, index); }
    void selectGenre(int index) override;
    void setGenreIndex(int index) override { setListPosition(List::Genre, index); }
    QString genreText() const override { return listText(List::Genre); }
    void setGenreText(const QString &text) override { setListText(List::Genre, text); }
    QString genreFolderText() const override { return fieldText(Field::GenreFolder); }
    void setGenreFolderText(const QString &text) override { setFieldText(Field::GenreFolder, text); }
    void clearGenreList() override { clearList(List::Genre); }

    TitleEntry titleEntry() const override;
    void setTitleEntry(const TitleEntry &entry) override;

    void FillCategoryList() override;
    void FillGenreList() override;
    void RefreshTitleGrid() override;
    void ClearTitleEntry() override;
    void EnableTitleMenus() override;
    void DisableTitleMenus() override;

    EditorScreen *screen() const { return m_screen; }

private:
    friend class EditorScreen;
    EditorScreen *m_screen = nullptr;
};

}  // namespace tessaly
