"""Scenarios: the Relayed Contacts window, seen and worked from outside as an operator would, with
the mouse and the keyboard, its rows read through the list's own messages and its records through
the clipboard."""
import hashlib
import os
import shutil
import subprocess
import time

from harness import *  # noqa: F401,F403 (the station, waits and expected records)
from scenarios_rigs import rig_folder

ID_FILE_RELAYED, IDC_SEND_AGAIN = 32772, 1013
RELAYED = "Relayed Contacts"


def timed_contact(call, minute):
    return ft4_contact(call) + " <qso_date:8>20261207 <time_on:6>10%02d00 <eor>" % minute


def relayed(st):
    return st.values("relayed")


def keys(st, *names):
    subprocess.run(["xdotool", "key", "--delay", "150"] + list(names), env=st.env, check=True, timeout=30)


def click(st, x, y, twice=False):
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click"] + (["--repeat", "2"] if twice else []) + ["1"],
                   env=st.env, check=True, timeout=30)
    time.sleep(0.3)


def md5(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def scenario_relayed_contacts(st):
    """Five contacts relayed from JTDX's folder and a rig's: File, Relayed Contacts lists them newest
    first with their folders; the two newest, selected with the keyboard, copy to the clipboard as
    their records and, sent again, reach DXbase once more each, byte for byte, oldest first; the
    copies are left as they were, the list shows the two sent on purpose as they go; Esc closes it,
    and a double click on the status line opens it again where it was."""
    rig = rig_folder(st, "JTDX - IC7300")
    own_folder = rig_folder(st, "Qsoferry")  # where logs sent on purpose are kept
    own = [timed_contact("R1AAA", 1), timed_contact("R1CCC", 3), timed_contact("R1EEE", 5)]
    rigs = [timed_contact("R2BBB", 2), timed_contact("R2DDD", 4)]
    try:
        shutil.rmtree(own_folder, ignore_errors=True)
        os.makedirs(rig, exist_ok=True)
        open(os.path.join(rig, "wsjtx_log_bak.adi"), "wb").close()
        exe = "Z:" + os.path.join(BIN, "qsoferry.exe").replace("/", "\\")
        check("menu=&File/&Relayed Contacts... #%d" % ID_FILE_RELAYED in st.probe("resources", exe).splitlines(),
              "the File menu has &Relayed Contacts...")
        st.start_logger()
        st.start_bridge()
        for folder, records in ((st.log_dir, own), (rig, rigs)):
            with open(os.path.join(folder, "wsjtx_log.adi"), "wb") as f:
                f.write(b"WSJT-X ADIF Export<eoh>\r\n" + b"".join(r.encode() + b"\r\n" for r in records))
        wait_until(lambda: len(st.records()) >= 5 and not os.path.exists(os.path.join(rig, "wsjtx_log.adi"))
                   and not os.path.exists(st.log), 60, "five contacts at DXbase", lambda: len(st.records()))
        first = {r["text"].split("#")[0]: r["text"] for r in st.records()}
        copies = [os.path.join(st.log_dir, "wsjtx_log_sent.adi"), os.path.join(rig, "wsjtx_log_sent.adi")]

        # A contact goes into its folder's copy just after DXbase has taken it, and the copy is
        # padded when the folder falls quiet: looked at once it stays the same over two ticks.
        seen = [None]

        def settled():
            now = [md5(c) if os.path.exists(c) else None for c in copies]
            same, seen[0] = now == seen[0] and None not in now, now
            return same
        wait_until(lambda: settled() or time.sleep(2.5), 30, "the copies settled")
        before = [md5(c) for c in copies]

        st.probe("command", ID_FILE_RELAYED)
        st.probe("wait-title", RELAYED, 15000)
        window = wait_until(lambda: (lambda w: w.get("rows") == ["5"] and w)(relayed(st)), 15, "five rows",
                            lambda: relayed(st).get("rows"))
        calls_and_folders = [(r.split("|")[1], r.split("|")[8]) for r in window["row"]]
        check(calls_and_folders == [("R1EEE", "JTDX"), ("R2DDD", "IC7300"), ("R1CCC", "JTDX"), ("R2BBB", "IC7300"),
                                    ("R1AAA", "JTDX")], "the five, newest first, with their folders: %s" % window["row"])
        check(window["row"][0].split("|")[:5] == ["2026-12-07 10:05", "R1EEE", "40m", "FT4", "7047.00"],
              "a row shows date and time (UTC), call, band, mode and frequency: %s" % window["row"][0])
        check(window["line"] == ["5 contacts"], "the line says how many: %s" % window["line"])

        # The keyboard alone: into the list, the first row, and the one below it.
        x, y, w, h = (int(v) for v in window["list"][0].split(","))
        click(st, x + w // 2, y + h - 8)  # below the rows: the list takes the focus, nothing is selected
        keys(st, "Home", "shift+Down")
        check_within(lambda: relayed(st)["selected"] == ["2"], 10, "Home, Shift+Down select two rows")
        keys(st, "ctrl+c")
        clip = wait_until(lambda: "R1EEE" in st.probe("clipboard", ok=False) and st.probe("clipboard"), 10,
                          "the clipboard")
        records = [line for line in clip.replace("\r", "").split("\n") if line.endswith("<eor>")]
        check(records == [rigs[1], own[2]] and "<EOH>" in clip,
              "Ctrl+C puts their records on the clipboard as ADIF, oldest first, as JTDX wrote them: %r" % clip)
        if SHOTS:
            st.save_windows("relayed-contacts.png", [RELAYED])

        st.probe("relayed-command", IDC_SEND_AGAIN)
        asked = wait_until(lambda: (lambda m: "again?" in m and m)(st.probe("message", ok=False)), 15, "the question")
        check("Send these 2 contacts to DXbase again?" in asked, "Send Again asks first: %s" % asked.strip())
        st.probe("message-yes")
        wait_until(lambda: len(st.records()) >= 7, 30, "two more contacts at DXbase", lambda: len(st.records()))
        time.sleep(1.5)
        again = [r["text"] for r in st.records()[5:]]
        check(again == [first["R2DDD"], first["R1EEE"]],
              "the two reach DXbase again once each, byte for byte as the first time, oldest first")
        check([md5(c) for c in copies] == before, "the folders' copies are left as they were")
        check_within(lambda: relayed(st).get("rows") == ["7"], 10, "the open list shows them as they go")
        check(sum(r.split("|")[8] == "Sent on purpose" for r in relayed(st)["row"]) == 2,
              "as sent on purpose, from the copy of their own")

        placed = st.probe("rect", RELAYED).strip()
        keys(st, "Escape")
        st.probe("gone-title", RELAYED, 10000, ok=False)
        check(not st.window_exists(RELAYED), "Esc closes the window")
        status = [int(v) for v in st.info()["statusRect"][0].split(",")]
        click(st, status[0] + 20, status[1] + status[3] // 2, twice=True)
        st.probe("wait-title", RELAYED, 15000)
        check_within(lambda: relayed(st).get("rows") == ["7"], 10, "a double click on the status line opens it",
                     lambda: relayed(st).get("rows"))
        check(st.probe("rect", RELAYED).strip() == placed, "where it was, as large as it was: %s" % placed)
    finally:
        st.stop_all()
        shutil.rmtree(rig, ignore_errors=True)
        shutil.rmtree(own_folder, ignore_errors=True)


def lotw_report(contacts):
    """LoTW's report as it downloads: a header of several lines ended by a lower-case <eoh>, one field
    a line, "// ..." after some values, line feeds only."""
    text = ("ARRL Logbook of the World Status Report\nGenerated at 2026-12-08 09:00:00\nfor k1abc\nQuery:\n"
            "    QSL ONLY: YES\nQSL RX SINCE: 2026-12-01 00:00:00 (user supplied value)\n\n<PROGRAMID:4>LoTW\n\n"
            "<APP_LoTW_LASTQSL:19>2026-12-08 08:00:00\n\n<APP_LoTW_NUMREC:1>%d\n\n<eoh>\n" % len(contacts))
    for call, band, freq, time_on in contacts:
        text += ("\n<APP_LoTW_OWNCALL:5>K1ABC\n<STATION_CALLSIGN:5>K1ABC\n<CALL:%d>%s\n<BAND:%d>%s\n<FREQ:%d>%s\n"
                 "<MODE:3>FT8\n<APP_LoTW_MODEGROUP:4>DATA\n<QSO_DATE:8>20261207\n"
                 "<APP_LoTW_RXQSO:19>2026-12-07 22:00:00 // QSO record inserted/modified at LoTW\n<TIME_ON:6>%s\n"
                 "<APP_LoTW_QSO_TIMESTAMP:20>2026-12-07T%s:%s:00Z // QSO Date & Time; ISO-8601\n<QSL_RCVD:1>Y\n"
                 "<QSLRDATE:8>20261208\n<APP_LoTW_RXQSL:19>2026-12-08 08:00:00 // QSL record matched/modified at LoTW\n"
                 "<eor>\n" % (len(call), call, len(band), band, len(freq), freq, time_on, time_on[:2], time_on[2:4]))
    return text


def scenario_relayed_lotw(st):
    """A LoTW report sent with File, Send a Log to DXbase (one field a line, "// ..." after values):
    Relayed Contacts lists every contact of it, whole, and all of them sent again reach DXbase byte
    for byte as the first time."""
    own_folder = rig_folder(st, "Qsoferry")
    contacts = [("DL1ABC", "20M", "14.07600", "101500"), ("JA1XYZ", "40M", "7.07400", "213000"),
                ("VK2AAA", "15M", "21.07400", "060000")]
    source = os.path.join(st.state["work"], "lotwreport.adi")
    try:
        shutil.rmtree(own_folder, ignore_errors=True)
        with open(source, "wb") as f:
            f.write(lotw_report(contacts).encode())
        st.start_logger()
        st.start_bridge()
        st.probe("command", ID_FILE_SEND_LOG)
        st.probe("open-file", "Send a Log to DXbase", "Z:" + source.replace("/", "\\"))
        asked = wait_until(lambda: (lambda m: "holds 3 contacts" in m and m)(st.probe("message", ok=False)), 15,
                           "the question how many contacts the report holds")
        check("holds 3 contacts" in asked, "the report's three contacts are counted: %s" % asked.strip())
        st.probe("message-yes")
        wait_until(lambda: len(st.records()) >= 3, 30, "the report at DXbase", lambda: len(st.records()))
        first = [r["text"] for r in st.records()]
        check([t.split("#")[0] for t in first] == ["DL1ABC", "JA1XYZ", "VK2AAA"],
              "the report reaches DXbase: %r" % first)

        st.probe("command", ID_FILE_RELAYED)
        st.probe("wait-title", RELAYED, 15000)
        window = wait_until(lambda: (lambda w: w.get("rows") == ["3"] and w)(relayed(st)), 15, "three rows",
                            lambda: relayed(st))
        cells = [r.split("|")[:5] + r.split("|")[8:9] for r in window["row"]]
        check(cells == [["2026-12-07 21:30", "JA1XYZ", "40m", "FT8", "7074.00", "Sent on purpose"],
                        ["2026-12-07 10:15", "DL1ABC", "20m", "FT8", "14076.00", "Sent on purpose"],
                        ["2026-12-07 06:00", "VK2AAA", "15m", "FT8", "21074.00", "Sent on purpose"]],
              "every contact of the report listed whole: %s" % window["row"])
        check(window["line"] == ["3 contacts"], "no line left out: %s" % window["line"])

        x, y, w, h = (int(v) for v in window["list"][0].split(","))
        click(st, x + w // 2, y + h - 8)
        keys(st, "ctrl+a")
        check_within(lambda: relayed(st)["selected"] == ["3"], 10, "Ctrl+A selects the three")
        st.probe("relayed-command", IDC_SEND_AGAIN)
        asked = wait_until(lambda: (lambda m: "again?" in m and m)(st.probe("message", ok=False)), 15, "the question")
        st.probe("message-yes")
        wait_until(lambda: len(st.records()) >= 6, 30, "three more contacts at DXbase", lambda: len(st.records()))
        time.sleep(1.5)
        again = [r["text"] for r in st.records()[3:]]
        check(again == [first[2], first[0], first[1]],
              "sent again, oldest first, each reaches DXbase byte for byte as the first time: %r" % again)
        keys(st, "Escape")
    finally:
        st.stop_all()
        shutil.rmtree(own_folder, ignore_errors=True)
        if os.path.exists(source):
            os.remove(source)


IDC_ONLY_DOUBLES = 1015


def export_contact(call, minute, seconds):
    """A contact as another program exports it: one field a line, the call in lower case, seconds,
    the band given by its frequency alone."""
    return ("<CALL:%d>%s\r\n<QSO_DATE:8>20261207\r\n<TIME_ON:6>10%02d%02d\r\n<FREQ:8>7.047500\r\n<MODE:3>FT4\r\n"
            "<GRIDSQUARE:4>IO91\r\n<RST_SENT:3>+02\r\n<RST_RCVD:3>-05\r\n<EOR>\r\n" % (len(call), call.lower(), minute,
                                                                                  seconds))


def answer(st, question, text):
    """Presses the button of the open question that says `text`."""
    for line in question.splitlines():
        parts = line.split("|", 2)
        if line.startswith("child=Button|") and parts[2] == text:
            st.probe("message-press", parts[1])
            return
    check(False, "a button '%s' in: %s" % (text, question))


def scenario_relayed_doubles(st):
    """Three contacts relayed from JTDX's folder, then another program's export of the same three
    and two more sent with File, Send a Log to DXbase: the question names the numbers, and "Send the
    2 new ones" brings exactly those two to DXbase, once each, byte for byte; Relayed Contacts shows
    no double. The same export sent whole afterwards: the list counts each of the three twice, and
    its check box lists only them."""
    own_folder = rig_folder(st, "Qsoferry")
    sending = os.path.join(own_folder, "Sending", "wsjtx_log.adi")
    source = os.path.join(st.state["work"], "export.adi")
    calls = ["D1AAA", "D1BBB", "D1CCC", "D1DDD", "D1EEE"]
    try:
        shutil.rmtree(own_folder, ignore_errors=True)
        with open(source, "wb") as f:
            f.write(b"Exported by a logger\r\n<ADIF_VER:5>3.1.4\r\n<EOH>\r\n" +
                    b"".join(export_contact(c, i + 1, 30).encode() for i, c in enumerate(calls)))
        st.start_logger()
        st.start_bridge()
        with open(st.log, "wb") as f:
            f.write(b"WSJT-X ADIF Export<eoh>\r\n" +
                    b"".join(timed_contact(c, i + 1).encode() + b"\r\n" for i, c in enumerate(calls[:3])))
        wait_until(lambda: len(st.records()) >= 3 and not os.path.exists(st.log), 60, "three contacts at DXbase",
                   lambda: len(st.records()))

        def send_log(expected_question, text):
            st.probe("command", ID_FILE_SEND_LOG)
            st.probe("open-file", "Send a Log to DXbase", "Z:" + source.replace("/", "\\"))
            asked = wait_until(lambda: (lambda m: "holds 5 contacts" in m and m)(st.probe("message", ok=False)), 15,
                               "the question how many contacts the export holds")
            check(expected_question in asked, "the question names the numbers: %s" % asked)
            answer(st, asked, text)

        def rows(count, doubles_only=False):
            st.probe("command", ID_FILE_RELAYED)
            st.probe("wait-title", RELAYED, 15000)
            if doubles_only:
                st.probe("relayed-click", IDC_ONLY_DOUBLES)
            window = wait_until(lambda: (lambda w: w.get("rows") == [str(count)] and w)(relayed(st)), 15,
                                "%d rows" % count, lambda: relayed(st).get("rows"))
            st.probe("relayed-command", 2)  # Close
            st.probe("gone-title", RELAYED, 15000)
            return sorted((r.split("|")[1], r.split("|")[9]) for r in window.get("row", []))

        send_log("export.adi holds 5 contacts; DXbase already took 3 of them (the last on 2026-12-07). "
                 "Send only the 2 new ones?", "Send the 2 new ones")
        wait_until(lambda: len(st.records()) >= 5 and not os.path.exists(sending), 30, "the new ones at DXbase",
                   lambda: len(st.records()))
        time.sleep(1.5)
        new = [r["text"] for r in st.records()[3:]]
        check(new == [ft4_expected("D1DDD"), ft4_expected("D1EEE")],
              "only the two new ones reach DXbase, once each, byte for byte: %r" % new)
        check(rows(5) == [(c, "") for c in calls], "the list shows five contacts, none of them twice")
        check(rows(0, doubles_only=True) == [], "no contact sent more than once")

        send_log("export.adi holds 5 contacts; DXbase already took all of them (the last on 2026-12-07). "
                 "Send them again?", "Send all 5 again")
        wait_until(lambda: len(st.records()) >= 10 and not os.path.exists(sending), 30, "all five again at DXbase",
                   lambda: len(st.records()))
        again = [r["text"] for r in st.records()[5:]]
        check(again == [ft4_expected(c) for c in calls], "all five again, byte for byte: %r" % again)
        doubles = rows(10, doubles_only=True)
        check(doubles == sorted([(c, "2") for c in calls] * 2), "each contact counted twice: %s" % doubles)
    finally:
        st.stop_all()
        shutil.rmtree(own_folder, ignore_errors=True)
        if os.path.exists(source):
            os.remove(source)
