# Jet 3/4 libraries made on Windows are read through mdbtools' libmdb (Debian mdbtools-dev).
pkg_check_modules(LIBMDB REQUIRED IMPORTED_TARGET libmdb)
target_link_libraries(tessaly_core PUBLIC PkgConfig::LIBMDB)
