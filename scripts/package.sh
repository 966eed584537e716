#!/usr/bin/env bash
# Builds the Debian package of KVR: installs what is missing, builds in
# Release (with Debian's hardening flags) in build-package, writes
# kvr_<version>_<arch>.deb into the top folder and checks it (lintian, the
# menu entry, the AppStream description, the manual pages). Exit status 1
# when the build fails or lintian reports an error.
#   scripts/package.sh                 the package to hand out
#   scripts/package.sh --reuse build   a package from a build folder that is
#                                      there already (CI, after the tests), to
#                                      check the packaging without a second
#                                      build; written into that folder
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-package
reuse=
if [ "${1:-}" = "--reuse" ]; then
  reuse=${2:?"--reuse needs a build folder"}
fi

# The packaging tools, besides what the build itself needs (setup.sh).
tools=(dpkg-dev file lintian desktop-file-utils appstream man-db)
bash scripts/install-missing.sh "${tools[@]}"

# Dates inside the package (manual pages) follow the last commit, so the same
# sources give the same package.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

if [ -n "$reuse" ]; then
  build=$reuse
  cmake --build "$build" -j"$(nproc)"
  strip=(-D CPACK_STRIP_FILES=ON)
else
  # Debian's hardening flags; debugging information is left out, the
  # package is stripped anyway.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  export DEB_CXXFLAGS_MAINT_STRIP=-g
  cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
  ldflags="$(dpkg-buildflags --get LDFLAGS)"
  bash scripts/setup.sh "$build" -DKVR_BUILD_TESTS=OFF -DKVR_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    -DKVR_STRIP_INSTALLED=ON "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags"
  strip=()
fi

rm -rf "$build/deb"
(cd "$build" && cpack -G DEB "${strip[@]}" -B "$PWD/deb")
deb=$(find "$build/deb" -maxdepth 1 -name 'kvr_*.deb' -print -quit)
if [ -z "$deb" ]; then
  echo "package.sh: cpack made no package" >&2
  exit 1
fi
if [ -z "$reuse" ]; then
  rm -f kvr_*.deb
  cp "$deb" .
  deb=$(basename "$deb")
fi
echo "Package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

bash scripts/check-package.sh "$deb"
