#!/usr/bin/python3
"""A message from someone else, end to end: the real client under Xvfb, read through AT-SPI, against
the real reference service, with a real notification daemon (dunst) on the same display and bus.

    /usr/bin/python3 tests/e2e/test_notify.py notification

notification: while amina is signed in, layla writes to her through the service. dunst shows it (the
conversation's title, the text, from Lumora), the window title counts it, and a click on the
notification opens the chat with layla. Needs dunst and xdotool.
"""

import re
import shutil
import subprocess
import sys
import time
import uuid

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lumora_e2e import Failure, expect, log, main  # noqa: E402
from gi.repository import Gio, GLib  # noqa: E402
from test_chat import INBOX_TITLE, composer_text, inbox_rows, row_title, with_text  # noqa: E402
from test_sign_in import DEMO_PASSWORD, DEMO_USER, sign_in_as_demo  # noqa: E402

PEER, PEER_PASSWORD, PEER_TITLE = "layla", "lumora-demo", "Layla Haddad"
WATCH_WAIT = 25.0  # the watch asks every 10 s; one missed turn still fits

# Shown until clicked, and a left click runs the default action as a user's would.
DUNSTRC = """\
[global]
    monitor = 0
    follow = none
    origin = top-right
    offset = 10x40
    width = 380
    show_indicators = no
    idle_threshold = 0
    mouse_left_click = do_action, close_current
[urgency_normal]
    timeout = 0
"""


def wait_until(what, probe, timeout, missing=lambda: ""):
    """Polls probe() until it returns something truthy, which it returns."""
    deadline = time.monotonic() + timeout
    while not (result := probe()):
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what} {missing()}")
        time.sleep(0.1)
    return result


def bus_name_owner():
    """The process that owns org.freedesktop.Notifications on the session bus, or None."""
    try:
        return Gio.bus_get_sync(Gio.BusType.SESSION).call_sync(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID",
            GLib.Variant("(s)", ("org.freedesktop.Notifications",)), GLib.VariantType("(u)"),
            Gio.DBusCallFlags.NONE, 5000).unpack()[0]
    except GLib.Error:
        return None


def received(log_path):
    """The notifications dunst -print wrote: {field: value}, with the names of the actions in "actions"."""
    found = []
    for block in re.findall(r"^\{\n(.*?)^\}$", log_path.read_text(errors="replace"), re.S | re.M):
        fields = dict(re.findall(r"^\t(\w+): '(.*?)'$", block, re.M | re.S))
        actions = re.search(r"^\tactions: \{\n(.*?)^\t\}", block, re.S | re.M)
        fields["actions"] = re.findall(r'"(.*?)": ', actions.group(1)) if actions else []
        found.append(fields)
    return found


def popup_centre():
    """The centre of dunst's one mapped window, or None while there is none."""
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "Dunst"], capture_output=True,
                         text=True, timeout=10).stdout.split()
    for window in ids:
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True,
                               text=True, timeout=10).stdout
        g = {k: int(v) for k, v in re.findall(r"^(\w+)=(\d+)$", shell, re.M)}
        if g["WIDTH"] > 1 and g["HEIGHT"] > 1:
            return g["X"] + g["WIDTH"] // 2, g["Y"] + g["HEIGHT"] // 2
    return None


def notification(scenario):
    """A message from layla reaches amina's screen as dunst's notification "Layla Haddad" with the text,
    from Lumora, once; the seeded unread messages raise none. The window title counts it; a click on
    the notification opens the chat with layla, with the message."""
    for tool in ("dunst", "xdotool"):
        expect(shutil.which(tool), f"{tool} is missing (scripts/setup installs it)")
    (config := scenario.workdir / "dunstrc").write_text(DUNSTRC)
    log_path = scenario.workdir / "dunst.log"
    with open(log_path, "w") as output:
        dunst = subprocess.Popen(["dunst", "-config", str(config), "-print"], stdout=output,
                                 stderr=subprocess.STDOUT)
    try:
        # It must be the one that answers: otherwise D-Bus activation starts another with its own setup.
        wait_until("dunst to own the notification bus name", lambda: bus_name_owner() == dunst.pid, 10)
        _notification(scenario, log_path)
    except Failure as failure:
        raise Failure(f"{failure}\n\n--- dunst ---\n{log_path.read_text(errors='replace')[-3000:]}") from None
    finally:
        dunst.terminate()
        dunst.wait(5)


def _notification(scenario, log_path):
    service = scenario.start_service()
    client = scenario.launch()
    sign_in_as_demo(client)
    amina = service.sign_in(DEMO_USER, DEMO_PASSWORD)
    _, conversations = service.call("GET", "/conversations", amina)
    seeded = sum(c.get("unreadCount", 0) for c in conversations)
    expect(seeded >= 1, "the demo data has no unread messages for amina")
    title = lambda t: getattr(t.find("frame"), "name", None)  # noqa: E731
    client.wait_for_all("the inbox and its count in the title", {
        f"the inbox row {PEER_TITLE!r}": lambda t: any(row_title(r) == PEER_TITLE for r in inbox_rows(t)),
        f"the title 'Lumora ({seeded})'": lambda t: title(t) == f"Lumora ({seeded})",
    })

    layla = service.sign_in(PEER, PEER_PASSWORD)
    conversation = next(c["id"] for c in conversations if c.get("type") == "direct"
                        and PEER in {m["user"]["username"] for m in c.get("members", [])})
    text = f"Are we still on for Friday? {uuid.uuid4().hex[:8]}"
    status, message = service.call("POST", f"/conversations/{conversation}/messages", layla, {"body": text})
    expect(status == 201, f"layla's message was answered {status}: {message}")

    shown = wait_until(f"dunst to take a notification {PEER_TITLE!r} / {text!r}",
                       lambda: [n for n in received(log_path) if (n.get("summary"), n.get("body")) == (PEER_TITLE, text)],
                       WATCH_WAIT, missing=lambda: f"; it took {received(log_path)}")[0]
    expect((shown.get("appname"), shown.get("desktop_entry")) == ("Lumora", "app.lumora.Lumora"),
           f"the notification comes from {shown.get('appname')!r} / {shown.get('desktop_entry')!r}")
    expect("default" in shown["actions"], f"the notification has no default action: {shown['actions']}")
    client.wait_for(f"the title 'Lumora ({seeded + 1})'", lambda t: title(t) == f"Lumora ({seeded + 1})", 5,
                    missing=lambda: f"the title reads {title(client.last_tree)!r}")

    # A user's click on it: dunst runs the default action, and the client opens that conversation.
    x, y = wait_until("dunst's window on screen", popup_centre, 5)
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], check=True, timeout=10)
    client.wait_for_all(f"the chat with {PEER_TITLE!r}", {
        f"a heading {PEER_TITLE!r}": lambda t: t.find("heading", PEER_TITLE),
        "the composer": lambda t: composer_text(t) is not None,
        "the inbox list gone": lambda t: not t.find("list", INBOX_TITLE, showing=None),
        f"the message {text!r} in it": lambda t: with_text(t, text),
    }, timeout=10)
    # Nothing else: the history the client found at sign-in raised no notification.
    expect(len(received(log_path)) == 1, f"dunst took {received(log_path)}")


if __name__ == "__main__":
    sys.exit(main({"notification": notification}))
