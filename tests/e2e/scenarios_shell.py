"""Scenarios: the window, its lamps, menus, keys and command line."""
import os
import subprocess
import time

from harness import *  # noqa: F401,F403 (the station, waits and expected records)

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
          ["menu=&File", "menu=&File/&Send a Log to DXbase... #32771", "menu=&File/&Relayed Contacts... #32772",
           "menu=&File/ #0", "menu=&File/E&xit #57665", "menu=&Help", "menu=&Help/&About Qsoferry ver 1.00 #57664"],
          "menu: File with Send a Log to DXbase..., Relayed Contacts... and Exit, Help with the about item")
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


def scenario_menu_during_a_read(st):
    """The menu bar pressed while the bridge reads a long log: the menu opens once the reading is
    done, not inside it, so the ticks go on while it is open: the contact arrives, and the lamps
    follow the peers."""
    st.start_bridge()
    x, y, _, _ = (int(v) for v in st.info()["form"][0].split(","))
    with open(st.log, "wb") as f:
        # Blank lines, each with its drain: a few seconds' reading under Wine.
        f.write(b"WSJT-X ADIF Export<eoh>\r\n" + b"\r\n" * 100000 + ft4_contact("M1ENU").encode() + b" <eor>\r\n")
    st.start_logger()
    wait_until(lambda: os.path.exists(st.claim), 10, "the bridge to take the log")
    # "Help", on the menu bar just above the form: its one item drops down above the lamps (File's
    # three would cover the logger's lamp).
    subprocess.run(["xdotool", "mousemove", str(x + 42), str(y - 10), "click", "1"], env=st.env, check=True,
                   timeout=30)
    # A drain a line: some 20 s under Wine, more for the 32-bit build on a busy machine.
    check_within(lambda: len(st.records()) == 1, 90, "the reading goes on to its contact")
    st.start_decoder()
    st.wait_lamps(GREEN, GREEN, "with the menu open, the lamps follow the peers")
    subprocess.run(["xdotool", "key", "Escape", "Escape"], env=st.env, check=True, timeout=30)
    check(st.calls_at_logger() == ["M1ENU"], "the contact arrived once")


def scenario_started_twice(st):
    """Qsoferry started while it runs (as from the Start menu beside the one started with Windows):
    the running window comes to the front, restored if it was minimised, and no second one stays;
    likewise with a file on the command line."""
    first = st.start_bridge()
    st.start_logger()  # another window in front
    document = os.path.join(st.state["work"], "any.adi")
    open(document, "w").close()
    for how, args in (("again", ()), ("again, minimised first", ()),
                      ("again with a file", ("Z:" + document.replace("/", "\\"),))):
        if "minimised" in how:
            st.probe("minimize")
            wait_until(lambda: "iconic=1" in st.probe("window-state"), 10, "the window minimised")
        second = st.start("qsoferry", *args, key="second")
        check_within(lambda: second.poll() == 0, 30, "started %s: it ends by itself at once" % how)
        state = st.probe("window-state")
        check("foreground=1" in state and "iconic=0" in state,
              "started %s: the running window is in front, not minimised (%s)" % (how, state.split()))
        check(st.probe("count-frames").strip() == "frames=1" and first.poll() is None, "one Qsoferry runs")
    check(st.info()["caption"] == [CAPTION], "the running one's caption is unchanged")
    # Two more at the same moment, as the Run key and a Startup shortcut at logon, with none
    # running: one of them stays, the other brings it to the front and ends.
    st.stop(first_key(st, first))
    st.probe("gone-title", CAPTION, 10000, ok=False)
    pair = [st.start("qsoferry", key="together%d" % i) for i in (1, 2)]
    check_within(lambda: sum(p.poll() == 0 for p in pair) == 1, 30, "started together: one of them ends by itself")
    check(st.probe("count-frames").strip() == "frames=1" and any(p.poll() is None for p in pair),
          "started together: one Qsoferry runs")


def first_key(st, proc):
    return next(key for key, p in st.procs.items() if p is proc)


def scenario_lamps_at_200_percent(st):
    """At 200% display scaling (192 DPI) the lamps and the badge are drawn twice as large, in the
    same colours."""
    sizes = {}
    try:
        for dpi in (96, 192):
            wine_output(st.env, ["reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                                 "/d", str(dpi), "/f"])
            st.start_logger()
            st.start_bridge()  # in front of the logger's window, which would cover the larger form
            info = st.info()
            sizes[dpi] = [tuple(int(v) for v in info[name][0].split(",")[2:]) for name in ("loggerLamp", "badge")]
            st.wait_lamps(GREEN, GREY, "at %d DPI the lamps' middles are green and grey" % dpi)
            # The status line with the longest call it shows whole, and the rest of a long line.
            st.write_contact(ft4_contact("VK9ABCDEFGH/QRP") + " <comment:5>tnx 73")
            check_within(lambda: st.info()["status"][0].startswith("Last: VK9ABCD... 40m FT4 "), 10,
                         "at %d DPI the status line names the contact" % dpi)
            after = st.info()
            check(after["statusFits"] == ["1"], "at %d DPI the status line fits the form: %r" % (dpi, after["status"]))
            check(after["frame"][0].split(",")[2:] == info["frame"][0].split(",")[2:],
                  "at %d DPI the window keeps its size" % dpi)
            st.stop_all()
            st.probe("gone-title", CAPTION, 10000, ok=False)
    finally:
        wine_output(st.env, ["reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                             "/d", "96", "/f"])
    check(sizes[96] == [(17, 17), (33, 21)], "at 96 DPI the lamp is 17 pixels and the badge 33: %s" % sizes[96])
    check(sizes[192] == [(34, 34), (66, 42)], "at 192 DPI they are twice as large: %s" % sizes[192])
