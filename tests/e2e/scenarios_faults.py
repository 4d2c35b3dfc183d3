"""Scenarios: what interrupts delivery: a logger that leaves or hangs, a killed bridge, a log-off, a
second bridge, and the soak that does all of them at random."""
import os
import subprocess
import time

from harness import *  # noqa: F401,F403 (the station, waits and expected records)

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
    st.start_logger()
    with lock_held(st, lock_name(log, "cp1252"), 9000) as holder:
        st.start_bridge()
        st.write_contact(ft4_contact("ADM1"))
        time.sleep(4)
        check(st.records() == [] and holder.poll() is None, "beside a lock it may not open, the bridge delivers nothing")
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
    """Two bridges run while the decoder logs (the second started while the first could not answer):
    each contact arrives once; when the one delivering ends, the other takes over."""
    st.start_logger()
    st.start_bridge(key="first")
    time.sleep(1.5)  # the first one has the delivery lock
    # One that cannot be reached (here: its window's thread stopped, as if hung) is not brought to
    # the front: a second one starts.
    st.probe("suspend")
    try:
        st.start("qsoferry", key="second")
        wait_until(lambda: st.probe("count-frames").strip() == "frames=2", 20, "two bridges")
    finally:
        st.probe("resume")
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
