#!/usr/bin/env bash
# Builds the Debian package build-deb/kr3090_<version>_amd64.deb (and its
# debug symbols, kr3090-dbgsym) with dpkg-buildpackage and debhelper from the
# files of this tree, then checks it: lintian (no errors), desktop-file-validate
# on its menu entry, appstreamcli on its metainfo. Prints its size, Depends
# and what lintian said.
#
# The build runs in a copy of the tree's files (tracked and new, not ignored)
# in build-deb/src/, so dpkg-buildpackage writes nothing into the tree and its
# results land in build-deb/ instead of the tree's parent folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh ci
out=build-deb

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
project_version=$(sed -n 's/^project(kr3090 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$version" != "$project_version" ]; then
  echo "package-deb.sh: debian/changelog says $version, CMakeLists.txt $project_version" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$out/kr3090_${version}_$arch.deb

rm -rf "$out"
mkdir -p "$out/src"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf - | tar -xf - -C "$out/src"

# debhelper gives the build a HOME of its own: ccache keeps using the usual cache.
if command -v ccache >/dev/null; then
  CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
  export CCACHE_DIR
fi
echo "=== dpkg-buildpackage (log: $out/build.log)"
started=$SECONDS
if ! (cd "$out/src" && DEB_BUILD_OPTIONS="parallel=2 ${DEB_BUILD_OPTIONS:-}" \
  nice dpkg-buildpackage -b --no-sign) >"$out/build.log" 2>&1; then
  tail -n 40 "$out/build.log" >&2
  exit 1
fi
echo "built in $((SECONDS - started)) s: $deb"

status=0
echo "=== lintian"
lintian --fail-on error --info "$deb" | tee "$out/lintian.log" || status=1
[ -s "$out/lintian.log" ] || echo "(no tags)"

contents=$out/contents
dpkg-deb -x "$deb" "$contents"
echo "=== desktop-file-validate"
desktop-file-validate "$contents"/usr/share/applications/*.desktop && echo "passed" || status=1
echo "=== appstreamcli validate"
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml || status=1

echo "=== $deb"
echo "size: $(stat -c %s "$deb") bytes; installed: $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -c "$deb" | awk '{print $1, $6}'
exit "$status"
