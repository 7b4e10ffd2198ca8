#!/usr/bin/python3
"""Signing in to the desktop client, end to end: a real window under Xvfb, read and driven through
AT-SPI, against the real reference service with its demo data.

    /usr/bin/python3 tests/e2e/test_sign_in.py sign_in|session_restore
"""

import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lumora_e2e import expect, log, main  # noqa: E402

DEMO_USER = "amina"
DEMO_PASSWORD = "sunshine123"
DEMO_DISPLAY_NAME = "أمينة"
WRONG_SIGN_IN = "Wrong username or password"
TABS = ("Inbox", "Profile", "Settings")


def tab(tree, name, showing=True):
    # The tabs declare Accessible.PageTab, but Qt 6.4 exposes them as push buttons; SELECTED tells the
    # current one.
    return tree.find("page tab", name, showing) or tree.find("push button", name, showing)


def password_field(tree):
    # The password field carries no accessible name: it is the only password text.
    fields = tree.all(role="password text")
    expect(len(fields) == 1, f"expected one showing password field, found {len(fields)}")
    return fields[0]


def refused(tree):
    """The error line's text when the screen shows one, so that waiting for the shell stops."""
    alerts = [n.name for n in tree.all(role="alert") if n.name]
    return f"the screen shows the error {alerts[0]!r}" if alerts else None


def sign_in_screen(client):
    """Waits for the sign-in screen to be the only screen shown. Returns its tree."""
    return client.wait_for_all("the sign-in screen alone", {
        # The restoring view shows a busy indicator and a text named "Lumora"; the sign-in screen's is a heading.
        "the restoring view gone": lambda t: not [n for n in t.all(name="Lumora") if n.role not in ("frame", "heading")],
        "a text field named 'Username'": lambda t: t.find("text", "Username"),
        "a push button named 'Sign In'": lambda t: t.find("push button", "Sign In"),
        "no shell beside it": lambda t: not tab(t, "Inbox", showing=None),
    })


def shell(client, timeout=20):
    """Waits for the signed-in shell of the demo user, and for the sign-in screen to be gone."""
    client.wait_for_all("the signed-in shell", {
        **{f"a tab named {name!r}": (lambda t, name=name: tab(t, name)) for name in TABS},
        "'Inbox' the only selected tab": lambda t: [n for n in TABS if (x := tab(t, n)) and x.selected] == ["Inbox"],
        f"the header's display name {DEMO_DISPLAY_NAME!r}": lambda t: t.find("label", DEMO_DISPLAY_NAME),
        "the sign-in screen gone": lambda t: not t.find("push button", "Sign In", showing=None)
        and not t.find("text", "Username", showing=None),
    }, timeout, abort=refused)
    log("shell shown")


def sign_in_as_demo(client):
    sign_in_screen(client)
    client.click(client.node("push button", "Sign In"))
    shell(client)


def type_credentials(client, username, password):
    client.type_into(client.node("text", "Username"), username)
    client.type_into(password_field(client.tree()), password)
    client.wait_for(f"the fields to hold {username!r} and {len(password)} characters", lambda t:
                    (f := t.find("text", "Username")) is not None and f.text == username
                    and len(password_field(t).text or "") == len(password), 5)


def sign_in(scenario):
    """The sign-in screen comes pre-filled with the demo account. A refused sign-in shows the service's
    message and keeps what was typed; signing in again then reaches the shell."""
    service = scenario.start_service()
    client = scenario.launch()
    tree = sign_in_screen(client)
    expect(tree.find("text", "Username").text == DEMO_USER, "the Username field is not pre-filled with the demo user")
    expect(len(password_field(tree).text or "") == len(DEMO_PASSWORD), "the password field is not pre-filled")

    # Another user and a password of another length, so that a form that fell back to its pre-filled
    # values would show.
    type_credentials(client, "omar", "not-his-password")
    mark = service.mark()
    client.click(client.node("push button", "Sign In"))
    alert = client.wait_for("the error line", lambda t: next((n for n in t.all(role="alert") if n.name), None))
    expect(alert.name == WRONG_SIGN_IN, f"the error line says {alert.name!r}, not {WRONG_SIGN_IN!r}")
    expect(service.wait_for_request(mark, "POST", "/auth/login") == [401], "the refused sign-in was not one 401")
    tree = client.last_tree
    expect(tree.find("text", "Username").text == "omar"
           and len(password_field(tree).text or "") == len("not-his-password"),
           "the fields lost what was typed after the refused sign-in")
    expect(not tab(tree, "Inbox"), "the shell appeared after a refused sign-in")

    # The button comes back from its loading state (Qt 6.4 reports a disabled button as enabled to
    # AT-SPI, so only signing in proves it).
    type_credentials(client, DEMO_USER, DEMO_PASSWORD)
    mark = service.mark()
    client.click(client.node("push button", "Sign In"))
    shell(client)
    expect(service.wait_for_request(mark, "POST", "/auth/login") == [200], "the sign-in was not one 200")


def session_restore(scenario):
    """A second start with the same keyring skips the sign-in screen: the stored token is checked with
    the service and the shell comes straight up."""
    service = scenario.start_service()
    first = scenario.launch(label="first client")
    sign_in_as_demo(first)
    token = subprocess.run(["secret-tool", "lookup", "server", "org.lumora.app", "user", "accessToken"],
                           capture_output=True, text=True, timeout=10).stdout.strip()
    expect(token, "after signing in, the keyring holds no accessToken for org.lumora.app")
    first.stop()

    mark = service.mark()
    second = scenario.launch(label="second client")  # the same HOME and keyring
    # The sign-in screen must not show at all, not even for a moment before the shell.
    first_screen = second.wait_for("the shell or the sign-in screen", lambda t: (
        "sign-in" if t.find("text", "Username", showing=None) or t.find("push button", "Sign In", showing=None)
        else "shell" if tab(t, "Inbox") else None))
    expect(first_screen == "shell", "the second start showed the sign-in screen instead of restoring the session")
    shell(second)
    checks = service.wait_for_request(mark, "GET", "/auth/me")
    requests = service.requests_since(mark)
    expect(200 in checks, f"the stored token was not checked: {requests}")
    expect(not any(r[:2] == ("POST", "/auth/login") for r in requests), f"the second start signed in again: {requests}")


if __name__ == "__main__":
    sys.exit(main({"sign_in": sign_in, "session_restore": session_restore}))
