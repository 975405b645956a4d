#!/bin/sh
# Private print scheduler for the printing tests.
#
#   cups_fixture.sh start DIR   start a scheduler whose configuration, spool,
#                               cache, state and logs all live under DIR, listening
#                               only on DIR/cups.sock, with a PDF queue as its
#                               default printer
#   cups_fixture.sh stop DIR    stop that scheduler by its process id
#
# Nothing outside DIR is configured, so no printer of the machine is touched.
# When the scheduler cannot run here, "start" still succeeds but writes the
# reason to DIR/unavailable; the tests that need it read that file and skip.
set -u

action=${1:-}
dir=${2:-}
if [ -z "$action" ] || [ -z "$dir" ]; then
    echo "usage: $0 start|stop DIR" >&2
    exit 2
fi

socket="$dir/cups.sock"
pidfile="$dir/cupsd.pid"

unavailable() {
    echo "$*" > "$dir/unavailable"
    echo "cups fixture: $*" >&2
    exit 0
}

stop_scheduler() {
    [ -f "$pidfile" ] || return 0
    pid=$(cat "$pidfile")
    rm -f "$pidfile"
    case "$pid" in ''|*[!0-9]*) return 0 ;; esac
    kill "$pid" 2>/dev/null || return 0
    # Give it a moment to finish its jobs' bookkeeping, then insist.
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    kill -9 "$pid" 2>/dev/null || true
}

case "$action" in
stop)
    stop_scheduler
    exit 0
    ;;
start)
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac

# A scheduler left over from an interrupted run is ours: stop it first.
stop_scheduler
rm -rf "$dir"
mkdir -p "$dir" || exit 1

cupsd_bin=$(command -v cupsd || echo /usr/sbin/cupsd)
lpadmin_bin=$(command -v lpadmin || echo /usr/sbin/lpadmin)
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[ -x "$cupsd_bin" ] || unavailable "cupsd is not installed (package cups)"
[ -x "$lpadmin_bin" ] || unavailable "lpadmin is not installed (package cups-client)"
[ -f "$ppd" ] || unavailable "$ppd is missing (package printer-driver-cups-pdf)"
[ -e /usr/lib/cups/backend/cups-pdf ] || unavailable "the cups-pdf backend is missing (package printer-driver-cups-pdf)"

for sub in etc etc/ppd spool spool/tmp cache state log; do
    mkdir -p "$dir/$sub" || exit 1
done
# The scheduler's filters run as the unprivileged "lp" user and need to
# reach the spool through these folders.
chmod 755 "$dir" "$dir/etc" "$dir/cache" "$dir/state" "$dir/log"
chmod 1777 "$dir/spool/tmp"
chmod 711 "$dir/spool"

cat > "$dir/cups-files.conf" <<CONF
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/state/printcap
FileDevice No
Sandboxing Relaxed
CONF

cat > "$dir/cupsd.conf" <<CONF
Listen $socket
LogLevel info
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
WebInterface No
MaxJobs 50
PreserveJobHistory No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
CONF

"$cupsd_bin" -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" > "$dir/log/cupsd.out" 2>&1 &
echo $! > "$pidfile"

# Wait for the socket to answer.
i=0
while [ ! -S "$socket" ] && [ $i -lt 100 ]; do
    if ! kill -0 "$(cat "$pidfile")" 2>/dev/null; then
        rm -f "$pidfile"
        unavailable "cupsd exited at start: $(tail -n 3 "$dir/log/cupsd.out" "$dir/log/error_log" 2>/dev/null | tr '\n' ' ')"
    fi
    sleep 0.1
    i=$((i + 1))
done
[ -S "$socket" ] || { stop_scheduler; unavailable "cupsd did not open $socket"; }

export CUPS_SERVER="$socket"
# PDF is the default printer; Refusing is a second queue that turns every
# job away, for the test of a refused job.
cupsreject_bin=$(command -v cupsreject || echo /usr/sbin/cupsreject)
if ! "$lpadmin_bin" -p PDF -v cups-pdf:/ -P "$ppd" -E > "$dir/log/lpadmin.out" 2>&1 \
   || ! "$lpadmin_bin" -d PDF >> "$dir/log/lpadmin.out" 2>&1 \
   || ! "$lpadmin_bin" -p Refusing -v cups-pdf:/ -P "$ppd" -E >> "$dir/log/lpadmin.out" 2>&1 \
   || ! "$cupsreject_bin" Refusing >> "$dir/log/lpadmin.out" 2>&1; then
    stop_scheduler
    unavailable "lpadmin could not create the PDF queue: $(tr '\n' ' ' < "$dir/log/lpadmin.out")"
fi
exit 0
