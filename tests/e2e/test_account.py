#!/usr/bin/python3
"""The account screens, end to end: a real window under Xvfb, read and driven through AT-SPI, against
the real reference service with its demo data.

    /usr/bin/python3 tests/e2e/test_account.py arabic|local_mesh

arabic:     choosing Arabic in Settings translates and mirrors the window at once; English undoes it.
local_mesh: with "Local mesh" chosen, a peer published on the network shows in Settings; "Cloud service"
            hides the block. Re-runs itself under tests/support/with-avahi (root only).

The password change and the profile are checked in tests/ui against a scripted service and in
tests/devservice against the real one.
"""

import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lumora_e2e import REPO, expect, log, main  # noqa: E402
from test_sign_in import TABS, sign_in_as_demo, tab  # noqa: E402

# The English and Arabic texts of i18n/lumora_en.ts and i18n/lumora_ar.ts.
TABS_AR = ("صندوق الوارد", "الملف الشخصي", "الإعدادات")
INBOX_AR = "الرسائل"  # inbox.title, the inbox list's name
BRAND = "Lumora"
SKIP_STATUS = 77  # SKIP_RETURN_CODE in CMakeLists.txt


def radio(tree, name):
    return tree.find("radio button", name)


def checked(name):
    return lambda t: (r := radio(t, name)) is not None and r.checked


def select_tab(client, name):
    client.click(client.wait_for(f"a tab named {name!r}", lambda t: tab(t, name), 5))
    client.wait_for(f"the {name!r} tab selected", lambda t: (x := tab(t, name)) is not None and x.selected, 5)


def arabic(scenario):
    """Arabic, chosen in Settings, translates the tabs and mirrors the window at once; English restores both."""
    scenario.start_service()
    client = scenario.launch()
    sign_in_as_demo(client)
    select_tab(client, "Settings")
    tree = client.wait_for("the radio button 'Arabic'", lambda t: radio(t, "Arabic") and t)
    window = tree.find("frame").extents  # its title carries the unread count
    middle = window.x + window.width // 2
    left_x = tree.find("heading", BRAND).extents.x
    expect(left_x < middle, f"in English the header's heading starts at x={left_x}, in the right half")
    expect(tab(tree, "Inbox").extents.x < tab(tree, "Settings").extents.x, "in English Inbox is not left of Settings")

    client.click(radio(tree, "Arabic"))

    def mirrored(t):
        inbox, settings, heading = tab(t, TABS_AR[0]), tab(t, TABS_AR[2]), t.find("heading", BRAND)
        return (inbox and settings and heading and inbox.extents.x >= settings.extents.x + settings.extents.width
                and heading.extents.x + heading.extents.width // 2 > middle)
    client.wait_for_all("the window in Arabic", {
        f"tabs named {TABS_AR}": lambda t: all(tab(t, name) for name in TABS_AR),
        f"no tab named {TABS}": lambda t: not any(tab(t, name, showing=None) for name in TABS),
        "the settings tab still selected": lambda t: (x := tab(t, TABS_AR[2])) is not None and x.selected,
        "Inbox wholly right of Settings, the heading in the right half": mirrored,
        "'العربية' checked": checked("العربية"),
    }, timeout=5)
    log("window in Arabic, mirrored")

    # What a reader hears, in Arabic: the first row (verified, two unread) and the chat's bubbles; by keyboard.
    def items(t, inbox):
        lists = [n for n in t.all(role="list") if (n.name == INBOX_AR) == inbox]
        return [n for n in lists[0].children if n.role in ("list item", "push button")] if len(lists) == 1 else []
    client.press("ctrl+1")
    row = client.wait_for("the first inbox row read in Arabic", lambda t: (r := items(t, True)) and "، موثّق، " in r[0].name
                          and "رسالتان غير مقروءتين" in r[0].name and r[0])
    log(f"the first row reads {row.name!r}")
    client.press("Return")
    names = [n.name for n in client.wait_for("bubbles read in Arabic", lambda t: items(t, False))]
    expect(all("، " in name and ", " not in name for name in names), f"bubbles not read in Arabic: {names}")
    log(f"a bubble reads {names[-1]!r}")
    client.press("Escape")
    client.press("ctrl+3")
    client.wait_for("the settings again", lambda t: radio(t, "الإنجليزية"))

    client.click(client.node("radio button", "الإنجليزية"))
    client.wait_for_all("the window in English again", {
        f"tabs named {TABS}": lambda t: all(tab(t, name) for name in TABS),
        f"no tab named {TABS_AR}": lambda t: not any(tab(t, name, showing=None) for name in TABS_AR),
        f"the heading back at x={left_x}": lambda t: (h := t.find("heading", BRAND)) is not None and h.extents.x == left_x,
        "'English' checked": checked("English"),
    }, timeout=5)


def local_mesh(scenario):
    """'Local mesh' shows the mesh block, listing the client's own advertisement ("Lumora") and a peer
    published on the private network; 'Cloud service' hides the block again."""
    expect(os.environ.get("LUMORA_AVAHI_CONF"), "local_mesh runs outside with-avahi")
    scenario.start_service()
    client = scenario.launch()
    sign_in_as_demo(client)
    select_tab(client, "Settings")
    tree = client.wait_for("the radio button 'Local mesh'", lambda t: radio(t, "Local mesh") and t)
    expect(checked("Cloud service")(tree), "'Cloud service' is not the connectivity chosen at first")
    client.click(radio(tree, "Local mesh"))
    client.wait_for_all("the mesh block listing the client's own advertisement", {
        "'Local mesh' checked": checked("Local mesh"),
        "a peer 'Lumora' (a label)": lambda t: t.find("label", "Lumora"),
        "no peer 'Peer One' yet": lambda t: not t.find("label", "Peer One", showing=None),
    }, timeout=15)

    publisher = subprocess.Popen(["avahi-publish", "-s", "Peer One", "_lumora._tcp", "4242"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        client.wait_for("the peer 'Peer One' listed", lambda t: t.find("label", "Peer One"), timeout=15)
        client.click(client.node("radio button", "Cloud service"))
        client.wait_for_all("the mesh block hidden", {
            "'Cloud service' checked": checked("Cloud service"),
            "no showing peer labels": lambda t: not t.find("label", "Peer One") and not t.find("label", "Lumora"),
        }, timeout=10)
    finally:
        publisher.kill()
        publisher.wait()


if __name__ == "__main__":
    # local_mesh needs a private avahi-daemon: re-run once under with-avahi (root only), else skip.
    if sys.argv[1:] == ["local_mesh"] and not os.environ.get("LUMORA_AVAHI_CONF"):
        if os.geteuid() != 0 or not all(shutil.which(t) for t in ("unshare", "avahi-daemon", "avahi-publish")):
            print("local_mesh skipped: tests/support/with-avahi needs root, unshare and avahi")
            sys.exit(SKIP_STATUS)
        env = {k: v for k, v in os.environ.items() if k != "LUMORA_E2E_ISOLATED"}  # a fresh display and bus
        sys.exit(subprocess.run([str(REPO / "tests/support/with-avahi"), sys.executable,
                                 os.path.abspath(sys.argv[0]), "local_mesh"], env=env).returncode)
    sys.exit(main({"arabic": arabic, "local_mesh": local_mesh}))
