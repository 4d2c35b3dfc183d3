"""Scenario: the setup program installs, the installed program relays, the uninstaller leaves nothing."""
import os
import subprocess

from harness import *  # noqa: F401,F403 (the station, waits and expected records)
from scenarios_locales import WESTERN, profile


def scenario_install(st):
    """The setup program installs silently for the user, the installed program relays, and the silent
    uninstaller leaves nothing of what was installed, and nothing of the operator's is touched."""
    users = os.path.join(st.state["prefix"], "drive_c", "users", st.state["user"])
    install_relay_uninstall(st, os.path.join(users, "AppData", "Local"), st.log, st.backup)


def scenario_install_unicode_profile(st):
    """The same for a user whose profile folder is named in Cyrillic letters on a Western system: the
    program goes into that profile, and the shortcut and the start with Windows point at it."""
    with profile(st, "Ковалёв", WESTERN) as (_, unix_log):
        local = os.path.dirname(os.path.dirname(unix_log))
        install_relay_uninstall(st, local, unix_log, os.path.join(os.path.dirname(unix_log), "wsjtx_log_bak.adi"),
                                "C:\\users\\Ковалёв\\AppData\\Local\\Programs\\Qsoferry\\qsoferry.exe")


def install_relay_uninstall(st, local, log, backup, program=None):
    """Installs into `local`\\Programs\\Qsoferry, relays a contact written to `log`, upgrades, and
    uninstalls; `backup` is the operator's and stays. With `program`, the Windows path the shortcut
    and the Run key must name."""
    setup, version = setup_program(), os.environ["QSOFERRY_VERSION"]
    installed = os.path.join(local, "Programs", "Qsoferry")
    roaming = os.path.join(st.state["prefix"], "drive_c", "users", st.state["user"], "AppData", "Roaming")
    shortcut = os.path.join(roaming, "Microsoft", "Windows", "Start Menu", "Programs", "Qsoferry.lnk")
    uninstall_key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qsoferry"
    run_key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
    with open(backup, "w") as f:
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
    check(code == 0 and "qsoferry.exe\" /minimized" in out,
          "started when Windows starts (the option is on by default), quietly: %s" % out.strip())
    if program:
        link = "C:\\users\\%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Qsoferry.lnk" % (
            st.state["user"])
        target = st.probe("link-target", link).encode("latin-1").decode("utf-8").strip()
        check(target == program, "the shortcut points at %s (%s)" % (program, target))
        # reg query gives letters outside the code page as "?" when its output goes to a file;
        # reg export writes UTF-16.
        exported = os.path.join(st.state["work"], "run.reg")
        wine_output(st.env, ["reg", "export", run_key, "Z:" + exported.replace("/", "\\"), "/y"])
        with open(exported, "rb") as f:
            run_value = f.read().decode("utf-16")
        check(program.replace("\\", "\\\\") in run_value, "and so does the start with Windows")

    st.start_logger()
    proc = subprocess.Popen([WINE, os.path.join(installed, "qsoferry.exe")], env=st.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    st.procs["installed"] = proc
    st.probe("wait-title", CAPTION, 15000)
    with open(log, "ab") as f:
        f.write(b"WSJT-X ADIF Export<eoh>\r\n" + ft4_contact("INST1").encode() + b" <eor>\r\n")
    st.wait_records(1)
    check(st.records()[0]["text"] == ft4_expected("INST1"), "the installed program relays a contact")

    # An earlier version's entry, without the switch, is rewritten by the upgrade.
    wine_output(st.env, ["reg", "add", run_key, "/v", "Qsoferry", "/d", "C:\\earlier\\qsoferry.exe", "/f"])
    code, _ = wine_output(st.env, [setup, "/S"], timeout=120)
    check(code == 0 and sorted(os.listdir(installed)) == files, "running the setup again upgrades in place")
    check("/minimized" in reg_query(st, run_key, "Qsoferry")[1], "and rewrites the start with Windows")
    check_within(lambda: proc.poll() is not None, 15, "the running program was asked to close for it")
    st.probe("gone-title", CAPTION, 10000, ok=False)

    wine_output(st.env, [os.path.join(installed, "uninstall.exe"), "/S"], timeout=120)
    # The uninstaller works from a copy of itself, so that it can remove its own file: wait for it.
    check_within(lambda: not os.path.exists(installed), 30, "the uninstaller removes the program's folder")
    check_within(lambda: not os.path.exists(shortcut), 30, "and the shortcut")
    check(reg_query(st, uninstall_key)[0] != 0, "and the installed-programs entry")
    check(reg_query(st, run_key, "Qsoferry")[0] != 0, "and the start with Windows")
    with open(backup) as f:
        check(f.read() == "the operator's history\n", "JTDX's folder and the backup are left as they were")
