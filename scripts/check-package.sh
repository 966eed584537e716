#!/usr/bin/env bash
# Checks a built KVR package the way Debian's tools see it:
#   scripts/check-package.sh kvr_<version>_<arch>.deb
# lintian (every tag is shown; an error fails the check), the menu entry
# (desktop-file-validate), the AppStream description (appstreamcli), the
# manual pages (man --warnings) and the file type of backups
# (update-mime-database). Exit status 1 when any of them fails.
set -euo pipefail
deb=$1
status=0

echo "== lintian"
if ! lintian --info --display-level '>=pedantic' --fail-on error "$deb"; then
  status=1
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

echo "== desktop-file-validate"
for f in "$root"/usr/share/applications/*.desktop; do
  desktop-file-validate "$f" || status=1
done

echo "== appstreamcli validate"
for f in "$root"/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net "$f" || status=1
done

echo "== manual pages"
for f in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$f" 2>&1 >/dev/null || true)
  if [ -n "$warnings" ]; then
    echo "$f: $warnings"
    status=1
  fi
done

echo "== file type of backups"
mkdir -p "$root/mime-check/mime/packages"
cp "$root"/usr/share/mime/packages/*.xml "$root/mime-check/mime/packages/"
cp /usr/share/mime/packages/freedesktop.org.xml "$root/mime-check/mime/packages/"
if ! update-mime-database "$root/mime-check/mime" \
  || ! grep -q ':application/x-kvr-backup:\*\.kvr' "$root/mime-check/mime/globs2"; then
  echo "the backup file type is not registered" >&2
  status=1
fi

if [ $status -eq 0 ]; then
  echo "== $deb: checks passed"
else
  echo "== $deb: checks FAILED" >&2
fi
exit $status
