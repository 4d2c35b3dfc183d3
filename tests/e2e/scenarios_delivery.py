"""Scenarios: contacts from the decoder's log to the logger, and where the log is found."""
import hashlib
import os
import re
import subprocess
import time
import shutil

from harness import *  # noqa: F401,F403 (the station, waits and expected records)

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


def copy_lines(st):
    copy = os.path.join(st.log_dir, "wsjtx_log_sent.adi")
    if not os.path.exists(copy):
        return []
    with open(copy, "rb") as f:
        return f.read().decode("latin-1").split("\r\n")


def scenario_sent_copy(st):
    """Three contacts relayed: the copy beside the log holds each as the decoder wrote it, once and in
    order, and the line under the lamps tells what waits and then names the last contact."""
    st.start_bridge()
    check_within(lambda: st.info()["status"] == ["No contact relayed yet"], 5, "the status line: nothing relayed yet")
    calls = ("G4AAA", "G4BBB", "G4CCC")
    st.write_contact(ft4_contact(calls[0]))
    st.write_contact(ft4_contact(calls[1]))
    check_within(lambda: st.info()["status"] == ["2 contacts wait for DXbase to start"], 5,
                 "the status line: two contacts wait while DXbase is closed")
    st.start_logger()
    st.wait_records(2)
    st.write_contact(ft4_contact(calls[2]))
    st.wait_records(3)
    time.sleep(1.5)
    check(st.calls_at_logger() == list(calls), "three contacts reach the logger once each")
    lines = copy_lines(st)
    check(lines[:4] == ["Qsoferry: contacts handed to DXbase", "<ADIF_VER:5>3.1.4", "<PROGRAMID:8>Qsoferry", "<EOH>"],
          "the copy begins with its ADIF header: %r" % lines[:4])
    records = [line for line in lines if line.startswith("<")][3:]
    check(records == [ft4_contact(c) + " <eor>" for c in calls],
          "the copy holds each contact's record byte for byte, once, in order: %r" % records)
    status = st.info()["status"][0]
    check_within(lambda: re.fullmatch(r"Last: G4CCC 40m FT4 \d\d:\d\d, 3 today", st.info()["status"][0]), 5,
                 "the status line names the last contact: %r" % status)
    rect = [int(v) for v in st.info()["statusRect"][0].split(",")]
    form = [int(v) for v in st.info()["form"][0].split(",")]
    check(rect[0] + rect[2] <= form[0] + form[2] and rect[1] + rect[3] <= form[1] + form[3],
          "the status line lies within the form")
    st.save_window("main-status.png", st.info()["frame"][0])


def scenario_send_log(st):
    """File, Send a Log to DXbase, through the menu and the Open dialog: a 50-contact file goes to
    DXbase once, in order; the file is left as it was; it is not added to the copy."""
    exe = "Z:" + os.path.join(BIN, "qsoferry.exe").replace("/", "\\")
    menu = [r for r in st.probe("resources", exe).splitlines() if r.startswith("menu=&File/")]
    check(menu[0] == "menu=&File/&Send a Log to DXbase... #%d" % ID_FILE_SEND_LOG,
          "the File menu begins with Send a Log to DXbase...: %r" % menu)
    source = os.path.join(st.state["work"], "export.adi")
    calls = ["S%d" % (1000 + i) for i in range(50)]
    with open(source, "wb") as f:
        f.write(b"ADIF export of another program\r\n<adif_ver:5>3.1.4\r\n<eoh>\r\n")
        f.write(b"".join(ft4_contact(c).encode() + b" <eor>\r\n" for c in calls))
    with open(source, "rb") as f:
        before = hashlib.md5(f.read()).hexdigest()
    copied_before = copy_lines(st)
    st.start_logger()
    st.start_bridge()
    st.probe("command", ID_FILE_SEND_LOG)
    st.probe("open-file", "Send a Log to DXbase", "Z:" + source.replace("/", "\\"))
    def question():
        out = st.probe("message", ok=False)
        return "holds 50 contacts" in out and out
    asked = wait_until(question, 15, "the question how many contacts the file holds")
    check("holds 50 contacts" in asked, "the bridge says how many contacts the file holds before it sends")
    st.probe("message-yes")
    check_delivered(st, calls, 0, "the 50 contacts of the file reach DXbase once, in order")
    with open(source, "rb") as f:
        check(hashlib.md5(f.read()).hexdigest() == before, "the file sent is unchanged (md5 before and after)")
    check(copy_lines(st) == copied_before, "a log sent on purpose is not added to the copy again")
