#!/bin/sh
# The installed tree as a package would lay it out: staged with DESTDIR under
# /usr, the program started from another working folder on a copy of the
# sample, offscreen. Its first frame must show the picture, and the desktop
# entry must pass the freedesktop validator.
# usage: installed_tree.sh BUILD_DIR SAMPLE_JPEG
set -eu
build=$1 sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
usr="$work/stage/usr"
mkdir -m 700 "$work/runtime"
mkdir "$work/elsewhere"
cp "$sample" "$work/elsewhere/record.jpg"
cd "$work/elsewhere"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime"
SELECTION_IMAGE_SCREENSHOT="$work/shot.png" "$usr/bin/selection_image" record.jpg

# The window's design size: 7920 x 6075 twips at 15 twips a pixel.
size=$(od -An -tu1 -j16 -N8 "$work/shot.png" | awk '{print $1*2^24+$2*2^16+$3*256+$4 "x" $5*2^24+$6*2^16+$7*256+$8}')
[ "$size" = 528x405 ] || { echo "screenshot is $size, not 528x405"; exit 1; }

# A grid over the view (pixels 8..380 x 64..358) and one point of the
# window's background beside it, read back by the installed picfilter.
probes="--probe 0.85,0.95"
for x in 0.05 0.2 0.35 0.5 0.65; do
  for y in 0.2 0.4 0.6 0.8; do probes="$probes --probe $x,$y"; done
done
# shellcheck disable=SC2086
colours=$("$usr/bin/picfilter" $probes "$work/shot.png")
background=$(echo "$colours" | head -n 1)
view=$(echo "$colours" | tail -n +2)
distinct=$(echo "$view" | sort -u | wc -l)
on_background=$(echo "$view" | grep -cx "$background" || true)
if [ "$distinct" -lt 4 ] || [ "$on_background" -ne 0 ]; then
  echo "the view shows no picture: $distinct colours, $on_background points of background ($background)"
  exit 1
fi

desktop-file-validate "$usr/share/applications/selection_image.desktop"
echo "installed tree: picture shown ($distinct colours), desktop entry valid"
