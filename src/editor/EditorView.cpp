#include "EditorView.h"

#include "EditorScreen.h"

namespace tessaly {

void EditorView::selectCategory(int index)
{
    if (m_screen)
        m_screen->SelectCategory(index);
    else
        setListPosition(List::Category, index);
}

void EditorView::selectGenre(int index)
{
    if (m_screen)
        m_screen->SelectGenre(index);
    else
        setListPosition(List::Genre, index);
}

TitleEntry EditorView::titleEntry() const
{
    TitleEntry e;
    e.folderName = fieldText(Field::TitleName);
    e.folder = fieldText(Field::TitleFolder);
    e.link = fieldText(Field::TitleLink);
    e.html = fieldText(Field::TitleHtml);
    e.ivents = fieldText(Field::TitleIvents);
    e.photo = fieldText(Field::TitlePhoto);
    e.linkButton = checkValue(Check::LinkButton);
    e.htmlButton = checkValue(Check::HtmlButton);
    return e;
}

void EditorView::setTitleEntry(const TitleEntry &e)
{
    setFieldText(Field::TitleName, e.folderName);
    setFieldText(Field::TitleFolder, e.folder);
    setFieldText(Field::TitleLink, e.link);
    setFieldText(Field::TitleHtml, e.html);
    setFieldText(Field::TitleIvents, e.ivents);
    setFieldText(Field::TitlePhoto, e.photo);
    setCheckValue(Check::LinkButton, e.linkButton);
    setCheckValue(Check::HtmlButton, e.htmlButton);
}

void EditorView::FillCategoryList()
{
    if (m_screen)
        m_screen->FillCategoryList();
}

void EditorView::FillGenreList()
{
    if (m_screen)
        m_screen->FillGenreList();
}

void EditorView::RefreshTitleGrid()
{
    if (m_screen)
        m_screen->RefreshTitleGrid();
}

void EditorView::ClearTitleEntry()
{
    if (m_screen)
        m_screen->ClearTitleEntry();
}

void EditorView::EnableTitleMenus()
{
    setTitleMenusEnabled(true);
}

void EditorView::DisableTitleMenus()
{
    setTitleMenusEnabled(false);
}

}  // namespace tessaly
