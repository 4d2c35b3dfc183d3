"""Scenarios: every JTDX on the station. A JTDX started with a rig name writes its log to
"JTDX - <rig>" beside JTDX's own folder, and titles its Wide Graph "JTDX - <rig> - Wide Graph"; in
another interface language the last words are translated."""
import os
import shutil
import time

from harness import *  # noqa: F401,F403 (the station, waits and expected records)


def rig_folder(st, name):
    return os.path.join(st.state["prefix"], "drive_c", "users", st.state["user"], "AppData", "Local", name)


def start_stand_in_jtdx(st, title, key):
    st.start("fake_decoder", title, key=key)


def scenario_rig_folders(st):
    """Two JTDX started with rig names: the Prgm lamp is green for their Wide Graphs alone; their
    contacts, written into both folders in turns, all arrive once, each folder's in its order; a rig
    folder that appears with a log in it has its history set aside, and the operator is told."""
    st.env["LC_ALL"] = "en_US.UTF-8"  # the stand-in's title goes through the command line
    rigs = {"A": "JTDX - IC7300", "B": "JTDX - FT991"}
    folders = {key: rig_folder(st, name) for key, name in rigs.items()}
    later = rig_folder(st, "JTDX - IC705")
    try:
        for folder in folders.values():
            os.makedirs(folder, exist_ok=True)
        st.start_logger()
        st.start_bridge()
        for key, name in rigs.items():
            start_stand_in_jtdx(st, name + " - Wide Graph", "jtdx" + key)
        st.wait_lamps(GREEN, GREEN, "the Prgm lamp is green for two JTDX Wide Graphs with rig names")
        check_within(lambda: all(os.path.exists(os.path.join(f, "wsjtx_log_bak.adi")) for f in folders.values()), 10,
                     "each rig folder gets its (empty) start-up backup")

        # The decoders log in turns, each appending to its own log.
        for i in range(12):
            for key, folder in folders.items():
                log = os.path.join(folder, "wsjtx_log.adi")
                with open(log, "ab") as f:
                    if f.tell() == 0:
                        f.write(b"WSJT-X ADIF Export<eoh>\r\n")
                    f.write(ft4_contact("%s%d" % (key, i)).encode() + b" <eor>\r\n")
            time.sleep(0.15)
        wait_until(lambda: len(st.records()) >= 24 and not any(
            os.path.exists(os.path.join(f, "wsjtx_log.adi")) for f in folders.values()), 60, "both folders delivered",
                   lambda: len(st.records()))
        time.sleep(1.5)
        calls = st.calls_at_logger()
        for key in folders:
            mine = [c for c in calls if c.startswith(key)]
            check(mine == ["%s%d" % (key, i) for i in range(12)], "folder %s: every contact once, in order" % rigs[key])
        check(len(calls) == 24, "nothing else arrived: %s" % calls)

        # A JTDX started with a new rig name, whose folder holds a log already: that is history.
        os.makedirs(later)
        with open(os.path.join(later, "wsjtx_log.adi"), "wb") as f:
            f.write(b"WSJT-X ADIF Export<eoh>\r\n" + b"".join(
                ft4_contact("OLD%d" % i).encode() + b" <eor>\r\n" for i in range(2)))
        wait_until(lambda: "messageBoxes=1" in st.probe("message", ok=False), 15, "the message box")
        box = st.probe("message")
        check("2 contacts logged before Qsoferry first saw" in box and "JTDX - IC705" in box,
              "a rig folder seen first with a log: the operator is told 2 contacts were set aside, and where")
        st.probe("message-ok")
        check(os.path.exists(os.path.join(later, "wsjtx_log_bak.adi")) and
              not os.path.exists(os.path.join(later, "wsjtx_log.adi")), "they are in its backup")
        time.sleep(2)
        check(not any(c.startswith("OLD") for c in st.calls_at_logger()), "and never reach the logger")
    finally:
        st.stop_all()
        for folder in list(folders.values()) + [later]:
            shutil.rmtree(folder, ignore_errors=True)
        del st.env["LC_ALL"]


def scenario_wide_graph_translated(st):
    """JTDX in another interface language: a Wide Graph titled in Japanese, and one with a rig name
    titled in Hungarian, each makes the Prgm lamp green."""
    st.env["LC_ALL"] = "en_US.UTF-8"
    try:
        st.start_bridge()
        st.wait_lamps(GREY, GREY)
        for i, title in enumerate(("JTDX - ワイドグラフ", "JTDX - IC7300 - Széles sávú grafikon")):
            start_stand_in_jtdx(st, title, "jtdx%d" % i)
            st.wait_lamps(GREY, GREEN, "the Prgm lamp is green for \"%s\"" % title)
            st.stop("jtdx%d" % i)
            st.wait_lamps(GREY, GREY)
    finally:
        st.stop_all()
        del st.env["LC_ALL"]


def scenario_close_in_backlogs(st):
    """JTDX's own folder and a rig folder each hold a backlog; the operator closes Qsoferry three
    times in the middle of delivering them, to a logger that answers at once, and starts it again:
    every contact arrives, each folder's in its order, and at most the one in flight at each close
    arrives twice."""
    rig = rig_folder(st, "JTDX - IC7300")
    rig_log = os.path.join(rig, "wsjtx_log.adi")
    own, other = backlog(2000, 10000), backlog(2000, 20000)
    try:
        os.makedirs(rig, exist_ok=True)
        for folder in (st.log_dir, rig):  # both seen before: their logs are no history
            open(os.path.join(folder, "wsjtx_log_bak.adi"), "wb").close()
        st.write_contacts(own)
        with open(rig_log, "wb") as f:
            f.write(b"WSJT-X ADIF Export<eoh>\r\n" + b"".join(ft4_contact(c).encode() + b" <eor>\r\n" for c in other))
        st.start_logger()
        for close, after in enumerate((400, 1400, 2400)):
            bridge = st.start_bridge()
            wait_until(lambda: len(st.records()) >= after, 60, "%d contacts at the logger" % after,
                       lambda: len(st.records()))
            st.probe("post-close")
            bridge.wait(timeout=15)
            check(len(st.records()) < len(own) + len(other),
                  "close %d came in the middle of the backlogs (%d arrived)" % (close + 1, len(st.records())))
        st.start_bridge()
        wait_until(lambda: not any(os.path.exists(p) for p in (st.log, st.claim, rig_log, rig_log + ".qsoferry")), 60,
                   "both backlogs delivered", lambda: len(st.records()))
        time.sleep(1.5)
        calls = st.calls_at_logger()
        repeats = 0
        for name, expected in (("JTDX", own), ("JTDX - IC7300", other)):
            mine = [c for c in calls if c in set(expected)]
            ok, n = once_in_order(mine, expected, 3)
            check(ok, "%s: every contact arrived, in order (%d twice)" % (name, n))
            repeats += n
        check(repeats <= 3, "three closes: at most three contacts twice, %d" % repeats)
    finally:
        st.stop_all()
        shutil.rmtree(rig, ignore_errors=True)


def scenario_first_start_without_jtdx(st):
    """Qsoferry starts (with Windows) before JTDX ever ran: no JTDX folder. Once JTDX makes its folder,
    Qsoferry leaves its empty backup there, so that contacts JTDX then logs while DXbase is closed
    reach DXbase after a restart, rather than being set aside as history."""
    local = rig_folder(st, "JTDX")
    log = os.path.join(local, "wsjtx_log.adi")
    shutil.rmtree(st.log_dir)
    try:
        st.start_bridge()
        time.sleep(2.5)
        check(not os.path.exists(local), "no JTDX folder yet, and none made")
        os.makedirs(local)  # JTDX's first start
        check_within(lambda: os.path.exists(os.path.join(local, "wsjtx_log_bak.adi")), 5,
                     "the first tick that finds JTDX's folder leaves its empty backup")
        with open(log, "wb") as f:
            f.write(b"WSJT-X ADIF Export<eoh>\r\n" + b"".join(
                ft4_contact(c).encode() + b" <eor>\r\n" for c in ("F1AAA", "F1BBB", "F1CCC")))
        time.sleep(2)
        check(os.path.exists(log) and st.records() == [], "DXbase is closed: the contacts wait")
        st.stop("qsoferry")  # a reboot
        st.start_logger()
        st.start_bridge()
        st.wait_records(3)
        time.sleep(1.5)
        check(st.calls_at_logger() == ["F1AAA", "F1BBB", "F1CCC"], "after the restart all three arrive, once each")
        check(not os.path.exists(log) and os.path.getsize(os.path.join(local, "wsjtx_log_bak.adi")) == 0,
              "the log is relayed and the backup stays empty")
    finally:
        st.stop_all()
        shutil.rmtree(local, ignore_errors=True)
        os.makedirs(st.log_dir, exist_ok=True)
