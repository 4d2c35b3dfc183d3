"""Scenarios: profiles named in any script, on Western and Japanese systems.

Wine takes the system's code page from the locale (LC_ALL): en_US.UTF-8 gives 1252, ja_JP.UTF-8
gives 932. A profile is set up as Windows has it: local application data under
C:\\users\\<name>\\AppData\\Local (the registry's User Shell Folders say so), and no derived
Documents and Settings folder, so that the bridge finds the log where the system says."""
import contextlib
import os
import shutil
import subprocess
import tempfile
import time

from harness import *  # noqa: F401,F403 (the station, waits and expected records)

SHELL_FOLDERS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
WESTERN, JAPANESE = ("en_US.UTF-8", "1252", "cp1252"), ("ja_JP.UTF-8", "932", "cp932")


@contextlib.contextmanager
def profile(st, name, system):
    """The station as it is for a user whose profile folder is `name`, on a system of this locale.
    Yields the log's Windows path and its Unix one."""
    locale, code_page, _ = system
    st.env["LC_ALL"] = locale
    prefix_c = os.path.join(st.state["prefix"], "drive_c")
    documents = os.path.join(prefix_c, "Documents and Settings")
    home = os.path.join(prefix_c, "users", name)
    local = "C:\\users\\%s\\AppData\\Local" % name
    _, before = reg_query(st, SHELL_FOLDERS, "Local AppData")
    before = before.split("REG_EXPAND_SZ", 1)[1].strip() if "REG_EXPAND_SZ" in before else "%USERPROFILE%\\AppData\\Local"
    os.rename(documents, documents + ".aside")
    os.makedirs(os.path.join(home, "AppData", "Local", "JTDX"))
    try:
        check(st.probe("acp").strip() == code_page, "the system's code page is %s (%s)" % (code_page, locale))
        wine_output(st.env, ["reg", "add", SHELL_FOLDERS, "/v", "Local AppData", "/t", "REG_EXPAND_SZ", "/d", local, "/f"])
        yield local + "\\JTDX\\wsjtx_log.adi", os.path.join(home, "AppData", "Local", "JTDX", "wsjtx_log.adi")
    finally:
        st.stop_all()
        wine_output(st.env, ["reg", "add", SHELL_FOLDERS, "/v", "Local AppData", "/t", "REG_EXPAND_SZ", "/d", before,
                             "/f"])
        shutil.rmtree(home, ignore_errors=True)
        os.rename(documents + ".aside", documents)
        del st.env["LC_ALL"]


def log_contact(path, call, name):
    """A contact whose name is the profile's, in the log's own bytes (UTF-8, as JTDX writes it)."""
    name_bytes = name.encode("utf-8")
    with open(path, "ab") as f:
        if f.tell() == 0:
            f.write(b"WSJT-X ADIF Export<eoh>\r\n")
        f.write(ft4_contact(call).encode() + b" <name:%d>" % len(name_bytes) + name_bytes + b" <eor>\r\n")
    return expected_record(call, "-05", "+02", "7047.00", name_bytes.decode("latin-1"), "FT4", "IO91", "", "")


def preview(st, *args):
    """Runs the preview tool; its exit code, output and error output, each to a file."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run([WINE, os.path.join(BIN, "qsoferry-preview.exe")] + list(args), env=st.env,
                              stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=60).returncode
        out.seek(0)
        err.seek(0)
        return code, out.read(), err.read()


def relays_in_profile(st, name, system, call):
    """The bridge finds the log under this profile and relays its contact, byte for byte."""
    with profile(st, name, system) as (log, unix_log):
        st.start_logger()
        st.start_bridge()
        expected = log_contact(unix_log, call, name)
        st.wait_records(1, timeout=15)
        check(st.records()[-1]["text"] == expected, "profile %s: the contact arrives byte for byte" % name)
        wait_until(lambda: not os.path.exists(unix_log), 5, "the log to be gone")
    st.reset_files()


def waits_for_older_bridge(st, name, system, call):
    """A bridge of an earlier version, whose lock name comes from the path's bytes in the system's
    code page, holds the lock on this profile's log: this one delivers nothing until it has ended."""
    with profile(st, name, system) as (log, unix_log):
        st.start_logger()
        with lock_held(st, lock_name(log, system[2]), 7000) as holder:
            st.start_bridge()
            expected = log_contact(unix_log, call, name)
            time.sleep(4)
            check(st.records() == [] and holder.poll() is None,
                  "profile %s: beside an older bridge's lock, nothing is delivered" % name)
        st.wait_records(1, timeout=15)
        check(st.records()[-1]["text"] == expected, "and once it has ended, the contact arrives")
    st.reset_files()


def scenario_profiles_western(st):
    """On a Western-language system, profile folders named in Cyrillic, Japanese and Latin-1 letters:
    each contact arrives byte for byte; a message naming such a path reads right; an older bridge on a
    profile its code page spells keeps this one from delivering beside it."""
    relays_in_profile(st, "Ковалёв", WESTERN, "UA1AAA")
    relays_in_profile(st, "山田表示", WESTERN, "JA1AAA")
    relays_in_profile(st, "Jürgen", WESTERN, "DL1AAA")
    waits_for_older_bridge(st, "Jürgen", WESTERN, "DL1BBB")

    with profile(st, "Ковалёв", WESTERN) as (log, unix_log):
        # The preview tool takes the path, prints the log's bytes, and says what is wrong in UTF-8
        # when its error output goes to a file.
        expected = log_contact(unix_log, "UA1BBB", "Ковалёв")
        code, out, _ = preview(st, log)
        check(code == 0 and out.replace(b"\r\n", b"\n") == expected.encode("latin-1") + b"\n",
              "the preview reads the log under the Cyrillic profile: %r" % out)
        missing = log.replace("wsjtx_log", "no_log")
        code, _, err = preview(st, missing)
        check(code == 2 and err.decode("utf-8").startswith("qsoferry-preview: cannot read %s: " % missing),
              "and names a missing file in UTF-8: %r" % err)
        os.remove(unix_log)

        # A progress left without its log is told, and the message names the path.
        with open(unix_log + ".qsoferry.progress", "wb") as f:
            f.write(b"not a progress")
        st.start_logger()
        st.start_bridge()
        wait_until(lambda: "messageBoxes=1" in st.probe("message", ok=False), 15, "the message box")
        text = st.probe("message").encode("latin-1").decode("utf-8")
        check("|The delivery progress %s.qsoferry.progress was left without its log file" % log in text,
              "the message box names the path in Cyrillic letters, read back as Unicode")
        st.probe("message-ok")


def scenario_profiles_japanese(st):
    """On a Japanese-language system (code page 932), a profile whose name holds 表, whose second
    byte in that code page is a backslash: the contact arrives byte for byte, and an older bridge's
    lock on it is seen."""
    relays_in_profile(st, "表山", JAPANESE, "JA2AAA")
    waits_for_older_bridge(st, "表山", JAPANESE, "JA2BBB")
