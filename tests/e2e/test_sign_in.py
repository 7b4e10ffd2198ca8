#!/usr/bin/python3
"""Signing in to the desktop client, end to end: a real window under Xvfb, read and driven through
AT-SPI, against the real reference service with its demo data.

    /usr/bin/python3 tests/e2e/test_sign_in.py sign_in|wrong_password|session_restore
"""

import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lumora_e2e import expect, log, main  # noqa: E402

DEMO_USER = "amina"
DEMO_PASSWORD = "sunshine123"
DEMO_DISPLAY_NAME = "أمينة"
WRONG_SIGN_IN = "Wrong username or password"


def sign_in_screen(client):
    """Waits for the sign-in screen, and for it to be the only screen shown. Returns its Username field."""
    # The restoring view is a busy indicator and a text, both named "Lumora"; the sign-in screen's
    # own "Lumora" is a heading.
    def restoring(t):
        return [n for n in t.all(name="Lumora") if n.role not in ("frame", "heading")]
    client.wait_for("the sign-in screen (a text field named 'Username')", lambda t: t.find("text", "Username"))
    tree = client.wait_for_all("the sign-in screen alone", {
        "the restoring view gone": lambda t: not restoring(t),
        "a text field named 'Username'": lambda t: t.find("text", "Username"),
        "a push button named 'Sign In'": lambda t: t.find("push button", "Sign In"),
        "no shell beside it": lambda t: not tab(t, "Inbox", showing=None),
    }, timeout=3)
    log("sign-in screen shown")
    return tree.find("text", "Username")


def tab(tree, name, showing=True):
    # The shell's tabs declare Accessible.PageTab, but Qt 6.4 exposes them as push buttons (see the
    # report); either is accepted, the SELECTED state is what tells the current tab.
    return tree.find("page tab", name, showing) or tree.find("push button", name, showing)


def password_field(tree):
    # The password field carries no accessible name (see the report): it is the only password text.
    fields = tree.all(role="password text")
    expect(len(fields) == 1, f"expected one showing password field, found {len(fields)}")
    return fields[0]


def refused(tree):
    """The error line's text when the sign-in screen shows one, so that waiting for the shell stops."""
    alerts = [n.name for n in tree.all(role="alert") if n.name]
    return f"the sign-in screen shows the error {alerts[0]!r}" if alerts else None


def shell(client, timeout=20):
    """Waits for the signed-in shell of the demo user, and for the sign-in screen to be gone."""
    display_name = DEMO_DISPLAY_NAME
    tabs = ("Inbox", "Profile", "Settings")
    client.wait_for_all("the signed-in shell", {
        **{f"a page tab named {name!r}": (lambda t, name=name: tab(t, name)) for name in tabs},
        "'Inbox' the only selected tab": lambda t: [n for n in tabs if (x := tab(t, n)) and x.selected] == ["Inbox"],
        f"the header's display name {display_name!r} (a label)": lambda t: t.find("label", display_name),
        "the 'Sign In' button gone": lambda t: not t.find("push button", "Sign In", showing=None),
        "the 'Username' field gone": lambda t: not t.find("text", "Username", showing=None),
    }, timeout, abort=refused)
    log(f"shell shown for {display_name}")


def sign_in_logged(service, mark, status):
    statuses = service.wait_for_request(mark, "POST", "/auth/login")
    expect(statuses == [status], f"expected one POST /auth/login answered {status}, the service logged "
           f"{len(statuses)} answered {statuses}")


def sign_in(scenario):
    """No stored session: the sign-in screen, pre-filled with the demo account, signs in to the shell."""
    service = scenario.start_service()
    mark = service.mark()
    client = scenario.launch()
    username = sign_in_screen(client)
    expect(username.text == DEMO_USER, f"the Username field holds {username.text!r}, not the demo user {DEMO_USER!r}")
    password = password_field(client.last_tree)
    expect(len(password.text or "") == len(DEMO_PASSWORD),
           f"the password field holds {len(password.text or '')} characters, not the demo password's "
           f"{len(DEMO_PASSWORD)}")
    client.click(client.node("push button", "Sign In"))
    shell(client)
    sign_in_logged(service, mark, 200)


def wrong_password(scenario):
    """A refused sign-in shows the service's message, keeps what was typed, stays on the sign-in screen
    and lets the user try again."""
    service = scenario.start_service()
    client = scenario.launch()
    sign_in_screen(client)
    # Another user than the pre-filled one and a password of another length, so that a form that
    # fell back to its pre-filled values would show.
    typed_user, typed_password = "omar", "not-his-password"
    client.type_into(client.node("text", "Username"), typed_user)
    client.type_into(password_field(client.tree()), typed_password)

    def typed(tree):
        field = tree.find("text", "Username")
        return (field and field.text == typed_user
                and len(password_field(tree).text or "") == len(typed_password))
    client.wait_for(f"the fields to hold what was typed ({typed_user!r}, {len(typed_password)} characters)", typed, 5)

    mark = service.mark()
    client.click(client.node("push button", "Sign In"))
    alert = client.wait_for("the error line (a showing alert with a name)",
                            lambda t: next((n for n in t.all(role="alert") if n.name), None))
    expect(alert.name == WRONG_SIGN_IN, f"the error line says {alert.name!r}, not {WRONG_SIGN_IN!r}")
    log("wrong sign-in reported")
    sign_in_logged(service, mark, 401)

    tree = client.last_tree
    field = tree.find("text", "Username")
    expect(field is not None, "the Username field is gone after the refused sign-in")
    expect(field.text == typed_user, f"the Username field holds {field.text!r} after the refused sign-in, "
           f"not what was typed ({typed_user!r})")
    kept = len(password_field(tree).text or "")
    expect(kept == len(typed_password), f"the password field holds {kept} characters after the refused "
           f"sign-in, not the {len(typed_password)} typed")
    expect(not tab(tree, "Inbox"), "the shell's 'Inbox' tab appeared after a refused sign-in")
    # The button must come back from its loading state: signing in again below proves it (Qt 6.4's
    # accessibility bridge reports a disabled Qt Quick button as enabled, so its state proves nothing).
    client.type_into(client.node("text", "Username"), DEMO_USER)
    client.type_into(password_field(client.tree()), DEMO_PASSWORD)
    mark = service.mark()
    client.click(client.node("push button", "Sign In"))
    shell(client)
    sign_in_logged(service, mark, 200)


def stored_token():
    found = subprocess.run(["secret-tool", "lookup", "server", "org.lumora.app", "user", "accessToken"],
                           capture_output=True, text=True, timeout=10)
    return found.stdout.strip()


def session_restore(scenario):
    """A second start with the same keyring skips the sign-in screen: the stored token is checked with
    the service and the shell comes straight up."""
    service = scenario.start_service()
    first = scenario.launch(label="first client")
    sign_in_screen(first)
    first.click(first.node("push button", "Sign In"))
    shell(first)
    expect(stored_token(), "after signing in, the keyring holds no accessToken for org.lumora.app")
    first.stop()

    mark = service.mark()
    second = scenario.launch(label="second client")  # the same HOME and keyring
    # The sign-in screen must not show at all, not even for a moment before the shell.
    first_screen = second.wait_for("the shell or the sign-in screen on the second start", lambda t:
                                   ("sign-in" if t.find("text", "Username", showing=None)
                                    or t.find("push button", "Sign In", showing=None)
                                    else "shell" if tab(t, "Inbox") else None))
    expect(first_screen == "shell", "the second start showed the sign-in screen instead of restoring the session")
    shell(second)
    checks = service.wait_for_request(mark, "GET", "/auth/me")
    requests = service.requests_since(mark)
    expect(200 in checks,
           f"the second start did not check the stored token (no GET /auth/me 200); requests: {requests}")
    expect(not any(r[:2] == ("POST", "/auth/login") for r in requests),
           f"the second start signed in again instead of restoring; requests: {requests}")


if __name__ == "__main__":
    sys.exit(main({"sign_in": sign_in, "wrong_password": wrong_password, "session_restore": session_restore}))
