#pragma once
// The editor screen: loading and activating the editor, filling the category and genre
// lists and the title grid, what a choice in a list or a click on a grid row does, and
// the auto-set run of the editor. GUI-free; it works on the window through EditorView.
//
// None of the public operations throws: a library that cannot be read is reported in
// one message box (the same fault is not reported again until an operation succeeds)
// and the window stays usable.
#include <QString>
#include <cstdint>
#include <memory>

class QAbstractItemModel;

namespace tessaly {

struct Global;
class DialogService;
class EditorView;
class TitleGrid;

extern const QString kEditorTitle;      // "データ編集"
extern const QString kBaseFolderNotSet;  // "未設定です。"

class EditorScreen {
public:
    EditorScreen(Global &g, DialogService &ds, EditorView &view);
    ~EditorScreen();
    EditorScreen(const EditorScreen &) = delete;
    EditorScreen &operator=(const EditorScreen &) = delete;

    // Operations shared with the other editor operations.
    void ShowBaseFolder();
    void FillCategoryList();
    void FillGenreList();
    void RefreshTitleGrid();
    void ClearTitleEntry();
    void DisableTitleMenus();
    void EnableTitleMenus();

    // Window load: title menus off, no title loaded, the grid and the category list.
    // (The window itself handles the printer menu items and the key preview.)
    void Load();
    // Window activation: the base folder text, then RunAutoSet.
    void Activate();
    // The auto-set with its status texts and the list reload. resetSetupStage: the
    // activation run, which ends the set-up of a new library (folderSetupStage = 0);
    // the menu item オートセット and F4 leave it.
    void RunAutoSet(bool resetSetupStage);
    // The menu item オートセット, F4 and f4.
    void AutoSetCommand() { RunAutoSet(false); }

    // A choice in topFolder / yearFolder (by the user or from code).
    void CategoryChosen();
    void GenreChosen();
    // Selects an entry and runs the choice, as a choice by the user.
    void SelectCategory(int position);
    void SelectGenre(int position);
    // A click on a grid row.
    void GridRowClicked(int row);
    // The grid's highlight on the loaded title's row (none when no title is loaded).
    void showLoadedTitleRow();

    TitleGrid &grid() { return *m_grid; }
    QAbstractItemModel *gridModel() const;
    // The last library fault reported; empty after a successful operation.
    const QString &lastFault() const { return m_lastFault; }

private:
    template <typename F>
    bool guarded(F f);
    void reportFault(const QString &message);
    void runAutoSet(bool resetSetupStage, bool libraryReadable);

    void showBaseFolder();
    void fillCategoryList();
    void fillGenreList();
    void refreshTitleGrid();
    // The grid's rows no longer fit the library: read again where the view is.
    void gridStale();
    void categoryChosen();
    void genreChosen();
    void clearTitleEntry();

    Global &m_g;
    DialogService &m_ds;
    EditorView &m_v;
    std::unique_ptr<TitleGrid> m_grid;
    QString m_lastFault;
    int m_depth = 0;
    bool m_faulted = false;
};

}  // namespace tessaly
