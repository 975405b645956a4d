#!/bin/sh
# A private print scheduler for the printing tests, configured, spooled and
# logged under DIR and reached only through DIR/cups.sock, so that no printer
# of the machine is touched. Its default queue "PDF" writes each document it
# prints to DIR/out.pdf.
#   cups_fixture.sh start|stop DIR
set -eu
dir=$2
if [ -f "$dir/cupsd.pid" ]; then  # ours, from this run or an interrupted one
    pid=$(cat "$dir/cupsd.pid") && rm "$dir/cupsd.pid"
    kill "$pid" 2>/dev/null && while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
fi
[ "$1" = stop ] && exit 0

rm -rf "$dir"
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
