#!/bin/sh
# A private print scheduler for the printing tests, configured, spooled and
# logged in a folder of its own and reached only through the socket there, so
# that no printer of the machine is touched. Its default queue "PDF" writes
# each document it prints to out.pdf in that folder.
#   cups_fixture.sh start|stop POINTER
#   cups_fixture.sh run POINTER SOCKET PROGRAM [ARGUMENT...]
# POINTER, a file in the build folder, names the scheduler's folder. run starts
# PROGRAM with CUPS_SERVER set to SOCKET in that folder (cups.sock is the
# scheduler's; any other name is one where nothing answers) and PRINT_CUPS_DIR
# to the folder.
set -eu
pointer=$2
ours() {  # only a folder this script made is ever stopped or removed
    case $1 in /tmp/selection_image-cups.??????????) [ -d "$1" ] ;; *) false ;; esac
}

if [ "$1" = run ]; then
    dir=$(cat "$pointer") && ours "$dir" || { echo "no scheduler folder in $pointer" >&2; exit 1; }
    socket=$3
    shift 3
    CUPS_SERVER=$dir/$socket PRINT_CUPS_DIR=$dir exec "$@"
fi

# Whatever a previous start left, from this run or an interrupted one, goes first.
if [ -f "$pointer" ]; then
    old=$(cat "$pointer")
    if ours "$old"; then
        if [ -f "$old/cupsd.pid" ]; then
            pid=$(cat "$old/cupsd.pid")
            kill "$pid" 2>/dev/null && while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
        fi
        rm -rf "$old"
    fi
    rm "$pointer"
fi
[ "$1" = stop ] && exit 0

# The folder is made by mktemp in /tmp rather than in the build folder or
# $TMPDIR: the filters run as the print system's own user, which cannot enter
# a private home (or a private $TMPDIR), and a socket's path must stay within
# 108 bytes however deep the clone is.
dir=$(mktemp -d /tmp/selection_image-cups.XXXXXXXXXX)
echo "$dir" > "$pointer"
chmod 755 "$dir"  # mktemp makes it private
mkdir -p "$dir/etc/ppd" "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log"
# Letter paper, not Qt's A4, so that a page laid out on the wrong sheet shows.
# "Refusing" takes no jobs.
cp /usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd "$dir/etc/ppd/PDF.ppd"
cp "$dir/etc/ppd/PDF.ppd" "$dir/etc/ppd/Refusing.ppd"
cat > "$dir/etc/printers.conf" <<CONF
<DefaultPrinter PDF>
DeviceURI file://$dir/out.pdf
State Idle
Accepting Yes
</DefaultPrinter>
<Printer Refusing>
DeviceURI file:///dev/null
State Idle
Accepting No
</Printer>
CONF
printf 'Listen %s/cups.sock\nBrowsing No\nWebInterface No\nDefaultAuthType None\n' "$dir" > "$dir/cupsd.conf"
cat > "$dir/files.conf" <<CONF
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ErrorLog $dir/log/error_log
Printcap $dir/state/printcap
FileDevice Yes
CONF

cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
"$cupsd" -f -c "$dir/cupsd.conf" -s "$dir/files.conf" > "$dir/log/cupsd.out" 2>&1 &
echo $! > "$dir/cupsd.pid"
for i in $(seq 100); do [ -S "$dir/cups.sock" ] && exit 0; sleep 0.1; done
echo "cupsd did not start: $(cat "$dir/log/cupsd.out" "$dir/log/error_log" 2>&1)" >&2
exit 1
