#!/bin/sh
# The installed tree as a package would lay it out: staged with DESTDIR under
# /usr, the program started from another working folder on a copy of the
# sample, offscreen. Its first frame must show the picture, the installed
# picfilter must read an uncompressed DICOM file through the installed
# helper, and the desktop entry must pass the freedesktop validator.
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

# The DICOM helper and its codec module lie beside the window's library,
# where the programs look for them.
window=$(find "$usr" -name libselection_image_window.so)
private=${window%/*}
if [ -z "$window" ] || [ ! -x "$private/selection_image_dicom" ] || [ ! -f "$private/libselection_image_dicom_codec.so" ]; then
  echo "the DICOM helper and its codec module are not beside the window's library ($private):"
  find "$usr" -name 'selection_image_dicom*' -o -name 'libselection_image_dicom*'
  exit 1
fi
# A 4 x 2 picture, 8 bits a pixel, grey, uncompressed (explicit VR little
# endian), which the helper reads without the codec module: shown as stored.
{
  head -c 128 /dev/zero
  printf 'DICM\002\000\020\000UI\024\000%s\000' 1.2.840.10008.1.2.1  # transfer syntax
  printf '\050\000\002\000US\002\000\001\000'                        # one sample a pixel
  printf '\050\000\004\000CS\014\000MONOCHROME2 '
  printf '\050\000\020\000US\002\000\002\000\050\000\021\000US\002\000\004\000'  # 2 rows, 4 columns
  printf '\050\000\000\001US\002\000\010\000\050\000\001\001US\002\000\010\000'  # 8 bits allocated, stored
  printf '\050\000\002\001US\002\000\007\000\050\000\003\001US\002\000\000\000'  # high bit 7, unsigned
  printf '\340\177\020\000OB\000\000\010\000\000\000\000\100\200\377\040\140\240\340'
} >"$work/elsewhere/radiograph.dcm"
greys=$("$usr/bin/picfilter" --probe 0.1,0.25 --probe 0.6,0.25 --probe 0.9,0.25 --probe 0.3,0.75 radiograph.dcm | tr '\n' ' ')
if [ "$greys" != "0 0 0 128 128 128 255 255 255 96 96 96 " ]; then
  echo "the installed helper showed the DICOM file as: $greys"
  exit 1
fi

desktop-file-validate "$usr/share/applications/selection_image.desktop"
echo "installed tree: picture shown ($distinct colours), DICOM file read by the installed helper, desktop entry valid"
