# The auto-set runs its hot statements on the SQLite handle of its Qt connection.
find_package(SQLite3 REQUIRED)
target_link_libraries(tessaly_core PUBLIC SQLite::SQLite3)
