# Poster frames of videos decode through FFmpeg's libraries (Debian libav*-dev).
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
target_link_libraries(tessaly_core PUBLIC PkgConfig::FFMPEG)
# Thumbnails: HEIF (a phone's HEIC) through libheif, TIFF through libtiff.
pkg_check_modules(HEIF REQUIRED IMPORTED_TARGET libheif libtiff-4)
target_link_libraries(tessaly_core PUBLIC PkgConfig::HEIF)
