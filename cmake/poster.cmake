# Poster frames of videos decode through FFmpeg's libraries (Debian libav*-dev), in the
# media module only.
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
target_link_libraries(tessaly_media PRIVATE PkgConfig::FFMPEG)
