#!/usr/bin/env bash
# Builds qsoferry.exe and starts it under Wine, as it runs on a station.
#   scripts/run.sh                 the bridge alone
#   scripts/run.sh --with-peers    also the stand-ins for DXbase and JTDX, and one contact that
#                                  travels from the decoder's log to the logger
#   --seconds N                    end after N seconds instead of at Ctrl+C
# Without a display (no DISPLAY), it runs on a virtual one and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
with_peers=0
seconds=0
while [ $# -gt 0 ]; do
    case "$1" in
        --with-peers) with_peers=1 ;;
        --seconds) seconds=$2; shift ;;
        *) echo "usage: scripts/run.sh [--with-peers] [--seconds N]" >&2; exit 64 ;;
    esac
    shift
done

bash scripts/install-deps.sh
cmake --preset windows-x64 > /dev/null
cmake --build --preset windows-x64
bin=$PWD/build/windows-x64
run_dir=$PWD/build/run
mkdir -p "$run_dir"

wine=/usr/lib/wine/wine64
export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/qsoferry/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
xvfb_pid=""
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap finish EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 91 199); do [ -e /tmp/.X$n-lock ] || break; done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    echo "no display: running on the virtual display $DISPLAY"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "preparing the Wine prefix $WINEPREFIX (once)"
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i < /dev/null > /dev/null 2>&1
    # A virtual desktop, so that the windows come with their frames even without a window manager.
    "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f < /dev/null > /dev/null 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f < /dev/null > /dev/null 2>&1
    /usr/lib/wine/wineserver -k
fi
# Debian's Wine reads fonts only from the prefix and fontconfig, not from its own fonts folder:
# without Marlett in the prefix the caption buttons come out as "0 1 r".
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
user=$("$wine" "$bin/e2e_probe.exe" username < /dev/null 2>/dev/null | tr -d '\r')
log_dir="$WINEPREFIX/drive_c/Documents and Settings/$user/Local Settings/Application Data/JTDX"
mkdir -p "$log_dir"
echo "the bridge watches: $log_dir/wsjtx_log.adi"

if [ "$with_peers" -eq 1 ]; then
    rm -f "$run_dir/logger-records.txt"
    "$wine" "$bin/fake_logger.exe" "Z:${run_dir//\//\\}\\logger-records.txt" > /dev/null 2>&1 & pids+=($!)
    "$wine" "$bin/fake_decoder.exe" > /dev/null 2>&1 & pids+=($!)
fi
"$wine" "$bin/qsoferry.exe" > /dev/null 2>&1 & bridge=$!
pids+=($bridge)
"$wine" "$bin/e2e_probe.exe" wait-title "Qsoferry ver 1.00" 20000 < /dev/null > /dev/null 2>&1
echo "Qsoferry is running (pid $bridge)"

if [ "$with_peers" -eq 1 ]; then
    sleep 2
    echo "the decoder logs a contact:"
    sed -n 2p samples/wsjtx_log.adi | tee /dev/stderr > /dev/null
    head -2 samples/wsjtx_log.adi > "$log_dir/wsjtx_log.adi"
    for _ in $(seq 50); do [ -s "$run_dir/logger-records.txt" ] && break; sleep 0.2; done
    echo "the logger received:"
    python3 -c 'import sys
for line in open(sys.argv[1]):
    f = dict(p.split("=", 1) for p in line.split())
    print("  dwData %s, cbData %s: %s" % (f["dwData"], f["cbData"], bytes.fromhex(f["hex"]).decode("latin-1")))' \
        "$run_dir/logger-records.txt"
fi
if [ -n "$xvfb_pid" ]; then
    sleep 1
    import -window root -crop 800x600+0+0 "$run_dir/screen.png" && echo "screenshot: $run_dir/screen.png"
fi

if [ "$seconds" -gt 0 ]; then
    sleep "$seconds"
else
    echo "Ctrl+C ends it"
    wait "$bridge" || true
fi
