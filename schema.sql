-- Template library "sys.1". The program never creates or alters these tables;
-- photoIvents keeps this field order because the editor grid addresses columns by position.
-- "TSLY" in the file's header tells a library from other SQLite files (the desktop's file type).
PRAGMA application_id = 1414745177;
CREATE TABLE allTop (
    ID      INTEGER,
    allTop  TEXT
);
CREATE TABLE systemdir (
    ID      INTEGER,
    htmlDir TEXT
);
CREATE TABLE photoGraph (
    ID            INTEGER PRIMARY KEY AUTOINCREMENT,
    topFolder     TEXT,
    topFolderName TEXT
);
CREATE TABLE photoYear (
    ID             INTEGER,
    ID1            INTEGER PRIMARY KEY AUTOINCREMENT,
    yearFolder     TEXT,
    yearFolderName TEXT
);
CREATE TABLE photoIvents (
    ID2              INTEGER PRIMARY KEY AUTOINCREMENT,
    ID               INTEGER,
    ID1              INTEGER,
    iventsFolderName TEXT,
    iventsFolder     TEXT,
    iventsLink       TEXT,
    IventsLinkButton INTEGER NOT NULL DEFAULT 0,
    iventsHTML       TEXT,
    IventsHtmlButton INTEGER NOT NULL DEFAULT 0,
    Ivents           TEXT,
    iventsPhoto      TEXT
);
CREATE INDEX photoGraph_name   ON photoGraph (topFolderName);
CREATE INDEX photoGraph_folder ON photoGraph (topFolder);
CREATE INDEX photoYear_name    ON photoYear (ID, yearFolderName);
CREATE INDEX photoYear_folder  ON photoYear (yearFolder);
CREATE INDEX photoIvents_name  ON photoIvents (ID, ID1, iventsFolderName);
CREATE INDEX photoIvents_genre ON photoIvents (ID1);
CREATE INDEX photoIvents_category ON photoIvents (ID);
CREATE INDEX photoIvents_folder ON photoIvents (iventsFolder);
