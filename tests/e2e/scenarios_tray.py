"""Scenarios: Qsoferry in the notification area of Wine's virtual desktop, whose taskbar ends in it.
The icon is looked at on the screen (its colours tell its look), its tooltip as Wine's shell shows
it, its clicks made with the mouse, and its menu's commands posted to the frame as the menu posts
them."""
import contextlib
import os
import shutil
import subprocess
import time

from harness import *  # noqa: F401,F403 (the station, waits and expected records)

ID_TRAY_SHOW, ID_TRAY_MINIMIZE = 32773, 32774
# The looks' body colours, as the icon is drawn.
LOOKS = {"all well": (41, 161, 61), "waiting": (245, 168, 31), "problem": (219, 43, 33), "DXbase closed": (128, 128, 128)}


def tray(st):
    return {key: values[-1] for key, values in st.values("tray").items()}


def icon_box(st):
    """Where Wine's shell draws the first icon of the notification area: at the right end of its
    taskbar, the small icon size with a border of two pixels, in the middle of its height."""
    t = tray(st)
    x, y, w, h = (int(v) for v in t["taskbar"].split(","))
    size = int(t["iconSize"]) + 4
    return x + w - size, y + (h - size) // 2, size


def look(st):
    """The look whose colour covers most of the icon's box; None when none is there."""
    x, y, size = icon_box(st)
    shot = os.path.join(st.state["work"], "tray.png")
    st.screenshot(shot)
    out = subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (size, size, x, y), "+repage", "-depth", "8",
                          "txt:-"], capture_output=True, text=True, check=True, timeout=30).stdout
    counts = dict.fromkeys(LOOKS, 0)
    for line in out.splitlines()[1:]:
        rgb = line.split("(")[1].split(")")[0].split(",")[:3]
        r, g, b = (int(float(v)) for v in rgb)
        for name, (lr, lg, lb) in LOOKS.items():
            if abs(r - lr) + abs(g - lg) + abs(b - lb) < 40:
                counts[name] += 1
    best = max(counts, key=counts.get)
    return best if counts[best] >= size else None


def wait_look(st, expected, what, timeout=15):
    seen = []
    check_within(lambda: seen.append(look(st)) or seen[-1] == expected, timeout, what, lambda: seen[-1])
    if SHOTS and expected:
        # The notification area as it looks, three times as large, for the README.
        x, y, size = icon_box(st)
        shot = os.path.join(st.state["work"], "tray.png")
        st.screenshot(shot)
        os.makedirs(SHOTS, exist_ok=True)
        subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (size + 4, size, x - 4, y), "+repage",
                        "-scale", "300%", "-strip", os.path.join(SHOTS, "tray-%s.png" % expected.replace(" ", "-"))],
                       check=True, timeout=30)


def mouse(st, *args):
    subprocess.run(["xdotool"] + [str(a) for a in args], env=st.env, check=True, timeout=30)


def check_tip(st, what):
    """The icon's tooltip, among the tools of Wine's shell's tooltips, reads as the status line does.
    Where the shell is of the other bitness than the probe (the 32-bit build's), its memory cannot be
    read: said, and left out."""
    tools = st.probe("tray-tips")
    if "toolsUnreadable=1" in tools:
        print("note: the shell's tooltips are of the other bitness: %s is not checked" % what, flush=True)
        return
    seen = []
    check_within(lambda: seen.append((st.info()["status"][0], st.probe("tray-tips"))) or
                 ("tool=" + seen[-1][0]) in seen[-1][1].splitlines(), 10, what, lambda: seen[-1])


def scenario_tray(st):
    """Started with the switch: no window, an icon; the icon's look follows DXbase starting and
    stopping, contacts waiting and a lasting problem (told in a notification too), its tooltip is
    the status line; it comes back when Explorer starts again, and where Explorer took its add late
    (the add then refused) it takes its looks all the same; a right click opens its menu; a left
    click and a second start bring the window out; minimised with the choice on, it leaves the
    taskbar; Exit from the icon's menu ends Qsoferry with nothing repeated, and the icon goes."""
    exe = "Z:" + os.path.join(BIN, "qsoferry.exe").replace("/", "\\")
    menu = [r for r in st.probe("resources", exe).splitlines() if r.startswith("trayMenu=")]
    check(menu == ["trayMenu=Qsoferry", "trayMenu=Qsoferry/&Show Qsoferry #%d" % ID_TRAY_SHOW,
                   "trayMenu=Qsoferry/&Relayed Contacts... #32772", "trayMenu=Qsoferry/ #0",
                   "trayMenu=Qsoferry/&Minimize to Notification Area #%d" % ID_TRAY_MINIMIZE,
                   "trayMenu=Qsoferry/ #0", "trayMenu=Qsoferry/E&xit #%d" % ID_APP_EXIT],
          "the icon's menu: Show Qsoferry, Relayed Contacts..., the choice, Exit: %s" % menu)
    copy = os.path.join(st.log_dir, "wsjtx_log_sent.adi")
    try:
        bridge = st.start("qsoferry", "/minimized")
        st.probe("wait-class", "QsoferryFrame", 15000)
        time.sleep(1.5)
        t = tray(st)
        check(t["frameVisible"] == "0" and t.get("taskbarButton", "0") == "0",
              "started with /minimized, no window shows, on the taskbar or off it")
        wait_look(st, "DXbase closed", "an icon in the notification area: DXbase is not running")
        st.start_logger()
        wait_look(st, "all well", "DXbase started: all is well")
        check_tip(st, "its tooltip is the status line")

        st.stop("fake_logger")
        wait_look(st, "DXbase closed", "DXbase stopped: the icon says so")
        st.write_contacts(["T1", "T2", "T3"])
        wait_look(st, "waiting", "contacts waiting for DXbase")
        st.start_logger()
        wait_look(st, "all well", "DXbase back: they go, and all is well")
        st.wait_records(3)
        check_tip(st, "the tooltip names the last contact, as the status line does")

        # A lasting problem: the copy cannot be written (a folder stands where it should be).
        os.remove(copy)
        os.makedirs(copy)
        st.write_contacts(["T4"])
        wait_look(st, "problem", "a lasting problem: the icon says so")
        check_tip(st, "the tooltip says what the status line says")
        if "toolsUnreadable=1" not in st.probe("tray-tips"):
            check_within(lambda: sum(line.startswith("tool=Cannot use wsjtx_log_sent.adi")
                                     for line in st.probe("tray-tips").splitlines()) == 2, 10,
                         "and a notification says it, in the status line's words")
        wait_until(lambda: "messageBoxes=1" in st.probe("message", ok=False), 15, "the message box")
        st.probe("message-ok")
        shutil.rmtree(copy)
        wait_look(st, "all well", "the problem gone, so is its look", timeout=30)
        st.wait_records(4)

        st.probe("tray-forget")
        wait_look(st, None, "the notification area emptied, as when Explorer ends")
        st.probe("taskbar-created")
        wait_look(st, "all well", "Explorer says it has started again (TaskbarCreated): the icon is back")
        # An add that timed out while Explorer was busy starting (at logon), which Explorer carried out
        # later: the icon is there in its first look, and the bridge's add is refused.
        st.probe("tray-forget")
        wait_look(st, None, "the notification area emptied again")
        st.probe("tray-add-late")
        wait_look(st, None, "an icon of the bridge's in none of its looks")
        st.probe("taskbar-created")
        wait_look(st, "all well", "the icon that is there already takes the bridge's look")
        st.stop("fake_logger")
        wait_look(st, "DXbase closed", "and each look after it")
        st.start_logger()
        wait_look(st, "all well", "DXbase back")

        x, y, size = icon_box(st)
        mouse(st, "mousemove", x + size // 2, y + size // 2, "click", 3)
        check_within(lambda: tray(st)["menusOpen"] == "1", 10, "a right click on the icon opens its menu")
        mouse(st, "mousemove", 200, 300, "click", 1)
        check_within(lambda: tray(st)["menusOpen"] == "0", 10, "which a click elsewhere closes")
        mouse(st, "mousemove", x + size // 2, y + size // 2, "click", 1)
        check_within(lambda: tray(st)["frameVisible"] == "1", 10, "a left click on the icon brings the window out")
        st.probe("command", ID_TRAY_MINIMIZE)
        st.probe("minimize")
        check_within(lambda: tray(st)["frameVisible"] == "0" and tray(st).get("taskbarButton", "0") == "0", 10,
                     "minimised with the choice on, it leaves the taskbar")
        check("1" in reg_query(st, "HKCU\\Software\\Local AppWizard-Generated Applications\\Qsoferry ver 1.00\\Settings",
                               "MinimizeToTray")[1], "the choice is remembered")
        second = st.start("qsoferry", key="second")
        check_within(lambda: second.poll() is not None and tray(st)["frameVisible"] == "1", 15,
                     "a second start brings the window out of the notification area, and ends")
        st.probe("command", ID_TRAY_MINIMIZE)  # the choice off again, for the next scenarios

        delivered = len(st.records())
        st.probe("command", ID_APP_EXIT)
        check_within(lambda: bridge.poll() is not None, 15, "Exit from the icon's menu ends Qsoferry")
        wait_look(st, None, "and its icon goes")
        time.sleep(1)
        check(len(st.records()) == delivered, "nothing was sent again")
    finally:
        st.stop_all()
        if os.path.isdir(copy):
            shutil.rmtree(copy)


# Closing with DXbase hung over a contact took this long before the icon came, under Wine without a
# window manager (2.8 to 3.1 s measured): half a second's wait for DXbase, two seconds for hiding the
# window (an answer that never comes), and the probe's start. Removing the icon waits two seconds
# more there (4.8 s when it held the window's thread); it must pass beside the others. The margin is
# for a busy machine of two cores.
CLOSE_BEFORE_THE_ICON, CLOSE_MARGIN = 2.9, 1.0


@contextlib.contextmanager
def without_window_manager(st):
    """Wine on the bare X display, without its virtual desktop, which does a window manager's part;
    its notification area is then a window of its own. The desktop is chosen when Wine starts."""
    def restart_wine(desktop):
        args = ["reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f"] if desktop else \
            ["reg", "delete", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/f"]
        wine_output(st.env, args)
        subprocess.run([WINESERVER, "-k"], env=st.env, timeout=60, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        restart_wine(False)
        yield
    finally:
        try:
            st.stop_all()
        finally:
            restart_wine(True)


def scenario_tray_close_hung_logger(st):
    """DXbase hangs over a contact, under Wine without a window manager: closing the bridge takes no
    longer than before the icon came, as Explorer's time over removing the icon passes beside the
    other waits."""
    with without_window_manager(st):
        st.start_logger("--delay", "30000")
        bridge = st.start_bridge()
        st.write_contacts(["H1", "H2"])
        check_within(lambda: st.info()["status"][0] == "2 contacts wait for DXbase", 20,
                     "DXbase busy with the first contact: the status line (and the icon) say that contacts wait",
                     lambda: st.info()["status"])
        check(st.records() == [], "DXbase is still busy with the first contact")
        started = time.monotonic()
        st.probe("post-close")
        bridge.wait(timeout=15)
        took = time.monotonic() - started
        check(took < CLOSE_BEFORE_THE_ICON + CLOSE_MARGIN,
              "a posted WM_CLOSE ends the bridge as soon as before the icon came (%.1f s)" % took)
