"""Scenarios: Qsoferry as a screen reader and a keyboard reach it. Names are read from outside
through the accessibility interface, as a screen reader reads them; keys are pressed on the X
display."""
import subprocess
import time

from harness import *  # noqa: F401,F403 (the station, waits and expected records)

IDC_LOGGER_LAMP, IDC_DECODER_LAMP, IDC_BADGE, IDC_STATUS = 1000, 1001, 1003, 1004
IDC_RELAYED_FILTER, IDC_RELAYED_COUNT, ID_FILE_RELAYED = 1010, 1012, 32772


def accessible(st, title, *ids):
    return {key: values[-1] for key, values in st.values("accessible", title, *ids).items()}


def names(st):
    a = accessible(st, "form", IDC_LOGGER_LAMP, IDC_DECODER_LAMP, IDC_STATUS)
    return a["name.%d" % IDC_LOGGER_LAMP], a["name.%d" % IDC_DECODER_LAMP], a["name.%d" % IDC_STATUS]


def wait_names(st, logger, decoder, what):
    seen = []
    check_within(lambda: seen.append(names(st)) or seen[-1][:2] == (logger, decoder), 15, what, lambda: seen[-1])


def keys(st, *k):
    subprocess.run(["xdotool", "key", "--delay", "150"] + list(k), env=st.env, check=True, timeout=30)


def scenario_screen_reader(st):
    """Each lamp's name says its peer and its state, and follows it; the status line's name is its
    line; the check box is named by its words; the badge says nothing."""
    st.start_bridge()
    wait_names(st, "DXbase: not running", "JTDX: not running", "with no peer, both lamps are named not running")
    st.start_logger()
    wait_names(st, "DXbase: running", "JTDX: not running", "DXbase started: its lamp is named running")
    st.start_decoder()
    wait_names(st, "DXbase: running", "JTDX: running", "JTDX started: its lamp is named running")
    st.stop("fake_logger")
    wait_names(st, "DXbase: not running", "JTDX: running", "DXbase ended: its lamp is named not running")
    st.stop("fake_decoder")
    wait_names(st, "DXbase: not running", "JTDX: not running", "JTDX ended: its lamp is named not running")

    st.start_logger()
    st.write_contact(ft4_contact("AC1ESS"))
    st.wait_records(1)
    check_within(lambda: names(st)[2].startswith("Last: AC1ESS ") and names(st)[2] == st.info()["status"][0], 10,
                 "the status line's name is the line as it shows, and follows it")
    form = accessible(st, "form", IDC_NO_FREQ, IDC_BADGE)
    # Wine's oleacc gives every control the client's role; Windows' gives each its own.
    check(form["name.%d" % IDC_NO_FREQ] == "Do not send freq info", "the check box is named by its words: %r" % form)
    check(form["name.%d" % IDC_BADGE] == "", "the badge has no name: %r" % form)

    # The theme's colours changed: the lamps are loaded again, and say the same.
    st.start_decoder()
    wait_names(st, "DXbase: running", "JTDX: running", "both peers running")
    st.probe("syscolorchange")
    st.wait_lamps(GREEN, GREEN, "after a change of the system's colours the lamps show their state")
    check(names(st)[:2] == ("DXbase: running", "JTDX: running"), "and keep their names")

    st.probe("command", ID_FILE_RELAYED)
    st.probe("wait-title", "Relayed Contacts", 10000)
    relayed = accessible(st, "Relayed Contacts", IDC_RELAYED_FILTER, IDC_RELAYED_COUNT, 1013, 1014, 2)
    check(relayed["name.%d" % IDC_RELAYED_FILTER] == "Call:", "the Call box is named by its label: %r" % relayed)
    line = st.values("relayed")["line"][0]
    check(relayed["name.%d" % IDC_RELAYED_COUNT] == line and line, "the count line's name is its line: %r" % line)
    check([relayed["name.%d" % i] for i in (1013, 1014, 2)] == ["Send Again", "Open Folder", "Close"],
          "its buttons are named by their words: %r" % relayed)


def scenario_keyboard(st):
    """Tab walks the form's controls in reading order and the focus shows; the check box ticks with
    its access key; the notification icon's menu opens from the keyboard."""
    st.start_bridge()
    st.focus_bridge()
    focus = st.values("focus")
    controls = [c.split("|") for c in focus["control"]]
    ids = [int(c[0]) for c in controls]
    named = [i for i in ids if i != -1]
    check(named == [IDC_LOGGER_LAMP, IDC_DECODER_LAMP, IDC_STATUS, IDC_NO_FREQ, IDC_BADGE],
          "the form's controls come in reading order: %s" % ids)
    check([i for i, c in zip(ids, controls) if c[1] == "1"] == [IDC_NO_FREQ], "the check box is the form's tab stop")
    keys(st, "Tab")
    check_within(lambda: st.values("focus")["focus"] == ["%d|Button" % IDC_NO_FREQ], 10,
                 "Tab puts the focus on the check box")
    keys(st, "Tab")
    time.sleep(0.5)
    focus = st.values("focus")
    check(focus["focus"] == ["%d|Button" % IDC_NO_FREQ] and focus["focusShown"] == ["1"],
          "and keeps it there, with its focus rectangle shown: %r" % focus)
    check(st.info()["noFreq"] == ["0"], "Tab ticks nothing")
    keys(st, "alt+d")
    check_within(lambda: st.info()["noFreq"] == ["1"], 10, "Alt+D ticks the check box")
    keys(st, "alt+d")
    check_within(lambda: st.info()["noFreq"] == ["0"], 10, "and clears it again")

    st.probe("command", ID_FILE_RELAYED)
    st.probe("wait-title", "Relayed Contacts", 10000)
    time.sleep(0.5)
    keys(st, "alt+l")
    check_within(lambda: not st.window_exists("Relayed Contacts"), 10, "Alt+L closes Relayed Contacts")

    for event, how in ((1025, "a key select (Enter on the icon)"), (123, "the menu key on the icon")):
        st.probe("tray-event", event)
        check_within(lambda: st.values("tray")["menusOpen"] == ["1"], 10, "%s opens the icon's menu" % how)
        keys(st, "Escape")
        check_within(lambda: st.values("tray")["menusOpen"] == ["0"], 10, "which Esc closes")
