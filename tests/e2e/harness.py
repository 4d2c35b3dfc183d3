"""The station the Wine tests run on: a Wine prefix and an X display, the stand-in peers and the
bridge started in it, bounded waits, and what the logger received. Every wait is bounded; every
process a scenario starts is ended by its id before the scenario returns."""
import contextlib
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import zlib

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
WINE32_LOADER = "/usr/lib/wine/wine"
SKIPPED = 77  # ctest's SKIP_RETURN_CODE for these tests
WINE_FONTS = "/usr/share/wine/fonts"
BIN = os.environ.get("QSOFERRY_WIN_BIN") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                         "build", "windows-x64")
# The stand-in peers may be of the other bitness than the bridge.
PEER_BIN = os.environ.get("QSOFERRY_PEER_BIN") or BIN
SHOTS = os.environ.get("QSOFERRY_SCREENSHOTS", "")
CAPTION = "Qsoferry ver 1.00"
GREY, GREEN = (128, 128, 128), (0, 255, 0)
ID_FILE_NEW, ID_FILE_SAVE, ID_APP_ABOUT, ID_APP_EXIT, IDC_NO_FREQ = 57600, 57603, 57664, 57665, 1002
ID_FILE_SEND_LOG = 32771


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


def wait_until(predicate, timeout, what, observe=None):
    """Polls until predicate() is true; on time-out the failure shows what observe() last saw."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            seen = " (last seen: %r)" % (observe(),) if observe else ""
            raise Failure("timed out after %ss waiting for %s%s" % (timeout, what, seen))
        time.sleep(0.2)


def check_within(predicate, timeout, what, observe=None):
    """A check that may take some ticks to come true: it fails when the time is up."""
    wait_until(predicate, timeout, what, observe)
    print("ok:", what, flush=True)


def wine_run(env, args, timeout=60):
    """Runs a Windows program to its end and returns its exit code, its output and what Wine itself
    said on the error stream. Both go through files, not pipes: Wine's helper processes, started by
    whichever program comes first, would inherit a pipe and hold it open long after the program has
    ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run([WINE] + args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                              timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return code, out.read().decode("latin-1").replace("\r", ""), err.read().decode("latin-1").replace("\r", "")


def wine_output(env, args, timeout=60):
    """The exit code and output of a Windows program run to its end."""
    return wine_run(env, args, timeout)[:2]


class Station:
    """The Wine prefix and display of one test run, and the programs a scenario starts in it."""

    def __init__(self, state):
        self.state = state
        self.env = dict(os.environ, WINEPREFIX=state["prefix"], DISPLAY=state["display"], WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.log_dir = state["log_dir"]
        self.log = os.path.join(self.log_dir, "wsjtx_log.adi")
        self.backup = os.path.join(self.log_dir, "wsjtx_log_bak.adi")
        self.claim = self.log + ".qsoferry"
        self.records_file = os.path.join(state["work"], "logger-records.txt")
        self.procs = {}

    # Programs
    def start(self, name, *args, key=None):
        folder = PEER_BIN if name in ("fake_logger", "fake_decoder") else BIN
        proc = subprocess.Popen([WINE, os.path.join(folder, name + ".exe")] + list(args), env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs[key or name] = proc
        return proc

    def stop(self, name):
        proc = self.procs.pop(name, None)
        if proc and proc.poll() is None:
            # Wine may turn SIGTERM into the end of one thread only; SIGKILL ends the process, and
            # wineserver then removes its windows.
            proc.kill()
            proc.wait(timeout=10)

    def stop_all(self):
        # A scenario may end with several bridges or loggers; every one started is ended.
        for name in list(self.procs):
            self.stop(name)

    def probe(self, *args, ok=True):
        """Runs the probe and returns its output. A wait that gives up long before its time is up never
        ran: Wine did not start the probe. That was seen once on a loaded machine, just after a scenario
        had ended its last program; such a probe is run once more, and the log says so. So is any probe
        that failed saying nothing in less time than Wine takes to start a program."""
        what = " ".join(map(str, args))
        waits = args[0] in ("wait-class", "wait-title", "gone-title")
        for attempt in (1, 2):
            started = time.monotonic()
            code, out, err = wine_run(self.env, [os.path.join(BIN, "e2e_probe.exe")] + [str(a) for a in args])
            took = time.monotonic() - started
            said = "(%d) after %.1f s: %s%s" % (code, took, out, " [Wine: %s]" % err.strip()[-600:] if err.strip() else "")
            never_ran = took < 0.1 and not out
            if code == 0 or not (never_ran or (waits and took <= int(args[2]) / 2000)) or attempt == 2:
                break
            print("note: probe %s ended %s; run once more" % (what, said), flush=True)
        if ok and code != 0:
            raise Failure("probe %s failed %s" % (what, said))
        return out

    def window_exists(self, title):
        return wine_output(self.env, [os.path.join(BIN, "e2e_probe.exe"), "wait-title", title, "500"])[0] == 0

    def start_peer(self, name, args, wait):
        """Starts a stand-in peer and waits for its window. A peer that has ended by then never started
        (as with the probe above): it is started once more."""
        for attempt in (1, 2):
            proc = self.start(name, *args)
            try:
                self.probe(*wait)
                return
            except Failure:
                if proc.poll() is None or attempt == 2:
                    raise
                print("note: %s ended (%d) before its window showed; started once more" % (name, proc.returncode),
                      flush=True)

    def start_logger(self, *options):
        self.start_peer("fake_logger", ("Z:" + self.records_file.replace("/", "\\"),) + options,
                        ("wait-class", "DXbase", 15000))

    def start_decoder(self):
        self.start_peer("fake_decoder", (), ("wait-title", "JTDX - Wide Graph", 15000))

    def start_bridge(self, *args, key=None):
        proc = self.start("qsoferry", *args, key=key)
        self.probe("wait-title", CAPTION, 15000)
        return proc

    def focus_bridge(self):
        """Clicks an empty corner of the form, as a user would before typing, so that keys reach the
        bridge and not whichever window Wine activated last."""
        x, y, _, _ = (int(v) for v in self.info()["form"][0].split(","))
        subprocess.run(["xdotool", "mousemove", str(x + 3), str(y + 3), "click", "1"], env=self.env, check=True,
                       timeout=30)
        time.sleep(0.3)

    def values(self, *args):
        """What the probe prints as key=value lines, each key with its values in order."""
        values = {}
        for line in self.probe(*args).splitlines():
            key, _, value = line.partition("=")
            values.setdefault(key, []).append(value)
        return values

    def info(self):
        return self.values("info")

    # The decoder's log, written as the decoder writes it
    def write_contact(self, record):
        new = not os.path.exists(self.log)
        with open(self.log, "ab") as f:
            if new:
                f.write(b"WSJT-X ADIF Export<eoh>\r\n")
            f.write(record.encode("latin-1") + b" <eor>\r\n")

    def write_contacts(self, calls):
        """A backlog: many contacts logged while the logger was closed, written at once."""
        new = not os.path.exists(self.log)
        with open(self.log, "ab") as f:
            if new:
                f.write(b"WSJT-X ADIF Export<eoh>\r\n")
            f.write(b"".join(ft4_contact(call).encode() + b" <eor>\r\n" for call in calls))

    def calls_at_logger(self):
        return [r["text"].split("#")[0] for r in self.records()]

    def records(self):
        if not os.path.exists(self.records_file):
            return []
        out = []
        with open(self.records_file) as f:
            for line in f:
                fields = dict(part.split("=", 1) for part in line.split())
                out.append({"dwData": int(fields["dwData"]), "cbData": int(fields["cbData"]),
                            "fromBridgeFrame": fields["fromBridgeFrame"] == "1",
                            "text": bytes.fromhex(fields["hex"]).decode("latin-1")})
        return out

    def wait_records(self, count, timeout=10):
        return wait_until(lambda: len(self.records()) >= count and self.records(), timeout,
                          "%d record(s) at the logger" % count)

    # The screen
    def screenshot(self, path):
        subprocess.run(["import", "-display", self.state["display"], "-window", "root", path], check=True,
                       timeout=30, capture_output=True)

    def pixel(self, shot, x, y):
        at = "p{%d,%d}" % (x, y)
        pattern = ",".join("%[fx:int(255*" + at + "." + channel + ")]" for channel in "rgb")
        out = subprocess.run(["convert", shot, "-format", pattern, "info:"], capture_output=True, text=True, check=True,
                             timeout=30).stdout
        return tuple(int(v) for v in out.split(","))

    def lamps(self):
        """The colours shown at the middle of the logger's and the decoder's lamp."""
        info = self.info()
        shot = os.path.join(self.state["work"], "lamps.png")
        self.screenshot(shot)
        colours = []
        for lamp in ("loggerLamp", "decoderLamp"):
            x, y, w, h = (int(v) for v in info[lamp][0].split(","))
            colours.append(self.pixel(shot, x + w // 2, y + h // 2))
        return tuple(colours)

    def wait_lamps(self, logger, decoder, what=None, timeout=15):
        """Waits until the lamps show these colours; with what, that is also reported as a check passed."""
        seen = []
        colours = "lamps %s/%s" % ("green" if logger == GREEN else "grey", "green" if decoder == GREEN else "grey")
        (check_within if what else wait_until)(lambda: seen.append(self.lamps()) or seen[-1] == (logger, decoder),
                                               timeout, what or colours, lambda: seen[-1])

    def save_window(self, name, rect):
        if not SHOTS:
            return
        os.makedirs(SHOTS, exist_ok=True)
        shot = os.path.join(self.state["work"], "window.png")
        self.screenshot(shot)
        x, y, w, h = (int(v) for v in rect.split(","))
        # Stripped of the time stamps, so that an unchanged window gives an unchanged file.
        subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "-strip",
                        os.path.join(SHOTS, name)], check=True, timeout=30)

    def save_windows(self, name, titles):
        """A picture of the bridge's frame and the windows with these titles, together."""
        if not SHOTS:
            return
        rects = [self.info()["frame"][0]] + [self.probe("rect", t).strip().split("=")[1] for t in titles]
        boxes = [[int(v) for v in r.split(",")] for r in rects]
        left, top = min(b[0] for b in boxes) - 8, min(b[1] for b in boxes) - 8
        right, bottom = max(b[0] + b[2] for b in boxes) + 8, max(b[1] + b[3] for b in boxes) + 8
        self.save_window(name, "%d,%d,%d,%d" % (max(left, 0), max(top, 0), right - max(left, 0), bottom - max(top, 0)))

    def reset_files(self):
        for path in (self.log, self.backup, self.claim, self.claim + ".progress", self.records_file,
                     os.path.join(self.log_dir, "wsjtx_log_sent.adi")):
            if os.path.exists(path):
                os.remove(path)


def expected_record(call, rcvd, sent, freq, name, mode, grid, comment, power):
    return "%s#%s#%s#%s#%s#%s#%s##RSTS %s  RSTR %s   %s####RSTS %s#RSTR %s#%s#" % (
        call, rcvd, sent, freq, name, mode, grid, sent, rcvd, comment, sent, rcvd, power)


FT8_CONTACT = ("<call:6>DL1ABC <gridsquare:4>jo62 <mode:3>FT8 <rst_sent:3>-10 <rst_rcvd:3>-12 <qso_date:8>20261207 "
               "<time_on:6>101500 <band:3>20m <freq:9>14.075123 <station_callsign:5>K1ABC <tx_pwr:3>100 "
               "<comment:11>tnx for qso <name:4>Hans")
FT8_EXPECTED = expected_record("DL1ABC", "-12", "-10", "14075.00", "Hans", "FT8", "JO62", "tnx for qso", "100")


def ft4_contact(call):
    return ("<call:%d>%s <gridsquare:4>IO91 <mode:4>MFSK <submode:3>FT4 <rst_sent:3>+02 <rst_rcvd:3>-05 "
            "<band:3>40m <freq:8>7.047500" % (len(call), call))


def ft4_expected(call, freq="7047.00"):
    return expected_record(call, "-05", "+02", freq, "", "FT4", "IO91", "", "")


def backlog(n, first=1000):
    return ["K%d" % (first + i) for i in range(n)]


def once_in_order(got, expected, repeats_allowed):
    """Every expected call arrived, in order; repeats (a call right after itself) within the bound."""
    unique = [c for i, c in enumerate(got) if i == 0 or got[i - 1] != c]
    repeats = len(got) - len(unique)
    return unique == expected and repeats <= repeats_allowed, repeats


def wait_quiet(st, timeout=60):
    """Until the bridge has nothing left: no log, no claimed file, no progress."""
    wait_until(lambda: not any(os.path.exists(p) for p in (st.log, st.claim, st.claim + ".progress")), timeout,
               "the backlog to be delivered", lambda: len(st.records()))


def check_delivered(st, calls, repeats_allowed, what, timeout=60):
    """Once the bridge is quiet: every call arrived, in order, with no more repeats than allowed."""
    wait_quiet(st, timeout)
    time.sleep(1.5)  # anything sent twice would have arrived by now
    ok, repeats = once_in_order(st.calls_at_logger(), calls, repeats_allowed)
    check(ok, "%s (%d repeated)" % (what, repeats))


def reg_query(st, key, value=None):
    args = ["reg", "query", key] + (["/v", value] if value else [])
    return wine_output(st.env, args)


def lock_name(log_path, code_page):
    """The delivery lock's name for a log, as every bridge version computes it from the path's
    bytes in the system's code page: upper-cased letter by letter in ASCII only, then a CRC-32."""
    return "Qsoferry delivery %08x" % (zlib.crc32(log_path.encode(code_page).upper()) & 0xFFFFFFFF)


@contextlib.contextmanager
def lock_held(st, name, ms):
    """Another bridge holds the delivery lock `name` for `ms` ms, closed to every other program, as
    one run as administrator holds it. Yields the holder's process."""
    out_path = os.path.join(st.state["work"], "hold-lock.txt")
    with open(out_path, "wb") as out:
        holder = subprocess.Popen([WINE, os.path.join(BIN, "e2e_probe.exe"), "hold-lock", name, str(ms)], env=st.env,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
    try:
        wait_until(lambda: open(out_path, "rb").read().startswith(b"held"), 15, "the other bridge's lock")
        yield holder
        holder.wait(timeout=30)
    finally:
        if holder.poll() is None:
            holder.kill()
            holder.wait()


def setup_program():
    """The setup program under test: the release's (32-bit), or where this machine runs no 32-bit
    program, the same script built for x86-64 (QSOFERRY_SETUP)."""
    return os.environ.get("QSOFERRY_SETUP") or os.path.join(
        os.environ["QSOFERRY_DIST"], "qsoferry-%s-setup.exe" % os.environ["QSOFERRY_VERSION"])


def machine_of(exe):
    """The machine type in a Windows program's header: 0x8664 for x86-64, 0x14c for i386."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    return int.from_bytes(head[pe + 4:pe + 6], "little")


# Set-up and clean-up -------------------------------------------------------------------------------

def free_display():
    for n in range(91, 200):
        if not os.path.exists("/tmp/.X%d-lock" % n) and not os.path.exists("/tmp/.X11-unix/X%d" % n):
            return n
    raise Failure("no free X display")


def install_wine_fonts(prefix):
    """Debian's Wine takes fonts only from the prefix's C:\\windows\\Fonts and from fontconfig; the fonts
    it ships in /usr/share/wine/fonts (fonts-wine) are never read. Without Marlett there, Wine draws
    the caption buttons' glyphs ("0", "1", "r") in a text font. Copied in, every window looks right."""
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in os.listdir(WINE_FONTS) if os.path.isdir(WINE_FONTS) else []:
        if name.endswith(".ttf"):
            shutil.copy(os.path.join(WINE_FONTS, name), fonts)


def setup(state_path):
    work = tempfile.mkdtemp(prefix="qsoferry-e2e-")
    n = free_display()
    xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    state = {"work": work, "prefix": os.path.join(work, "prefix"), "display": ":%d" % n, "xvfb_pid": xvfb.pid}
    with open(state_path, "w") as f:
        json.dump(state, f)
    wait_until(lambda: os.path.exists("/tmp/.X11-unix/X%d" % n), 10, "Xvfb")
    env = dict(os.environ, WINEPREFIX=state["prefix"], DISPLAY=state["display"], WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    if wine_output(env, ["wineboot", "-i"], timeout=300)[0] != 0:
        raise Failure("wineboot failed")
    install_wine_fonts(state["prefix"])
    user = wine_output(env, [os.path.join(BIN, "e2e_probe.exe"), "username"])[1].strip()
    # A virtual desktop: Wine draws the windows' frames itself, so screenshots show them whole.
    for key, name, value in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                             ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "800x600")):
        wine_output(env, ["reg", "add", key, "/v", name, "/d", value, "/f"])
    # The desktop is chosen when Wine starts: end this Wine so that the scenarios start in the new one.
    subprocess.run([WINESERVER, "-k"], env=env, timeout=60, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    state["user"] = user
    state["log_dir"] = os.path.join(state["prefix"], "drive_c", "Documents and Settings", user, "Local Settings",
                                    "Application Data", "JTDX")
    os.makedirs(state["log_dir"], exist_ok=True)
    with open(state_path, "w") as f:
        json.dump(state, f)
    print("prefix %s, display %s, user %s" % (state["prefix"], state["display"], user))


def cleanup(state_path):
    if not os.path.exists(state_path):
        return
    with open(state_path) as f:
        state = json.load(f)
    env = dict(os.environ, WINEPREFIX=state["prefix"])
    if os.path.isdir(state["prefix"]):
        subprocess.run([WINESERVER, "-k"], env=env, timeout=60, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        os.kill(state["xvfb_pid"], signal.SIGTERM)
    except ProcessLookupError:
        pass
    shutil.rmtree(state["work"], ignore_errors=True)
    os.remove(state_path)


def runs_32bit_programs():
    """Whether this machine's kernel runs 32-bit Linux programs, as Wine's 32-bit loader is one. Some
    kernels are built or started without it, and then no 32-bit Windows program can run at all."""
    try:
        return subprocess.run([WINE32_LOADER, "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except OSError:
        return False
