#!/usr/bin/env bash
# Installs what Tessaly needs on Debian 12, then builds the program and starts it
# ("run"), or builds everything and runs every test ("test").
set -euo pipefail
mode=${1:-run}
case "$mode" in
  run | test) ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSALY_BUILD_DIR:-$here/build}

packages=(
  build-essential cmake pkg-config sqlite3 libsqlite3-dev
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-qpa-plugins libgl-dev
  libcups2-dev fonts-ipafont-gothic
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libheif-dev libtiff-dev libjpeg-dev
  qt6-image-formats-plugins
  mdbtools-dev libkainjow-mustache-dev
  qt6-translations-l10n qt6-l10n-tools qt6-tools-dev
)
if [ "$mode" = test ]; then
  packages+=(xvfb xauth cups cups-client cups-filters poppler-utils chromium chromium-driver python3 dpkg-dev file ffmpeg
    lintian appstream desktop-file-utils shared-mime-info groff-base ninja-build rsync libvips-tools locales)
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ ${#sudo_cmd[@]} -gt 0 ] && ! command -v sudo >/dev/null; then
    # Debian leaves sudo out when root has a password of its own.
    echo "These packages are missing and installing them needs root. Run as root:" >&2
    echo "  su -c 'apt-get update && apt-get install -y ${missing[*]}'" >&2
    echo "then run $0 $mode again." >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

# The tests run tessaly-cli under a Japanese locale as well as under C.
if [ "$mode" = test ] && ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "Generating the locale ja_JP.UTF-8"
  "${sudo_cmd[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "$mode" = run ]; then
  # The program, tessaly-cli, the template, the help and the manual pages; not the tests.
  cmake --build "$build" -j2 --target program
else
  cmake --build "$build" -j2
fi

case "$mode" in
  run)
    exec "$build/bin/tessaly" ;;
  test)
    cd "$build"
    ctest --output-on-failure -j2 ;;
esac
