"""Drives the Lumora desktop client through AT-SPI under Xvfb, against the real reference service.

Run a test script directly (``/usr/bin/python3 tests/e2e/test_sign_in.py sign_in``): unless it already
runs inside them, the script re-runs itself under ``xvfb-run -a`` (a private X display) and
``tests/support/with-keyring`` (a private session bus, which starts the AT-SPI bus on demand, and an
unlocked throw-away keyring).
Each client gets its own HOME besides.

Needs the system python (``gi`` with ``Atspi``), xvfb-run, xauth, xdotool, gnome-keyring and secret-tool.
The binaries come from ``LUMORA_CLIENT`` and ``LUMORA_DEVSERVICE`` (CTest passes them), else from
``build/default``.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import urllib.error
import urllib.request
from pathlib import Path

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

REPO = Path(__file__).resolve().parents[2]
CLIENT = Path(os.environ.get("LUMORA_CLIENT", REPO / "build/default/src/app/lumora"))
DEVSERVICE = Path(os.environ.get("LUMORA_DEVSERVICE", REPO / "build/default/devservice/lumora-devservice"))
WITH_KEYRING = REPO / "tests/support/with-keyring"
ISOLATION_MARK = "LUMORA_E2E_ISOLATED"

DEFAULT_TIMEOUT = 20.0
POLL_INTERVAL = 0.05

_started = time.monotonic()


class Failure(Exception):
    """A test expectation that did not hold. The message says what was missing."""


class TreeChanged(Exception):
    """An object went away while the tree was being read."""


def log(message):
    print(f"[{time.monotonic() - _started:6.2f}s] {message}", flush=True)


def run_isolated():
    """Re-runs the calling script, once, on a private X display, session bus and keyring, and returns
    its exit status; returns None when already inside them."""
    if os.environ.get(ISOLATION_MARK) == "1":
        missing = [name for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS") if not os.environ.get(name)]
        if missing:
            sys.exit(f"{ISOLATION_MARK}=1 but {', '.join(missing)} is not set: run the script without it")
        return None
    for tool in ("xvfb-run", "xauth", "xdotool", "dbus-run-session", "gnome-keyring-daemon", "secret-tool"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing (scripts/setup installs it)")
    env = dict(os.environ, **{ISOLATION_MARK: "1"})
    # The desktop's own bus and display must not leak in: with-keyring starts a private bus.
    for name in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS"):
        env.pop(name, None)
    # -noreset: by default the server resets whenever its last client leaves, and a client connecting
    # during that reset is refused: without it 9 of 30 runs here had the client fail with "could not
    # connect to display" (something in the session start-up connects and leaves first).
    command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24 -noreset",
               str(WITH_KEYRING), sys.executable, os.path.abspath(sys.argv[0]), *sys.argv[1:]]
    return subprocess.run(command, env=env).returncode


# --- the reference service -------------------------------------------------------------------------

# Requests of the tests' own go straight to the loopback service, whatever proxy the environment names.
_direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))


class Service:
    """lumora-devservice with the demo data, in a database of its own, on a free port. It can be
    stopped and started again on the same port and database: an outage, as the client sees it."""

    def __init__(self, workdir):
        self.db = Path(workdir) / "service.db"
        self.lines = []  # every process's output, one after the other, so that marks span restarts
        self._lock = threading.Lock()
        self._proc = None
        self._reader = None
        self.url = None
        self.port = 0  # the first start picks a free one; restarts keep it
        self._start(seed=True)

    def _start(self, seed):
        command = [str(DEVSERVICE), "--port", str(self.port), "--db", str(self.db)]
        if seed:
            command.append("--seed")
        self._proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                      text=True, encoding="utf-8")
        ready = threading.Event()
        found = []
        self._reader = threading.Thread(target=self._read, args=(self._proc, ready, found), daemon=True)
        self._reader.start()
        if not ready.wait(20) or not found:
            output = "\n".join(self.lines)
            self.stop()
            raise Failure(f"the reference service ({' '.join(command[1:])}) did not report 'Lumora reference "
                          f"service listening on ...' within 20 s; its output:\n{output}")
        if self.url is not None and found[0] != self.url:
            raise Failure(f"the restarted service listens on {found[0]}, not on {self.url} as before")
        self.url = found[0]
        self.port = int(self.url.rsplit(":", 1)[1])
        log(f"service (pid {self._proc.pid}) listening on {self.url}")

    def _read(self, proc, ready, found):
        for line in proc.stdout:
            line = line.rstrip("\n")
            with self._lock:
                self.lines.append(line)
            match = re.match(r"Lumora reference service listening on (\S+)", line)
            if match:
                found.append(match.group(1))
                ready.set()
        ready.set()

    def mark(self):
        """A position in the request log, for requests_since."""
        with self._lock:
            return len(self.lines)

    def requests_since(self, mark):
        """The (method, path, status) of each request logged after mark."""
        with self._lock:
            lines = self.lines[mark:]
        found = []
        for line in lines:
            match = re.match(r"([A-Z]+) (\S+) (\d{3}) \d+ms$", line)
            if match:
                found.append((match.group(1), match.group(2), int(match.group(3))))
        return found

    def wait_for_request(self, mark, method, path, timeout=5.0):
        """The statuses of the method+path requests logged after mark, once there is at least one (the
        service logs a request after answering it); an empty list after timeout seconds."""
        deadline = time.monotonic() + timeout
        while True:
            statuses = [status for m, p, status in self.requests_since(mark) if (m, p) == (method, path)]
            if statuses or time.monotonic() >= deadline:
                return statuses
            time.sleep(POLL_INTERVAL)

    def call(self, method, path, token=None, body=None):
        """One request of our own, as another client would make it: (status, the decoded JSON reply)."""
        request = urllib.request.Request(self.url + path, method=method,
                                         data=None if body is None else json.dumps(body).encode())
        request.add_header("Content-Type", "application/json")
        if token:
            request.add_header("Authorization", f"Bearer {token}")
        try:
            with _direct.open(request, timeout=10) as reply:
                status, data = reply.status, reply.read()
        except urllib.error.HTTPError as error:
            status, data = error.code, error.read()
        return status, json.loads(data) if data else None

    def sign_in(self, username, password):
        """An access token of that user's own, for call."""
        status, reply = self.call("POST", "/auth/login", body={"username": username, "password": password})
        if status != 200:
            raise Failure(f"signing {username} in to the service directly was answered {status}: {reply}")
        return reply["tokens"]["accessToken"]

    @property
    def running(self):
        return self._proc is not None and self._proc.poll() is None

    def stop(self, kill=False):
        """Ends the process, SIGTERM (SIGKILL after 5 s) or at once with kill=True; the database stays."""
        was_running = self.running
        if was_running:
            if kill:
                self._proc.kill()
            else:
                self._proc.terminate()
            try:
                self._proc.wait(5)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
        if self._reader is not None:
            self._reader.join(5)  # its last lines are in the log before anything a restart writes
        if was_running:
            log(f"service (pid {self._proc.pid}) stopped, status {self._proc.returncode}")

    def restart(self):
        """Starts the stopped service again on its port and database. No --seed: the demo data are
        there already (it would add nothing to a database with accounts anyway)."""
        if self.running:
            raise Failure("restart() needs the service stopped first")
        self._start(seed=False)


# --- the accessible tree ---------------------------------------------------------------------------

class Node:
    """One accessible object, read once: role, name, states, extents, text, children."""

    def __init__(self, accessible, depth):
        self.accessible = accessible
        self.depth = depth
        self.role = accessible.get_role_name()
        self.name = accessible.get_name() or ""
        states = accessible.get_state_set()
        self.showing = states.contains(Atspi.StateType.SHOWING) and states.contains(Atspi.StateType.VISIBLE)
        self.enabled = states.contains(Atspi.StateType.ENABLED) and states.contains(Atspi.StateType.SENSITIVE)
        self.focused = states.contains(Atspi.StateType.FOCUSED)
        self.selected = states.contains(Atspi.StateType.SELECTED)
        interfaces = accessible.get_interfaces()
        self.extents = (Atspi.Component.get_extents(accessible, Atspi.CoordType.SCREEN)
                        if "Component" in interfaces else None)
        self.text = Atspi.Text.get_text(accessible, 0, -1) if "Text" in interfaces else None
        self.children = []
        for i in range(accessible.get_child_count()):
            child = accessible.get_child_at_index(i)
            if child is None:
                raise TreeChanged()
            self.children.append(Node(child, depth + 1))

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()

    def describe(self):
        parts = [self.role, repr(self.name)]
        if self.role == "password text" and self.text is not None:
            parts.append(f"text=<{len(self.text)} characters>")  # Qt hands out the password itself
        elif self.text and self.text != self.name:
            parts.append(f"text={self.text!r}")
        if not self.showing:
            parts.append("[hidden]")
        if not self.enabled:
            parts.append("[disabled]")
        if self.focused:
            parts.append("[focused]")
        if self.selected:
            parts.append("[selected]")
        if self.extents and self.showing:
            e = self.extents
            parts.append(f"@{e.x},{e.y} {e.width}x{e.height}")
        return " ".join(parts)

    def dump(self):
        return "\n".join("  " * node.depth + node.describe() for node in self.walk())


class Tree:
    """A snapshot of the client's whole accessible tree."""

    def __init__(self, root):
        self.root = root

    def all(self, role=None, name=None, showing=True):
        """Nodes of that role (AT-SPI role name, e.g. 'push button') and exact name; hidden ones only
        when showing is None."""
        return [node for node in self.root.walk()
                if (role is None or node.role == role)
                and (name is None or node.name == name)
                and (showing is None or node.showing == showing)]

    def find(self, role=None, name=None, showing=True):
        found = self.all(role, name, showing)
        return found[0] if found else None

    def dump(self):
        return self.root.dump()


# --- the client ------------------------------------------------------------------------------------

class Client:
    """One run of the desktop client, found in the AT-SPI desktop by its process id."""

    def __init__(self, service, home, label="client"):
        self.label = label
        self.home = Path(home)
        for sub in (".config", ".local/share", ".cache"):
            (self.home / sub).mkdir(parents=True, exist_ok=True)
        env = dict(os.environ)
        for name in ("QT_QPA_PLATFORM", "LUMORA_ACCESS_TOKEN", "LC_ALL", "LC_MESSAGES", "LANGUAGE"):
            env.pop(name, None)
        env.update({
            "HOME": str(self.home),
            "XDG_CONFIG_HOME": str(self.home / ".config"),
            "XDG_DATA_HOME": str(self.home / ".local/share"),
            "XDG_CACHE_HOME": str(self.home / ".cache"),
            "LANG": "en_US.UTF-8",  # the interface follows the desktop's language; these tests read English
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "LUMORA_API_BASE_URL": service.url,
        })
        self.log_path = self.home / f"{label}.log"
        self._log_file = open(self.log_path, "w")
        self.proc = subprocess.Popen([str(CLIENT)], env=env, stdout=self._log_file, stderr=subprocess.STDOUT)
        self.last_tree = None
        self.app = None
        self.window = None

    def _check_running(self):
        code = self.proc.poll()
        if code is not None:
            raise Failure(f"the {self.label} exited with status {code} (its output follows)")

    def output(self):
        if not self._log_file.closed:
            self._log_file.flush()
        text = self.log_path.read_text(errors="replace").strip()
        return text[-4000:] if text else "(nothing)"

    def attach(self, timeout=DEFAULT_TIMEOUT):
        """Finds the client's application in the AT-SPI desktop by its process id."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self._check_running()
            desktop = Atspi.get_desktop(0)
            desktop.clear_cache()
            for i in range(desktop.get_child_count()):
                app = desktop.get_child_at_index(i)
                try:
                    if app is not None and app.get_process_id() == self.proc.pid:
                        log(f"{self.label} (pid {self.proc.pid}) is on the accessibility bus")
                        self.app = app
                        return
                except GLib.Error:
                    continue  # an application that went away while we looked
            time.sleep(POLL_INTERVAL)
        raise Failure(f"the {self.label} (pid {self.proc.pid}) did not appear on the AT-SPI desktop within "
                      f"{timeout:.0f} s (is QT_LINUX_ACCESSIBILITY_ALWAYS_ON honoured and the platform xcb?)")

    def tree(self):
        """A fresh snapshot of the tree (the library's cache is dropped first, as no events are read).
        It is read object by object, so while the screen changes it can mix the old and the new: check
        absences with wait_for over a short while rather than on one snapshot."""
        for _ in range(40):
            self._check_running()
            self.app.clear_cache()
            try:
                self.last_tree = Tree(Node(self.app, 0))
                return self.last_tree
            except (GLib.Error, TreeChanged):
                time.sleep(POLL_INTERVAL)  # read again once the change is over
        raise Failure(f"the accessible tree of the {self.label} kept changing while being read")

    def wait_for(self, what, predicate, timeout=DEFAULT_TIMEOUT, abort=None, missing=None):
        """Polls the tree until predicate(tree) returns something truthy and returns that. When
        abort(tree) returns a message first, fails at once with it. On timeout fails naming 'what',
        and what missing() returns."""
        deadline = time.monotonic() + timeout
        while True:
            tree = self.tree()
            problem = abort(tree) if abort else None
            if problem:
                raise Failure(f"while waiting for {what}: {problem}")
            result = predicate(tree)
            if result:
                return result
            if time.monotonic() >= deadline:
                detail = f"; missing: {missing()}" if missing else ""
                raise Failure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
            time.sleep(POLL_INTERVAL)

    def wait_for_all(self, what, requirements, timeout=DEFAULT_TIMEOUT, abort=None):
        """Polls until every requirement (description -> predicate on the tree) holds in one snapshot,
        which it returns. On timeout the failure names the ones that did not hold."""
        missing = list(requirements)

        def all_hold(tree):
            missing[:] = [name for name, holds in requirements.items() if not holds(tree)]
            return not missing and tree
        return self.wait_for(what, all_hold, timeout, abort, missing=lambda: "; ".join(missing))

    def node(self, role, name):
        """The showing node of that role and name in a fresh tree, or a failure naming it."""
        node = self.tree().find(role, name)
        if node is None:
            raise Failure(f"no showing {role} named {name!r}")
        return node

    # --- input through xdotool ---

    def _xdotool(self, *args):
        result = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=10)
        if result.returncode != 0:
            raise Failure(f"xdotool {' '.join(args)} failed: {result.stderr.strip()}")
        return result.stdout

    def focus_window(self):
        if self.window is None:
            deadline = time.monotonic() + DEFAULT_TIMEOUT
            while self.window is None:
                self._check_running()
                found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid),
                                        "--name", "^Lumora$"], capture_output=True, text=True, timeout=10)
                ids = found.stdout.split()
                if ids:
                    self.window = ids[0]
                elif time.monotonic() > deadline:
                    raise Failure(f"no visible X window titled 'Lumora' belongs to the {self.label}")
                else:
                    time.sleep(POLL_INTERVAL)
        self._xdotool("windowfocus", "--sync", self.window)

    def click(self, node):
        """A left click in the middle of the node's on-screen extents."""
        if not node.showing or node.extents is None or node.extents.width <= 0 or node.extents.height <= 0:
            raise Failure(f"cannot click {node.describe()}: it has no area on screen")
        e = node.extents
        self.focus_window()
        self._xdotool("mousemove", "--sync", str(e.x + e.width // 2), str(e.y + e.height // 2),
                      "click", "1")

    def type_into(self, node, text):
        """Replaces the text of a field: click it, select all, type (the fields have no EditableText)."""
        self.click(node)
        self._xdotool("key", "--clearmodifiers", "ctrl+a")
        if text:
            self._xdotool("type", "--clearmodifiers", "--delay", "5", text)
        else:
            self._xdotool("key", "--clearmodifiers", "BackSpace")

    def press(self, key):
        """One key or chord in the focused window, in xdotool's names (Return, shift+Return)."""
        self.focus_window()
        self._xdotool("key", "--clearmodifiers", key)

    def stop(self):
        """SIGTERM, then SIGKILL after 5 s."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self._log_file.close()


# --- running a scenario ----------------------------------------------------------------------------

class Scenario:
    """Everything one test starts: a work folder, the service, the clients. Stops them all at the end."""

    def __init__(self):
        self.workdir = Path(tempfile.mkdtemp(prefix="lumora-e2e-"))
        self.clients = []
        self.service = None

    def start_service(self):
        self.service = Service(self.workdir)
        return self.service

    def launch(self, home_name="home", label="client"):
        client = Client(self.service, self.workdir / home_name, label)
        self.clients.append(client)  # first, so that it is stopped and reported whatever happens next
        client.attach()
        return client

    def close(self):
        for client in self.clients:
            client.stop()
        if self.service:
            self.service.stop()
        shutil.rmtree(self.workdir, ignore_errors=True)


def report(scenario):
    """The accessible tree, the output of every client, and the end of the service log."""
    for client in scenario.clients:
        tree, when = client.last_tree, "the last one read"
        if client.proc.poll() is None and client.app is not None:
            try:
                tree, when = client.tree(), "now"
            except (GLib.Error, Failure):
                pass
        else:
            when += f"; the {client.label} has exited with status {client.proc.returncode}"
        print(f"\n--- accessible tree of the {client.label} ({when}) ---\n"
              + (tree.dump() if tree else "(never read)"), flush=True)
        print(f"\n--- output of the {client.label} ---\n{client.output()}", flush=True)
    if scenario.service:
        print("\n--- service log ---\n" + "\n".join(scenario.service.lines[-40:]), flush=True)


def main(scenarios):
    """Runs the scenario named on the command line (the functions of `scenarios`, each taking a
    Scenario). Exit status 0 when it passes, 1 with the reason, the tree and the output when not."""
    names = sorted(scenarios)
    if len(sys.argv) != 2 or sys.argv[1] not in scenarios:
        sys.exit(f"usage: {Path(sys.argv[0]).name} {{{'|'.join(names)}}}")
    status = run_isolated()
    if status is not None:
        return status
    name = sys.argv[1]
    scenario = Scenario()
    try:
        scenarios[name](scenario)
    except Exception as failure:  # noqa: BLE001 - every failure gets the trees and logs below
        if isinstance(failure, (Failure, AssertionError)):
            print(f"FAIL {name}: {failure}", flush=True)
        else:
            print(f"FAIL {name}: unexpected error\n{traceback.format_exc()}", flush=True)
        report(scenario)
        return 1
    finally:
        scenario.close()
    log(f"PASS {name}")
    return 0


def expect(condition, message):
    if not condition:
        raise Failure(message)
