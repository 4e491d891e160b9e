#!/usr/bin/env bash
# Builds the Debian packages: emulsa (the programs, desktop entry, file
# types, icons, manual pages, completion) and emulsa-data (the film data),
# into <repository>/packages. Their runtime dependencies are read from the
# binaries (dpkg-shlibdeps), not from a hand list.
#
#   scripts/package.sh            then: sudo apt install ./packages/emulsa*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EMULSA_PACKAGE_BUILD:-$root/build-package}
"$root/scripts/install-deps.sh"
launcher=()
if command -v ccache > /dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# The film data of a build of the same sources is copied rather than made
# again (it takes minutes).
data=()
if [ -d "$root/build/share/Quillmoor/Resources" ]; then
  data=(-DEMULSA_FILMDATA_FROM="$root/build/share/Quillmoor")
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DEMULSA_BUILD_TESTS=OFF -DEMULSA_BUILD_BENCHMARKS=OFF "${launcher[@]}" "${data[@]}"
cmake --build "$build"
mkdir -p "$root/packages"
(cd "$build" && cpack -G DEB -D CPACK_STRIP_FILES=ON -D CPACK_PACKAGE_DIRECTORY="$root/packages")
for deb in "$root"/packages/*.deb; do
  echo "== $(basename "$deb"): $(du -h "$deb" | cut -f1)"
  dpkg-deb --field "$deb" Package Version Architecture Depends Installed-Size
done
if command -v lintian > /dev/null; then
  lintian --no-tag-display-limit "$root"/packages/*.deb || true
fi
