#!/usr/bin/python3
"""A message from someone else, end to end: the real client under Xvfb, read through AT-SPI, against
the real reference service, with a real notification daemon (dunst) on the same display and bus.

    /usr/bin/python3 tests/e2e/test_notify.py notification

notification: while amina is signed in, layla writes to her through the service. dunst shows it (the
conversation's title, the text, from Lumora), the window title counts it, and a click on the
notification opens the chat with layla.

With LUMORA_E2E_SCREENSHOTS=DIR the screen with the notification is saved there as notification.png.
Needs dunst and dunstctl, and ImageMagick's import for the screenshot.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import time
import uuid
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lumora_e2e import Failure, expect, log, main  # noqa: E402
from gi.repository import Gio, GLib  # noqa: E402
from test_chat import INBOX_TITLE, composer_text, inbox_rows, with_text  # noqa: E402
from test_sign_in import DEMO_PASSWORD, DEMO_USER, sign_in_as_demo  # noqa: E402

PEER, PEER_PASSWORD, PEER_TITLE = "layla", "lumora-demo", "Layla Haddad"
BUS_NAME = "org.freedesktop.Notifications"
WATCH_WAIT = 25.0  # the watch asks every 10 s; one missed turn still fits

# Shown until clicked, and a left click runs the default action as a user's would; no indicators, so
# the text shown is the summary and the body alone.
DUNSTRC = """\
[global]
    monitor = 0
    follow = none
    origin = top-right
    offset = 10x40
    width = 380
    font = Noto Sans 11
    format = "<b>%s</b>\\n%b"
    show_indicators = no
    idle_threshold = 0
    mouse_left_click = do_action, close_current
    mouse_middle_click = close_current
    mouse_right_click = close_all
[urgency_low]
    timeout = 0
[urgency_normal]
    timeout = 0
[urgency_critical]
    timeout = 0
"""


def run(*command, timeout=10):
    result = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
    expect(result.returncode == 0, f"{' '.join(command)} failed ({result.returncode}): {result.stderr.strip()}")
    return result.stdout


class Dunst:
    """dunst on the scenario's display and session bus, printing each notification it takes."""

    def __init__(self, workdir):
        for tool in ("dunst", "dunstctl", "xdotool"):
            if not shutil.which(tool):
                raise Failure(f"{tool} is missing (scripts/setup installs it)")
        config = Path(workdir) / "dunstrc"
        config.write_text(DUNSTRC)
        self.log_path = Path(workdir) / "dunst.log"
        self._log = open(self.log_path, "w")
        self.proc = subprocess.Popen(["dunst", "-config", str(config), "-print"], stdout=self._log,
                                     stderr=subprocess.STDOUT)
        # It must be the one that answers: otherwise D-Bus activation starts another with its own setup.
        deadline = time.monotonic() + 10
        while self.owner_pid() != self.proc.pid:
            expect(self.proc.poll() is None, f"dunst exited with status {self.proc.returncode}:\n{self.output()}")
            expect(time.monotonic() < deadline, f"dunst did not own {BUS_NAME} within 10 s:\n{self.output()}")
            time.sleep(0.1)
        log(f"dunst {self.proc.pid} owns {BUS_NAME}")

    @staticmethod
    def owner_pid():
        bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        try:
            reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                  "GetConnectionUnixProcessID", GLib.Variant("(s)", (BUS_NAME,)),
                                  GLib.VariantType("(u)"), Gio.DBusCallFlags.NONE, 5000)
        except GLib.Error:
            return None  # nobody owns it yet
        return reply.unpack()[0]

    def output(self):
        self._log.closed or self._log.flush()
        return self.log_path.read_text(errors="replace")

    def received(self):
        """The notifications dunst took, as -print writes them: {field: value} with the actions."""
        found = []
        for block in re.findall(r"^\{\n(.*?)^\}$", self.output(), re.S | re.M):
            fields = dict(re.findall(r"^\t(\w+): '(.*?)'$", block, re.M | re.S))
            actions = re.search(r"^\tactions: \{\n(.*?)^\t\}", block, re.S | re.M)
            fields["actions"] = dict(re.findall(r'"(.*?)": "(.*?)"', actions.group(1))) if actions else {}
            found.append(fields)
        return found

    def count(self, which):
        return int(run("dunstctl", "count", which).strip())

    def history(self):
        """The closed notifications, newest first: {field: value} from dunstctl's JSON."""
        data = json.loads(run("dunstctl", "history"))["data"][0]
        return [{key: value.get("data") for key, value in entry.items()} for entry in data]

    def windows(self):
        """(id, x, y, width, height) of dunst's mapped windows."""
        found = []
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "Dunst"], capture_output=True,
                             text=True, timeout=10).stdout.split()
        for window in ids:
            geometry = dict(re.findall(r"^(\w+)=(\d+)$", run("xdotool", "getwindowgeometry", "--shell", window), re.M))
            x, y, width, height = (int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
            if width > 1 and height > 1:
                found.append((window, x, y, width, height))
        return found

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self._log.close()


def wait_until(what, probe, timeout, missing=None):
    """Polls probe() until it returns something truthy, which it returns."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}" + (f"; {missing()}" if missing else ""))
        time.sleep(0.1)


def screenshot(name):
    """The whole screen, kept only where LUMORA_E2E_SCREENSHOTS asks for it."""
    folder = os.environ.get("LUMORA_E2E_SCREENSHOTS")
    if not folder:
        return
    Path(folder).mkdir(parents=True, exist_ok=True)
    path = Path(folder) / f"{name}.png"
    run("import", "-window", "root", str(path), timeout=30)
    log(f"screenshot {path}")


def window_title(tree):
    frame = tree.find("frame")
    return frame.name if frame else None


def unread_total(service, token):
    status, conversations = service.call("GET", "/conversations", token)
    expect(status == 200, f"amina's conversations were answered {status}")
    return sum(c.get("unreadCount", 0) for c in conversations)


def direct_with(service, token, username):
    status, conversations = service.call("GET", "/conversations", token)
    expect(status == 200, f"the conversations were answered {status}")
    found = [c["id"] for c in conversations if c.get("type") == "direct"
             and username in {m["user"]["username"] for m in c.get("members", [])}]
    expect(len(found) == 1, f"expected one direct conversation with {username}, found {found}")
    return found[0]


def notification(scenario):
    """A message from layla reaches amina's screen as dunst's notification "Layla Haddad" with the text,
    from Lumora, once; the seeded unread messages raise none. The window title counts it; a click on
    the notification opens the chat with layla, with the message, and dunst keeps it in its history."""
    dunst = Dunst(scenario.workdir)
    try:
        _notification(scenario, dunst)
    except Failure as failure:
        raise Failure(f"{failure}\n\n--- dunst ---\n{dunst.output()[-3000:]}") from None
    finally:
        dunst.stop()


def _notification(scenario, dunst):
    service = scenario.start_service()
    client = scenario.launch()
    sign_in_as_demo(client)
    amina = service.sign_in(DEMO_USER, DEMO_PASSWORD)
    seeded = unread_total(service, amina)
    expect(seeded >= 1, "the demo data has no unread messages for amina")
    client.wait_for_all("the inbox and its count in the title", {
        f"the inbox row {PEER_TITLE!r}": lambda t: any(r.name == PEER_TITLE for r in inbox_rows(t)),
        f"the title 'Lumora ({seeded})'": lambda t: window_title(t) == f"Lumora ({seeded})",
    })

    layla = service.sign_in(PEER, PEER_PASSWORD)
    conversation = direct_with(service, layla, DEMO_USER)
    text = f"Are we still on for Friday? {uuid.uuid4().hex[:8]}"
    status, message = service.call("POST", f"/conversations/{conversation}/messages", layla, {"body": text})
    expect(status == 201, f"layla's message was answered {status}: {message}")
    sent = time.monotonic()
    log(f"layla sent {text!r}")

    def ours():
        return [n for n in dunst.received() if n.get("summary") == PEER_TITLE and n.get("body") == text]
    shown = wait_until(f"dunst to take a notification {PEER_TITLE!r} / {text!r}", ours, WATCH_WAIT,
                       missing=lambda: f"it took {dunst.received()}")[0]
    log(f"dunst took it after {time.monotonic() - sent:.1f} s")
    expect(shown.get("appname") == "Lumora", f"the notification comes from {shown.get('appname')!r}, not 'Lumora'")
    expect(shown.get("desktop_entry") == "app.lumora.Lumora",
           f"the notification names the desktop entry {shown.get('desktop_entry')!r}")
    expect("default" in shown["actions"], f"the notification has no default action: {shown['actions']}")
    # On screen, not queued: counted as displayed, and dunst's window is mapped with an area.
    wait_until("dunst to display one notification", lambda: dunst.count("displayed") == 1, 5,
               missing=lambda: f"displayed {dunst.count('displayed')}, waiting {dunst.count('waiting')}")
    popups = wait_until("dunst's window on screen", dunst.windows, 5)
    expect(len(popups) == 1, f"dunst shows {len(popups)} windows: {popups}")

    total = unread_total(service, amina)
    expect(total == seeded + 1, f"the service counts {total} unread messages for amina, not {seeded + 1}")
    client.wait_for(f"the title 'Lumora ({total})'", lambda t: window_title(t) == f"Lumora ({total})", 5,
                    missing=lambda: f"the title reads {window_title(client.last_tree)!r}")
    screenshot("notification")

    # A user's click on it: dunst runs the default action, and the client opens that conversation.
    _, x, y, width, height = popups[0]
    mark = service.mark()
    run("xdotool", "mousemove", "--sync", str(x + width // 2), str(y + height // 2), "click", "1")
    client.wait_for_all(f"the chat with {PEER_TITLE!r}", {
        f"a heading {PEER_TITLE!r}": lambda t: t.find("heading", PEER_TITLE),
        "the composer": lambda t: composer_text(t) is not None,
        "the inbox list gone": lambda t: not t.find("list", INBOX_TITLE, showing=None),
        f"the message {text!r} in it": lambda t: with_text(t, text),
    }, timeout=10)
    path = f"/conversations/{conversation}/messages"
    expect(service.wait_for_request(mark, "GET", path), f"opening the chat did not read {path}")

    # The click closed it: gone from the screen, in dunst's history as it was shown.
    wait_until("dunst to display nothing", lambda: dunst.count("displayed") == 0, 5)
    history = [n for n in dunst.history() if n.get("summary") == PEER_TITLE]
    expect([(n.get("appname"), n.get("body")) for n in history] == [("Lumora", text)],
           f"dunst's history holds {dunst.history()}")
    # Nothing else: the history the client found at sign-in raised no notification.
    expect(len(dunst.received()) == 1, f"dunst took {len(dunst.received())} notifications: {dunst.received()}")


if __name__ == "__main__":
    sys.exit(main({"notification": notification}))
