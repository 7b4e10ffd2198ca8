"""Drives the Lumora desktop client through AT-SPI under Xvfb, against the real reference service.

Run a script directly (``/usr/bin/python3 tests/e2e/test_sign_in.py sign_in``): unless it already runs
inside them, it re-runs itself under ``xvfb-run -a`` and ``tests/support/with-keyring`` (a private session
bus, which starts the AT-SPI bus on demand, and a throw-away keyring). Each client gets its own HOME.
Needs the system python (``gi`` with ``Atspi``), xvfb-run, xauth, xdotool, gnome-keyring and secret-tool.
The binaries come from ``LUMORA_CLIENT`` and ``LUMORA_DEVSERVICE`` (CTest passes them), else build/default.
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
import uuid
from pathlib import Path

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

REPO = Path(__file__).resolve().parents[2]
CLIENT = Path(os.environ.get("LUMORA_CLIENT", REPO / "build/default/src/app/lumora"))
DEVSERVICE = Path(os.environ.get("LUMORA_DEVSERVICE", REPO / "build/default/devservice/lumora-devservice"))
ISOLATION_MARK = "LUMORA_E2E_ISOLATED"
DEFAULT_TIMEOUT = 20.0
POLL_INTERVAL = 0.05
_started = time.monotonic()


class Failure(Exception):
    """A test expectation that did not hold. The message says what was missing."""


class TreeChanged(Exception):
    pass  # an object went away while the tree was being read


def log(message):
    print(f"[{time.monotonic() - _started:6.2f}s] {message}", flush=True)


def expect(condition, message):
    if not condition:
        raise Failure(message)


def run_isolated():
    """Re-runs the calling script once on a private X display, session bus and keyring and returns its
    exit status; None when already inside them."""
    if os.environ.get(ISOLATION_MARK) == "1":
        return None
    for tool in ("xvfb-run", "xauth", "xdotool", "dbus-run-session", "gnome-keyring-daemon", "secret-tool"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing (scripts/setup installs it)")
    env = dict(os.environ, **{ISOLATION_MARK: "1"})
    for name in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS"):
        env.pop(name, None)
    # -noreset: a server that resets when its last client leaves refused the client now and then.
    command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24 -noreset", str(REPO / "tests/support/with-keyring"),
               sys.executable, os.path.abspath(sys.argv[0]), *sys.argv[1:]]
    return subprocess.run(command, env=env).returncode


# --- the reference service -------------------------------------------------------------------------

_direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))  # no proxy for loopback


class Service:
    """lumora-devservice with the demo data in a database of its own. It can be stopped and started
    again on the same port and database: an outage, as the client sees it."""

    def __init__(self, workdir):
        self.db = Path(workdir) / "service.db"
        self.lines = []  # every process's output, so that marks span restarts
        self._lock = threading.Lock()
        self._proc = self._reader = self.url = None
        self.port = 0
        self._start(seed=True)

    def _start(self, seed):
        command = [str(DEVSERVICE), "--port", str(self.port), "--db", str(self.db)] + (["--seed"] if seed else [])
        self._proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        ready, found = threading.Event(), []
        self._reader = threading.Thread(target=self._read, args=(self._proc, ready, found), daemon=True)
        self._reader.start()
        if not ready.wait(20) or not found:
            self.stop()
            raise Failure("the reference service did not start listening; its output:\n" + "\n".join(self.lines))
        expect(self.url in (None, found[0]), f"the restarted service listens on {found[0]}, not {self.url}")
        self.url = found[0]
        self.port = int(self.url.rsplit(":", 1)[1])
        log(f"service listening on {self.url}")

    def _read(self, proc, ready, found):
        for line in proc.stdout:
            with self._lock:
                self.lines.append(line.rstrip("\n"))
            match = re.match(r"Lumora reference service listening on (\S+)", line)
            if match:
                found.append(match.group(1))
                ready.set()
        ready.set()

    def mark(self):
        return len(self.lines)

    def requests_since(self, mark):
        """(method, path, status) of each request logged after mark."""
        with self._lock:
            lines = self.lines[mark:]
        matches = (re.match(r"([A-Z]+) (\S+) (\d{3}) \d+ms$", line) for line in lines)
        return [(m.group(1), m.group(2), int(m.group(3))) for m in matches if m]

    def wait_for_request(self, mark, method, path, timeout=5.0):
        """The statuses of method+path requests logged after mark, once there is one; [] on timeout."""
        deadline = time.monotonic() + timeout
        while True:
            statuses = [s for m, p, s in self.requests_since(mark) if (m, p) == (method, path)]
            if statuses or time.monotonic() >= deadline:
                return statuses
            time.sleep(POLL_INTERVAL)

    def call(self, method, path, token=None, body=None):
        """A request of our own, as another client would make it: (status, decoded JSON reply)."""
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

    def upload(self, token, name, content):
        """Uploads a file as another client would (multipart, the part "file"): the service's answer."""
        boundary = uuid.uuid4().hex
        body = (f'--{boundary}\r\nContent-Disposition: form-data; name="file"; filename="{name}"\r\n'
                f"Content-Type: application/octet-stream\r\n\r\n").encode() + content + f"\r\n--{boundary}--\r\n".encode()
        request = urllib.request.Request(self.url + "/media/upload", method="POST", data=body)
        request.add_header("Content-Type", f"multipart/form-data; boundary={boundary}")
        request.add_header("Authorization", f"Bearer {token}")
        with _direct.open(request, timeout=10) as reply:
            expect(reply.status == 201, f"the upload of {name} was answered {reply.status}")
            return json.loads(reply.read())

    def sign_in(self, username, password):
        status, reply = self.call("POST", "/auth/login", body={"username": username, "password": password})
        expect(status == 200, f"signing {username} in directly was answered {status}: {reply}")
        return reply["tokens"]["accessToken"]

    def stop(self, kill=False):
        """Ends the process (SIGTERM, or SIGKILL with kill=True); the database stays."""
        if self._proc is not None and self._proc.poll() is None:
            self._proc.kill() if kill else self._proc.terminate()
            try:
                self._proc.wait(5)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
        if self._reader is not None:
            self._reader.join(5)

    def restart(self):
        self._start(seed=False)


# --- the accessible tree ---------------------------------------------------------------------------

class Node:
    """One accessible object, read once: role, name, states, extents, text, children."""

    def __init__(self, accessible, depth):
        self.accessible = accessible
        self.depth = depth
        self.role = accessible.get_role_name()
        self.name = accessible.get_name() or ""
        self.description = accessible.get_description() or ""
        states = accessible.get_state_set()
        self.showing = states.contains(Atspi.StateType.SHOWING) and states.contains(Atspi.StateType.VISIBLE)
        self.selected = states.contains(Atspi.StateType.SELECTED)
        self.checked = states.contains(Atspi.StateType.CHECKED)
        self.focused = states.contains(Atspi.StateType.FOCUSED)
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
        text = "<password>" if self.role == "password text" else self.text if self.text != self.name else None
        e = self.extents if self.showing else None
        return " ".join(p for p in (self.role, repr(self.name), text and f"text={text!r}", not self.showing and "[hidden]",
                                    self.selected and "[selected]", self.focused and "[focused]", e and f"@{e.x},{e.y} {e.width}x{e.height}") if p)


class Tree:
    """A snapshot of the client's whole accessible tree."""

    def __init__(self, root):
        self.root = root

    def all(self, role=None, name=None, showing=True):
        """Nodes of that AT-SPI role name and exact name; hidden ones too when showing is None."""
        return [node for node in self.root.walk()
                if (role is None or node.role == role) and (name is None or node.name == name)
                and (showing is None or node.showing == showing)]

    def find(self, role=None, name=None, showing=True):
        found = self.all(role, name, showing)
        return found[0] if found else None

    def dump(self):
        return "\n".join("  " * node.depth + node.describe() for node in self.root.walk())


# --- the client ------------------------------------------------------------------------------------

class Client:
    """One run of the desktop client, found in the AT-SPI desktop by its process id."""

    def __init__(self, service, home, label="client", path_first=None):
        self.label = label
        self.home = Path(home)
        env = {k: v for k, v in os.environ.items()
               if k not in ("QT_QPA_PLATFORM", "LUMORA_ACCESS_TOKEN", "LC_ALL", "LC_MESSAGES", "LANGUAGE")}
        for sub, variable in ((".config", "XDG_CONFIG_HOME"), (".local/share", "XDG_DATA_HOME"),
                              (".cache", "XDG_CACHE_HOME")):
            (self.home / sub).mkdir(parents=True, exist_ok=True)
            env[variable] = str(self.home / sub)
        env.update({"HOME": str(self.home), "LANG": "en_US.UTF-8", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                    "LUMORA_API_BASE_URL": service.url})
        if path_first:  # programs of the test's own before the system's (a desktop's file handler)
            env["PATH"] = f"{path_first}:{env.get('PATH', '/usr/bin:/bin')}"
        self.log_path = self.home / f"{label}.log"
        self._log_file = open(self.log_path, "w")
        self.proc = subprocess.Popen([str(CLIENT)], env=env, stdout=self._log_file, stderr=subprocess.STDOUT)
        self.last_tree = self.app = self.window = None

    def _check_running(self):
        if self.proc.poll() is not None:
            raise Failure(f"the {self.label} exited with status {self.proc.returncode}")

    def output(self):
        self._log_file.closed or self._log_file.flush()
        return self.log_path.read_text(errors="replace").strip()[-4000:] or "(nothing)"

    def attach(self, timeout=DEFAULT_TIMEOUT):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self._check_running()
            desktop = Atspi.get_desktop(0)
            desktop.clear_cache()
            for i in range(desktop.get_child_count()):
                app = desktop.get_child_at_index(i)
                try:
                    if app is not None and app.get_process_id() == self.proc.pid:
                        self.app = app
                        return
                except GLib.Error:
                    continue  # an application that went away while we looked
            time.sleep(POLL_INTERVAL)
        raise Failure(f"the {self.label} did not appear on the AT-SPI desktop within {timeout:.0f} s")

    def tree(self):
        """A fresh snapshot. Read object by object, it can mix old and new while the screen changes:
        check absences with wait_for over a while rather than on one snapshot."""
        for _ in range(40):
            self._check_running()
            self.app.clear_cache()
            try:
                self.last_tree = Tree(Node(self.app, 0))
                return self.last_tree
            except (GLib.Error, TreeChanged):
                time.sleep(POLL_INTERVAL)
        raise Failure(f"the accessible tree of the {self.label} kept changing while being read")

    def wait_for(self, what, predicate, timeout=DEFAULT_TIMEOUT, abort=None, missing=None):
        """Polls until predicate(tree) is truthy and returns it; fails at once with what abort(tree)
        returns, and on timeout naming what and missing()."""
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
                raise Failure(f"timed out after {timeout:.0f} s waiting for {what}"
                              + (f"; missing: {missing()}" if missing else ""))
            time.sleep(POLL_INTERVAL)

    def wait_for_all(self, what, requirements, timeout=DEFAULT_TIMEOUT, abort=None):
        """Polls until every requirement (description -> predicate) holds in one snapshot, returned."""
        missing = list(requirements)

        def all_hold(tree):
            missing[:] = [name for name, holds in requirements.items() if not holds(tree)]
            return not missing and tree
        return self.wait_for(what, all_hold, timeout, abort, missing=lambda: "; ".join(missing))

    def node(self, role, name):
        node = self.tree().find(role, name)
        expect(node is not None, f"no showing {role} named {name!r}")
        return node

    def _xdotool(self, *args):
        result = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=10)
        expect(result.returncode == 0, f"xdotool {' '.join(args)} failed: {result.stderr.strip()}")
        return result.stdout

    def focus_window(self):
        deadline = time.monotonic() + DEFAULT_TIMEOUT
        while self.window is None:
            self._check_running()
            ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid), "--name",
                                  "^Lumora$"], capture_output=True, text=True, timeout=10).stdout.split()
            self.window = ids[0] if ids else None
            expect(ids or time.monotonic() < deadline, f"no visible X window 'Lumora' of the {self.label}")
            time.sleep(0 if ids else POLL_INTERVAL)
        self._xdotool("windowfocus", "--sync", self.window)

    def click(self, node):
        """A left click in the middle of the node's on-screen extents."""
        e = node.extents
        expect(node.showing and e is not None and e.width > 0 and e.height > 0,
               f"cannot click {node.describe()}: it has no area on screen")
        self.focus_window()
        x, y = e.x + e.width // 2, e.y + e.height // 2
        # mousemove --sync waits for a motion, and there is none when the pointer is there already.
        here = dict(line.split("=") for line in self._xdotool("getmouselocation", "--shell").split())
        sync = ["--sync"] if (int(here["X"]), int(here["Y"])) != (x, y) else []
        self._xdotool("mousemove", *sync, str(x), str(y), "click", "1")

    def type_into(self, node, text):
        """Replaces a field's text: click it, select all, type (the fields have no EditableText)."""
        self.click(node)
        self._xdotool("key", "--clearmodifiers", "ctrl+a")
        if text:
            self._xdotool("type", "--clearmodifiers", "--delay", "5", text)
        else:
            self._xdotool("key", "--clearmodifiers", "BackSpace")

    def press(self, key):
        self.focus_window()
        self._xdotool("key", "--clearmodifiers", key)

    def type_text(self, text):
        """Types into whatever has the keyboard focus, without touching the pointer."""
        self.focus_window()
        self._xdotool("type", "--clearmodifiers", "--delay", "5", text)

    def pointer(self):
        here = dict(line.split("=") for line in self._xdotool("getmouselocation", "--shell").split())
        return int(here["X"]), int(here["Y"])

    def stop(self):
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

    def launch(self, home_name="home", label="client", path_first=None):
        client = Client(self.service, self.workdir / home_name, label, path_first)
        self.clients.append(client)  # first, so that it is stopped and reported whatever happens next
        client.attach()
        return client

    def report(self):
        """The accessible tree and output of every client, and the end of the service log."""
        for client in self.clients:
            tree = client.last_tree
            if client.proc.poll() is None and client.app is not None:
                try:
                    tree = client.tree()
                except (GLib.Error, Failure):
                    pass
            print(f"\n--- accessible tree of the {client.label} ---\n{tree.dump() if tree else '(never read)'}"
                  f"\n\n--- output of the {client.label} ---\n{client.output()}", flush=True)
        if self.service:
            print("\n--- service log ---\n" + "\n".join(self.service.lines[-40:]), flush=True)

    def close(self):
        for client in self.clients:
            client.stop()
        if self.service:
            self.service.stop()
        shutil.rmtree(self.workdir, ignore_errors=True)


def main(scenarios):
    """Runs the scenario named on the command line. Exit status 0 when it passes, 1 with the reason,
    the trees and the output when not."""
    if len(sys.argv) != 2 or sys.argv[1] not in scenarios:
        sys.exit(f"usage: {Path(sys.argv[0]).name} {{{'|'.join(sorted(scenarios))}}}")
    status = run_isolated()
    if status is not None:
        return status
    name = sys.argv[1]
    scenario = Scenario()
    try:
        scenarios[name](scenario)
    except Exception as failure:  # noqa: BLE001 - every failure gets the trees and logs
        detail = failure if isinstance(failure, (Failure, AssertionError)) else traceback.format_exc()
        print(f"FAIL {name}: {detail}", flush=True)
        scenario.report()
        return 1
    finally:
        scenario.close()
    log(f"PASS {name}")
    return 0
