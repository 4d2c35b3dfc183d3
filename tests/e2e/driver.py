#!/usr/bin/env python3
"""Drives the real qsoferry.exe under Wine with stand-in peers, as an operator's station would.

    driver.py setup STATE       fresh Wine prefix and Xvfb display (started here, ended by cleanup)
    driver.py run STATE NAME    one scenario
    driver.py cleanup STATE     ends Wine and Xvfb by their ids and removes the prefix
    driver.py soak STATE [N]    the soak with N contacts (500), set up and cleaned up on its own
    driver.py backlog STATE [N] times N held contacts (10000) to the logger, set up likewise

Environment: QSOFERRY_WIN_BIN (folder of qsoferry.exe, the stand-ins and e2e_probe.exe; the 64-bit
build unless given), QSOFERRY_PEER_BIN (folder of the stand-ins, when of the other bitness) and
QSOFERRY_SCREENSHOTS (where the screenshots go). Every wait is bounded; every process a scenario
starts is ended by its id before the scenario returns.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
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
GREY, GREEN = (192, 192, 192), (0, 255, 0)
ID_FILE_NEW, ID_FILE_SAVE, ID_APP_ABOUT, ID_APP_EXIT, IDC_NO_FREQ = 57600, 57603, 57664, 57665, 1002


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


def wine_output(env, args, timeout=60):
    """Runs a Windows program to its end and returns its exit code and output. The output goes
    through a file, not a pipe: Wine's helper processes, started by whichever program comes first,
    would inherit a pipe and hold it open long after the program has ended."""
    with tempfile.TemporaryFile() as out:
        code = subprocess.run([WINE] + args, env=env, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode
        out.seek(0)
        return code, out.read().decode("latin-1").replace("\r", "")


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
        code, out = wine_output(self.env, [os.path.join(BIN, "e2e_probe.exe")] + [str(a) for a in args])
        if ok and code != 0:
            raise Failure("probe %s failed (%d): %s" % (" ".join(map(str, args)), code, out))
        return out

    def window_exists(self, title):
        return wine_output(self.env, [os.path.join(BIN, "e2e_probe.exe"), "wait-title", title, "500"])[0] == 0

    def start_logger(self, *options):
        self.start("fake_logger", "Z:" + self.records_file.replace("/", "\\"), *options)
        self.probe("wait-class", "DXbase", 15000)

    def start_decoder(self):
        self.start("fake_decoder")
        self.probe("wait-title", "JTDX - Wide Graph", 15000)

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

    def info(self):
        values = {}
        for line in self.probe("info").splitlines():
            key, _, value = line.partition("=")
            values.setdefault(key, []).append(value)
        return values

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
        for path in (self.log, self.backup, self.claim, self.claim + ".progress", self.records_file):
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


# Scenarios ------------------------------------------------------------------------------------------

def scenario_delivery(st):
    st.start_logger()
    st.start_decoder()
    st.start_bridge()
    st.wait_lamps(GREEN, GREEN)
    st.save_window("main-lamps-green.png", st.info()["frame"][0])

    st.write_contact(FT8_CONTACT)
    record = st.wait_records(1)[0]
    check(record["text"] == FT8_EXPECTED, "one contact arrives with the exact bytes: %r" % record["text"])
    check(record["dwData"] == 10001, "dwData is 10001")
    check(record["cbData"] == len(FT8_EXPECTED) == 97, "cbData counts the text without a terminator (97)")
    check(record["fromBridgeFrame"], "wParam is the bridge's main frame")
    time.sleep(0.5)
    st.save_windows("relay.png", ["DXbase stand-in", "JTDX - Wide Graph"])
    wait_until(lambda: not os.path.exists(st.log), 5, "the log to be gone")
    check(not os.path.exists(st.claim), "no claimed file is left behind")

    for call in ("G4AAA", "G4BBB", "G4CCC"):
        st.write_contact(ft4_contact(call))
    records = st.wait_records(4)
    time.sleep(2.5)
    texts = [r["text"] for r in st.records()[1:]]
    check(texts == [ft4_expected(c) for c in ("G4AAA", "G4BBB", "G4CCC")],
          "three appended contacts arrive as three records, in order, once each: %r" % texts)
    del records

    st.probe("click", IDC_NO_FREQ)
    check(st.info()["noFreq"] == ["1"], "the check box is ticked")
    st.write_contact(ft4_contact("G4DDD"))
    record = st.wait_records(5)[4]
    check(record["text"] == ft4_expected("G4DDD", freq=""), "a ticked box leaves the frequency out: %r" % record["text"])
    check(record["cbData"] == len(ft4_expected("G4DDD", freq="")), "cbData matches the shorter record")


def scenario_no_logger(st):
    st.start_decoder()
    st.start_bridge()
    st.write_contact(ft4_contact("W1AAA"))
    time.sleep(3.5)
    check(os.path.exists(st.log), "without a logger the log stays")
    check(st.records() == [], "nothing was sent")
    st.write_contact(ft4_contact("W1BBB"))  # the decoder goes on appending meanwhile
    st.start_logger()
    st.wait_records(2)
    time.sleep(3)
    texts = [r["text"] for r in st.records()]
    check(texts == [ft4_expected("W1AAA"), ft4_expected("W1BBB")],
          "once the logger runs, every waiting contact is delivered once: %r" % texts)
    check(not os.path.exists(st.log), "and the log is gone")


def scenario_backup(st):
    history = "WSJT-X ADIF Export<eoh>\r\n" + ft4_contact("OLD1") + " <eor>\r\n" + ft4_contact("OLD2") + " <eor>\r\n"
    with open(st.log, "w", newline="") as f:
        f.write(history)
    st.start_logger()
    st.start_bridge()
    time.sleep(3.5)
    check(not os.path.exists(st.log), "the log found at the first start is moved away")
    with open(st.backup, newline="") as f:
        check(f.read() == history, "the backup holds the former log unchanged")
    check(st.records() == [], "the history is never sent")
    st.write_contact(ft4_contact("NEW1"))
    st.wait_records(1)
    time.sleep(1.5)
    check([r["text"] for r in st.records()] == [ft4_expected("NEW1")], "the next new contact is relayed alone")


def scenario_lamps(st):
    st.start_bridge()
    st.wait_lamps(GREY, GREY)
    st.save_window("main-lamps-grey.png", st.info()["frame"][0])
    st.start_logger()
    st.wait_lamps(GREEN, GREY, "the logger's lamp turns green when it starts")
    st.start_decoder()
    st.wait_lamps(GREEN, GREEN, "the decoder's lamp turns green when it starts")
    st.stop("fake_logger")
    st.wait_lamps(GREY, GREEN, "the logger's lamp turns grey when it ends")
    st.stop("fake_decoder")
    st.wait_lamps(GREY, GREY, "the decoder's lamp turns grey when it ends")


def scenario_window(st):
    bridge = st.start_bridge()
    info = st.info()
    check(info["caption"] == [CAPTION], "caption reads %s" % CAPTION)
    check(info["visible"] == ["1"] and info["hasMenu"] == ["1"], "the frame is shown with a menu bar")
    check(info.get("child") == ["#32770|0|"], "the form is the frame's only child: no toolbar, no status bar")
    form = [int(v) for v in info["form"][0].split(",")]
    check(info["client"] == ["%d,%d" % (form[2], form[3])], "the frame is fitted to the form")
    check(info["noFreq"] == ["0"], "the check box starts unchecked")
    exe = "Z:" + os.path.join(BIN, "qsoferry.exe").replace("/", "\\")
    resources = st.probe("resources", exe).splitlines()
    check([r for r in resources if r.startswith("menu=")] ==
          ["menu=&File", "menu=&File/E&xit #57665", "menu=&Help", "menu=&Help/&About Qsoferry ver 1.00 #57664"],
          "menu: File with Exit, Help with the about item")
    check(len([r for r in resources if r.startswith("accel=")]) == 13, "the accelerator table has 13 entries")

    st.start_logger()
    for how in ("about-ok", "about-esc", "about-close"):
        st.probe("command", ID_APP_ABOUT)
        about = st.probe("about-info")
        check("Static|-1|Qsoferry Ver 1.00" in about and "Button|1|OK" in about,
              "the about box shows its line and OK")
        if how == "about-ok":
            st.save_window("about.png", [l for l in about.splitlines() if l.startswith("about=")][0][6:])
            st.write_contact(ft4_contact("AB1OUT"))
            st.wait_records(1)
            check(st.records()[0]["text"] == ft4_expected("AB1OUT"), "a contact written while it is open arrives")
        st.probe(how)
        check_within(lambda: not st.window_exists("About Qsoferry ver 1.00"), 10,
                     "the about box closes with %s" % how[6:])

    st.probe("command", ID_FILE_NEW)
    time.sleep(1.5)
    check(st.info()["caption"] == [CAPTION], "after New the same window carries on")
    st.write_contact(ft4_contact("NEW2"))
    st.wait_records(2)

    st.probe("command", ID_APP_EXIT)
    bridge.wait(timeout=15)
    check(bridge.returncode == 0, "File, Exit ends the program")


def scenario_command_line(st):
    document = os.path.join(st.state["work"], "document.adi")
    with open(document, "w") as f:
        f.write("keep me\n")
    st.start_bridge("Z:" + document.replace("/", "\\"))
    st.probe("command", ID_FILE_SAVE)
    time.sleep(2)
    with open(document) as f:
        check(f.read() == "keep me\n", "a save never writes over the document's file")
    check(st.info()["caption"] == [CAPTION], "the caption shows no document name")
    _, reg = wine_output(st.env, ["reg", "query", "HKCU\\Software\\Local AppWizard-Generated Applications\\"
                                  + CAPTION + "\\Recent File List"])
    check("document.adi" in reg, "the file heads the recent-file list in the registry")
    st.stop("qsoferry")

    bridge = st.start_bridge()
    st.probe("close")
    bridge.wait(timeout=15)
    check(bridge.returncode == 0, "the close box ends the program at once, without a prompt")

    missing = st.start("qsoferry", "Z:\\nowhere\\missing.adi")
    # The program says why in a box and ends without a main window once it is closed.
    st.probe("wait-title", CAPTION, 15000)
    time.sleep(1)
    check("QsoferryFrame" not in st.probe("info", ok=False) and missing.poll() is None,
          "a file that cannot be opened is reported, and no main window is shown")
    st.stop("qsoferry")


def scenario_decoder_writes(st):
    """The decoder appends while the bridge relays: no open of the decoder fails, and every contact
    arrives once, whole and in order."""
    st.start_logger()
    bridge = st.start_bridge()
    log = "C:\\Documents and Settings\\%s\\Local Settings\\Application Data\\JTDX\\wsjtx_log.adi" % st.state["user"]
    out = st.probe("append", log, 12, 150, 400)
    check(out.strip() == "failedOpens=0", "every open of the decoder succeeds while the bridge relays")
    st.wait_records(12, timeout=15)
    time.sleep(2)
    calls = [r["text"].split("#")[0] for r in st.records()]
    check(calls == ["K%d" % (100 + i) for i in range(12)], "twelve contacts arrive once each, in order: %s" % calls)
    check(all(r["text"].split("#")[5] == "FT8" and r["text"].split("#")[3] == "14074.00" for r in st.records()),
          "no contact is cut in half")
    check(bridge.poll() is None, "the bridge runs on")


def scenario_empty_log(st):
    """A log without content: one message box at a time, the log kept; relayed once it has content."""
    st.start_logger()
    st.start_bridge()
    with open(st.log, "wb") as f:
        f.write(b"\r\n\r\n")
    wait_until(lambda: "messageBoxes=1" in st.probe("message", ok=False), 10, "the message box")
    box = st.probe("message")
    check("|The source file is empty" in box and "Button|1|OK" in box,
          "the box says \"The source file is empty\" with an OK button, under the program's title")
    time.sleep(3)
    check("messageBoxes=1" in st.probe("message"), "while it is open, later ticks open no second box")
    check(os.path.exists(st.log) and not os.path.exists(st.claim), "the empty log stays where it was")
    with open(st.log, "ab") as f:  # the file gets its header and a contact meanwhile
        f.write(b"WSJT-X ADIF Export<eoh>\r\n" + ft4_contact("EMPTY1").encode() + b" <eor>\r\n")
    st.probe("message-ok")
    st.wait_records(1)
    check(st.records()[0]["text"] == ft4_expected("EMPTY1"), "once it has content, its contact is relayed")
    check("messageBoxes=0" in st.probe("message", ok=False), "and no box is left")


def scenario_keys(st):
    """The accelerators, pressed as keys on the X display."""
    bridge = st.start_bridge()
    keys = lambda *k: subprocess.run(["xdotool", "key", "--delay", "100"] + list(k), env=st.env, check=True,
                                     timeout=30)
    st.focus_bridge()
    st.probe("click", IDC_NO_FREQ)
    keys("ctrl+z", "ctrl+x", "ctrl+c", "ctrl+v", "alt+BackSpace", "shift+Delete", "ctrl+Insert", "shift+Insert",
         "F6", "shift+F6")
    time.sleep(1)
    check(bridge.poll() is None and st.info()["noFreq"] == ["1"], "the edit keys, F6 and Shift+F6 do nothing")

    keys("ctrl+o")
    st.probe("wait-title", "Open", 10000)
    st.probe("cancel", "Open")
    st.probe("gone-title", "Open", 10000)
    check(st.info()["noFreq"] == ["1"], "cancelling Ctrl+O changes nothing")

    keys("ctrl+n")
    check_within(lambda: st.info()["noFreq"] == ["0"], 10,
                 "Ctrl+N runs the initial update again: the box starts unchecked")

    chosen = os.path.join(st.state["work"], "chosen.adi")
    with open(chosen, "w") as f:
        f.write("any file\n")
    st.probe("click", IDC_NO_FREQ)
    keys("ctrl+o")
    st.probe("wait-title", "Open", 10000)
    time.sleep(0.5)
    subprocess.run(["xdotool", "type", "--delay", "20", "Z:" + chosen.replace("/", "\\")], env=st.env, check=True,
                   timeout=60)
    keys("Return")
    st.probe("gone-title", "Open", 10000)
    check_within(lambda: st.info()["noFreq"] == ["0"], 10, "Ctrl+O with a file chosen runs the initial update again")
    with open(chosen) as f:
        check(f.read() == "any file\n", "nothing is written to the opened file")

    keys("ctrl+s")
    time.sleep(2)
    check(not st.window_exists("Save As"), "Ctrl+S with a document file asks nothing")
    with open(chosen) as f:
        check(f.read() == "any file\n", "and writes nothing over it")
    st.probe("command", ID_APP_EXIT)
    bridge.wait(timeout=15)

    bridge = st.start_bridge()
    st.focus_bridge()
    keys("ctrl+s")
    st.probe("wait-title", "Save As", 10000)
    saved = os.path.join(st.state["work"], "saved.adi")
    time.sleep(0.5)
    subprocess.run(["xdotool", "type", "--delay", "20", "Z:" + saved.replace("/", "\\")], env=st.env, check=True,
                   timeout=60)
    keys("Return")
    st.probe("gone-title", "Save As", 10000)
    wait_until(lambda: os.path.exists(saved), 10, "the saved file")
    check(os.path.getsize(saved) == 0, "Ctrl+S without a document file creates an empty file where none was")


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


def scenario_logger_leaves(st):
    """The logger is closed in the middle of a backlog and started again: nothing is lost or repeated."""
    calls = backlog(200)
    st.start_decoder()
    st.start_bridge()
    st.write_contacts(calls)
    st.start_logger("--delay", "5", "--take", "60")
    wait_until(lambda: st.procs["fake_logger"].poll() is not None, 60, "the logger to go after 60 contacts",
               lambda: len(st.records()))
    time.sleep(2)
    check(len(st.records()) == 60 and os.path.exists(st.claim), "the logger took 60 and went; the rest waits")
    st.start_logger()
    check_delivered(st, calls, 0, "started again, it gets the other 140: all 200 once, in order")


def scenario_hung_logger(st):
    """A logger that takes 30 s over a contact: meanwhile the bridge's window answers (the lamps follow
    the peers, the end of a session is answered, a posted WM_CLOSE ends it), and started again beside
    a logger that answers, it delivers every contact, in order, at most one twice."""
    calls = backlog(3)
    st.start_logger("--delay", "30000")
    bridge = st.start_bridge()
    st.write_contacts(calls)
    time.sleep(2.5)  # the first contact has gone to the logger by now
    busy_since = time.monotonic()
    st.start_decoder()
    st.wait_lamps(GREEN, GREEN, "while the logger is busy, a decoder started meanwhile lights its lamp")
    st.stop("fake_decoder")
    st.wait_lamps(GREEN, GREY, "and its lamp goes grey when it ends")
    check(st.records() == [] and time.monotonic() - busy_since < 20, "the logger is still busy with the first contact")
    started = time.monotonic()
    out = st.probe("endsession")
    took = time.monotonic() - started
    check("queryEndSession=1" in out and took < 8,
          "at a log-off it says yes at once and waits for the logger no longer than a few seconds (%.1f s)" % took)
    started = time.monotonic()
    st.probe("post-close")
    bridge.wait(timeout=15)
    took = time.monotonic() - started
    check(took < 2, "a posted WM_CLOSE ends the bridge within 2 s while the logger is busy (%.1f s)" % took)
    wait_until(lambda: len(st.records()) >= 1, 40, "the busy logger to take the first contact")
    st.stop("fake_logger")
    st.start_logger()
    st.start_bridge()
    check_delivered(st, calls, 1, "started again beside a logger that answers, every contact arrives, in order, "
                                  "at most one twice")


def scenario_admin_lock(st):
    """A bridge run as administrator by an older version holds the delivery lock, closed to this one:
    this one does not deliver beside it, and takes over once it ends."""
    log = "C:\\Documents and Settings\\%s\\Local Settings\\Application Data\\JTDX\\wsjtx_log.adi" % st.state["user"]
    name = "Qsoferry delivery %08x" % (zlib.crc32(log.upper().encode("latin-1")) & 0xFFFFFFFF)
    out_path = os.path.join(st.state["work"], "hold-lock.txt")
    st.start_logger()
    with open(out_path, "wb") as out:
        holder = subprocess.Popen([WINE, os.path.join(BIN, "e2e_probe.exe"), "hold-lock", name, "9000"], env=st.env,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
    try:
        wait_until(lambda: open(out_path, "rb").read().startswith(b"held"), 15, "the other bridge's lock")
        st.start_bridge()
        st.write_contact(ft4_contact("ADM1"))
        time.sleep(4)
        check(st.records() == [] and holder.poll() is None, "beside a lock it may not open, the bridge delivers nothing")
        holder.wait(timeout=30)
    finally:
        if holder.poll() is None:
            holder.kill()
            holder.wait()
    st.wait_records(1, timeout=15)
    check(st.records()[0]["text"] == ft4_expected("ADM1"), "once the other bridge has ended, it delivers")


def scenario_bridge_killed(st):
    """The bridge is killed in the middle of a backlog and started again: at most the one contact in
    flight arrives twice."""
    calls = backlog(300)
    st.start_logger("--delay", "15")
    st.start_bridge()
    st.write_contacts(calls)
    wait_until(lambda: len(st.records()) >= 40, 60, "40 contacts at the logger", lambda: len(st.records()))
    st.stop("qsoferry")
    time.sleep(1)
    arrived = len(st.records())
    check(40 <= arrived < 300 and os.path.exists(st.claim), "killed after %d of 300 had arrived" % arrived)
    st.start_bridge()
    check_delivered(st, calls, 1, "started again, every contact arrives, in order, at most one twice")


def scenario_shutdown(st):
    """Windows logs off in the middle of a backlog: delivery stops between two contacts with the progress
    on the disk, so after the next start none arrives twice."""
    calls = backlog(300)
    st.start_logger("--delay", "15")
    st.start_bridge()
    st.write_contacts(calls)
    wait_until(lambda: len(st.records()) >= 30, 60, "30 contacts at the logger", lambda: len(st.records()))
    out = st.probe("endsession")
    check("queryEndSession=1" in out, "the bridge agrees to end the session")
    time.sleep(1)
    stopped = len(st.records())
    time.sleep(2)
    check(len(st.records()) == stopped < 300, "delivery stops after %d contacts" % stopped)
    st.stop("qsoferry")  # Windows ends the process
    st.start_bridge()
    check_delivered(st, calls, 0, "after the next start every contact arrives once, in order")


def scenario_two_bridges(st):
    """Two bridges run while the decoder logs: each contact arrives once; when the one delivering ends,
    the other takes over."""
    st.start_logger()
    st.start_bridge(key="first")
    time.sleep(1.5)  # the first one has the delivery lock
    st.start("qsoferry", key="second")
    wait_until(lambda: st.probe("count-frames").strip() == "frames=2", 15, "two bridges")
    log = "C:\\Documents and Settings\\%s\\Local Settings\\Application Data\\JTDX\\wsjtx_log.adi" % st.state["user"]
    appender = subprocess.Popen([WINE, os.path.join(BIN, "e2e_probe.exe"), "append", log, "30", "250", "40"],
                                env=st.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
    try:
        wait_until(lambda: len(st.records()) >= 10, 30, "10 contacts at the logger", lambda: len(st.records()))
        st.stop("first")
        appender.wait(timeout=60)
    finally:
        if appender.poll() is None:
            appender.kill()
            appender.wait()
    check_delivered(st, ["K%d" % (100 + i) for i in range(30)], 1,
                    "30 contacts arrive once each, in order, across the hand-over", timeout=30)


def soak(st, contacts, seed=7):
    """The decoder logs `contacts` contacts at random intervals while the stand-in logger is restarted
    about every 50 contacts and the bridge is killed and restarted about every 100. Returns the figures."""
    import random
    rng = random.Random(seed)
    st.start_logger()
    st.start_bridge()
    log = "C:\\Documents and Settings\\%s\\Local Settings\\Application Data\\JTDX\\wsjtx_log.adi" % st.state["user"]
    out_path = os.path.join(st.state["work"], "appender.txt")
    with open(out_path, "wb") as out:
        appender = subprocess.Popen([WINE, os.path.join(BIN, "e2e_probe.exe"), "append", log, str(contacts), "120", "20",
                                     "100", str(seed)], env=st.env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.DEVNULL)
    restarts = {"logger": 0, "bridge": 0}
    # Every ~50 and ~100 contacts for the whole soak; a short one interrupts as often, relatively.
    logger_every, bridge_every = max(10, contacts // 10), max(20, contacts // 5)
    gap = lambda every: rng.randint(every * 4 // 5, every * 6 // 5)
    next_at = {"logger": gap(logger_every), "bridge": gap(bridge_every)}
    deadline = time.monotonic() + 60 + contacts * 0.5
    try:
        while time.monotonic() < deadline:
            delivered = len(st.records())
            if appender.poll() is not None and delivered >= contacts:
                break
            if appender.poll() is not None and not any(os.path.exists(p) for p in (st.log, st.claim)):
                break
            for peer, every, pause, start in (("logger", logger_every, 2.0, st.start_logger),
                                              ("bridge", bridge_every, 1.5, st.start_bridge)):
                if delivered >= next_at[peer]:
                    st.stop("fake_logger" if peer == "logger" else "qsoferry")
                    time.sleep(rng.uniform(0.3, pause))
                    start()
                    restarts[peer] += 1
                    next_at[peer] = delivered + gap(every)
            time.sleep(0.2)
        appender.wait(timeout=120)
        wait_quiet(st, 120)
        time.sleep(1.5)
    finally:
        if appender.poll() is None:
            appender.kill()
            appender.wait()
    with open(out_path, "rb") as f:
        failed = int(f.read().decode("latin-1").strip().split("=")[1])
    written = ["K%d" % (100 + i) for i in range(contacts)]
    got = st.calls_at_logger()
    figures = {"written": contacts - failed, "failedOpens": failed, "delivered": len(set(got)),
               "lost": len(set(written) - set(got)), "repeated": len(got) - len(set(got)),
               "loggerRestarts": restarts["logger"], "bridgeKills": restarts["bridge"],
               "inOrder": [c for i, c in enumerate(got) if i == 0 or got[i - 1] != c] == [c for c in written if c in got]}
    print("soak: " + ", ".join("%s %s" % kv for kv in figures.items()), flush=True)
    return figures


def scenario_soak(st):
    figures = soak(st, int(os.environ.get("QSOFERRY_SOAK_CONTACTS", "60")))
    check(figures["failedOpens"] == 0, "every open of the decoder succeeded")
    check(figures["lost"] == 0 and figures["inOrder"], "no contact lost, all in order")
    check(figures["repeated"] <= figures["bridgeKills"] + figures["loggerRestarts"],
          "repeats within one per interruption (%d)" % figures["repeated"])


def machine_of(exe):
    """The machine type in a Windows program's header: 0x8664 for x86-64, 0x14c for i386."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    return int.from_bytes(head[pe + 4:pe + 6], "little")


def scenario_cross_bitness(st):
    """A bridge of one bitness with a logger and a decoder of the other."""
    bridge_machine = machine_of(os.path.join(BIN, "qsoferry.exe"))
    peer_machine = machine_of(os.path.join(PEER_BIN, "fake_logger.exe"))
    check(bridge_machine != peer_machine and {bridge_machine, peer_machine} == {0x8664, 0x14C},
          "the bridge (0x%x) and the stand-ins (0x%x) are of different bitness" % (bridge_machine, peer_machine))
    st.start_logger()
    st.start_decoder()
    st.start_bridge()
    st.wait_lamps(GREEN, GREEN, "both lamps see the peers of the other bitness")
    for call in ("X1AAA", "X1BBB", "X1CCC"):
        st.write_contact(ft4_contact(call))
    st.wait_records(3, timeout=15)
    time.sleep(1.5)
    records = st.records()
    check([r["text"] for r in records] == [ft4_expected(c) for c in ("X1AAA", "X1BBB", "X1CCC")],
          "three contacts arrive with the exact bytes, once each, in order")
    check(all(r["dwData"] == 10001 and r["cbData"] == len(r["text"]) and r["fromBridgeFrame"] for r in records),
          "dwData 10001, cbData the text's length, wParam the bridge's frame")


def scenario_log_location(st):
    """A prefix without "Documents and Settings": the log is looked for in JTDX's folder under the
    local application data, as the system names it."""
    documents = os.path.join(st.state["prefix"], "drive_c", "Documents and Settings")
    aside = documents + ".aside"
    local_jtdx = os.path.join(st.state["prefix"], "drive_c", "users", st.state["user"], "AppData", "Local", "JTDX")
    os.rename(documents, aside)
    try:
        check(not os.path.exists(documents), "no Documents and Settings in the prefix")
        os.makedirs(local_jtdx, exist_ok=True)
        st.start_logger()
        st.start_bridge()
        log = os.path.join(local_jtdx, "wsjtx_log.adi")
        with open(log, "wb") as f:
            f.write(b"WSJT-X ADIF Export<eoh>\r\n" + ft4_contact("LOC1").encode() + b" <eor>\r\n")
        st.wait_records(1)
        check(st.records()[0]["text"] == ft4_expected("LOC1"), "a contact written to AppData\\Local\\JTDX arrives")
        wait_until(lambda: not os.path.exists(log), 5, "the log to be gone")
    finally:
        st.stop_all()
        shutil.rmtree(local_jtdx, ignore_errors=True)
        os.rename(aside, documents)


def reg_query(st, key, value=None):
    args = ["reg", "query", key] + (["/v", value] if value else [])
    return wine_output(st.env, args)


def scenario_install(st):
    """The setup program installs silently for the user, the installed program relays, and the silent
    uninstaller leaves nothing of what was installed, and nothing of the operator's is touched."""
    dist, version = os.environ["QSOFERRY_DIST"], os.environ["QSOFERRY_VERSION"]
    setup = os.path.join(dist, "qsoferry-%s-setup.exe" % version)
    users = os.path.join(st.state["prefix"], "drive_c", "users", st.state["user"])
    installed = os.path.join(users, "AppData", "Local", "Programs", "Qsoferry")
    shortcut = os.path.join(users, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
                            "Qsoferry.lnk")
    uninstall_key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qsoferry"
    run_key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
    with open(st.backup, "w") as f:
        f.write("the operator's history\n")

    code, _ = wine_output(st.env, [setup, "/S"], timeout=120)
    check(code == 0, "the setup program runs silently")
    files = sorted(os.listdir(installed)) if os.path.isdir(installed) else []
    check(files == ["README.txt", "qsoferry-preview.exe", "qsoferry.exe", "uninstall.exe"],
          "installed into AppData\\Local\\Programs\\Qsoferry: %s" % files)
    check(machine_of(os.path.join(installed, "qsoferry.exe")) == 0x8664, "the 64-bit program on 64-bit Windows")
    check(os.path.exists(shortcut), "a Start-menu shortcut")
    code, out = reg_query(st, uninstall_key)
    check(code == 0 and "Qsoferry" in out and version in out and "uninstall.exe" in out,
          "an entry among the user's installed programs, with name, version and uninstaller")
    code, out = reg_query(st, run_key, "Qsoferry")
    check(code == 0 and "qsoferry.exe" in out, "started when Windows starts (the option is on by default)")

    st.start_logger()
    proc = subprocess.Popen([WINE, os.path.join(installed, "qsoferry.exe")], env=st.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    st.procs["installed"] = proc
    st.probe("wait-title", CAPTION, 15000)
    st.write_contact(ft4_contact("INST1"))
    st.wait_records(1)
    check(st.records()[0]["text"] == ft4_expected("INST1"), "the installed program relays a contact")

    code, _ = wine_output(st.env, [setup, "/S"], timeout=120)
    check(code == 0 and sorted(os.listdir(installed)) == files, "running the setup again upgrades in place")
    check_within(lambda: proc.poll() is not None, 15, "the running program was asked to close for it")
    st.probe("gone-title", CAPTION, 10000, ok=False)

    wine_output(st.env, [os.path.join(installed, "uninstall.exe"), "/S"], timeout=120)
    # The uninstaller works from a copy of itself, so that it can remove its own file: wait for it.
    check_within(lambda: not os.path.exists(installed), 30, "the uninstaller removes the program's folder")
    check(not os.path.exists(shortcut), "and the shortcut")
    check(reg_query(st, uninstall_key)[0] != 0, "and the installed-programs entry")
    check(reg_query(st, run_key, "Qsoferry")[0] != 0, "and the start with Windows")
    with open(st.backup) as f:
        check(f.read() == "the operator's history\n", "JTDX's folder and the backup are left as they were")


SCENARIOS = {name[len("scenario_"):]: fn for name, fn in globals().items() if name.startswith("scenario_")}


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


def needs_32bit(name):
    programs = [os.path.join(BIN, "qsoferry.exe"), os.path.join(PEER_BIN, "fake_logger.exe")]
    return name == "install" or any(machine_of(p) == 0x14C for p in programs)


def run(state_path, name):
    if needs_32bit(name) and not runs_32bit_programs():
        print("SKIPPED: %s needs 32-bit programs, which this kernel cannot run (%s: exec format error)"
              % (name, WINE32_LOADER), flush=True)
        return SKIPPED
    with open(state_path) as f:
        state = json.load(f)
    station = Station(state)
    station.reset_files()
    try:
        SCENARIOS[name](station)
    except Failure as failure:
        print("FAIL:", failure, flush=True)
        return 1
    finally:
        station.stop_all()
        # Let Wine settle so that the next scenario starts with no window of this one.
        for title in (CAPTION, "DXbase stand-in", "JTDX - Wide Graph"):
            station.probe("gone-title", title, 10000, ok=False)
    print("passed:", name)
    return 0


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 64
    command, state_path = sys.argv[1], sys.argv[2]
    if command == "setup":
        setup(state_path)
        return 0
    if command == "cleanup":
        cleanup(state_path)
        return 0
    if command == "run" and len(sys.argv) == 4 and sys.argv[3] in SCENARIOS:
        return run(state_path, sys.argv[3])
    if command == "backlog":
        # driver.py backlog STATE [N]: how long N held contacts take to reach the logger.
        count = int(sys.argv[3]) if len(sys.argv) > 3 else 10000
        setup(state_path)
        with open(state_path) as f:
            st = Station(json.load(f))
        try:
            # The floor first: the same records sent straight to the same stand-in logger.
            st.start_logger()
            started = time.monotonic()
            st.probe("bare-send", count)
            wait_until(lambda: len(st.records()) >= count, 600, "the bare sender", lambda: len(st.records()))
            floor = time.monotonic() - started
            st.stop("fake_logger")
            st.reset_files()
            st.start_logger()
            st.start_bridge()
            time.sleep(2)
            started = time.monotonic()
            st.write_contacts(backlog(count))
            wait_until(lambda: len(st.records()) >= count and not os.path.exists(st.claim), 600, "the backlog",
                       lambda: len(st.records()))
            took = time.monotonic() - started
            print("backlog: %d contacts in %.1f s; a bare sender %.1f s; ratio %.2f" % (count, took, floor, took / floor))
            return 0
        finally:
            st.stop_all()
            cleanup(state_path)
    if command == "soak":
        # driver.py soak STATE [CONTACTS]: a whole soak in a prefix of its own, set up and ended here.
        os.environ["QSOFERRY_SOAK_CONTACTS"] = sys.argv[3] if len(sys.argv) > 3 else "500"
        setup(state_path)
        try:
            return run(state_path, "soak")
        finally:
            cleanup(state_path)
    print(__doc__)
    return 64


if __name__ == "__main__":
    sys.exit(main())
