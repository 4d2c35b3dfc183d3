#!/usr/bin/env python3
"""Drives the real qsoferry.exe under Wine with stand-in peers, as an operator's station would.

    driver.py setup STATE       fresh Wine prefix and Xvfb display (started here, ended by cleanup)
    driver.py run STATE NAME    one scenario
    driver.py cleanup STATE     ends Wine and Xvfb by their ids and removes the prefix
    driver.py soak STATE [N]    the soak with N contacts (500), set up and cleaned up on its own
    driver.py backlog STATE [N] times N held contacts (10000) to the logger, set up likewise

Environment: QSOFERRY_WIN_BIN (folder of qsoferry.exe, the stand-ins and e2e_probe.exe; the 64-bit
build unless given), QSOFERRY_PEER_BIN (folder of the stand-ins, when of the other bitness) and
QSOFERRY_SCREENSHOTS (where the screenshots go).

The station and its waits are in harness.py; the scenarios, one file per family, in scenarios_*.py.
"""
import json
import os
import sys
import time

sys.dont_write_bytecode = True  # the scenarios' modules are imported: no __pycache__ in the source tree
import scenarios_access  # noqa: E402
import scenarios_delivery  # noqa: E402
import scenarios_faults  # noqa: E402
import scenarios_install  # noqa: E402
import scenarios_locales  # noqa: E402
import scenarios_relayed  # noqa: E402
import scenarios_rigs  # noqa: E402
import scenarios_shell  # noqa: E402
import scenarios_tray  # noqa: E402
from harness import *  # noqa: E402,F401,F403

SCENARIOS = {name[len("scenario_"):]: fn for module in (scenarios_delivery, scenarios_shell, scenarios_faults,
                                                         scenarios_locales, scenarios_rigs, scenarios_install,
                                                         scenarios_relayed, scenarios_tray, scenarios_access)
             for name, fn in vars(module).items() if name.startswith("scenario_")}


def needs_32bit(name):
    programs = [os.path.join(BIN, "qsoferry.exe"), os.path.join(PEER_BIN, "fake_logger.exe")]
    if name.startswith("install"):
        programs.append(setup_program())
    return any(machine_of(p) == 0x14C for p in programs)


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
