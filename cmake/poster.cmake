# Poster frames of videos decode through FFmpeg's libraries (Debian libav*-dev), in the
# media module only.
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
target_link_libraries(tessaly_media PRIVATE PkgConfig::FFMPEG)
# Thumbnails: HEIF (a phone's HEIC) through libheif, TIFF through libtiff, in the media
# module only (the tests' fixtures write HEIC files with it too).
pkg_check_modules(HEIF REQUIRED IMPORTED_TARGET libheif libtiff-4)
target_link_libraries(tessaly_media PRIVATE PkgConfig::HEIF)
