#!/bin/sh
# The AppStream metainfo as an installation carries it: AppStream's validator,
# pedantic, has not one remark on the file, nor on the installed tree, where
# it also checks that the file is named after the component and that the
# desktop entry named as its launcher is there.
# usage: metainfo.sh BUILD_DIR; exits 77 (skipped) without appstreamcli.
set -eu
build=$1
command -v appstreamcli >/dev/null || { echo "skipped: appstreamcli is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
set -- "$work"/stage/usr/share/metainfo/*.metainfo.xml
[ $# -eq 1 ] && [ -f "$1" ] || { echo "not one metainfo file installed: $*"; exit 1; }

# --strict fails on warnings and infos; pedantic remarks (P:) are only
# printed, so any remark line fails the test too.
validate() {
  if ! report=$(appstreamcli "$@" --pedantic --strict --no-net 2>&1) ||
     echo "$report" | grep -q '^ *[A-Z]: '; then
    echo "appstreamcli $1:"; echo "$report"; exit 1
  fi
}
validate validate "$1"
validate validate-tree "$work/stage"
echo "metainfo valid, pedantic: ${1##*/}"
