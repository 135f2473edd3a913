#pragma once
// Folders known by what the file system calls them (device, inode, birth time), so that
// a folder renamed or moved between two auto-sets is found again under its new name and
// keeps its row, with the row's details and the rows below it.
//
// The identities live in a table of their own in the library ("folderIdentity"), made
// when first needed: a vanished folder cannot be asked for its inode, so it must be
// remembered from the run that last saw it. The library's own tables stay as they are,
// and a program that does not know the table never reads it.
#include <QString>

namespace tessaly {

struct Global;

// Records, for every stored category, genre and title, the identity of its folder when
// it is a folder now, and whether it was there. Throws DbError.
void RecordFolderIdentities(const Global &g);

// Before the pass of one level (0 categories, 1 genres, 2 titles): every stored folder of
// that level that is gone, whose identity was recorded, and that is now a sub-folder of
// the base folder (level 0) or of a stored folder of the level above under a name not
// stored there, takes that name and place; a category or genre only when its
// sub-folders are those it had. Paths stored in the moved rows and in the rows below
// them that lay inside the old folder follow it. Returns how many moved; throws DbError.
int MoveRenamedFolders(const Global &g, int level);

}  // namespace tessaly
