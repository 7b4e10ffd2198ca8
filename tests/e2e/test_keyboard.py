#!/usr/bin/python3
"""The client by keyboard alone, end to end: a real window under Xvfb, read through AT-SPI, driven by
key presses only (xdotool key and type), against the real reference service with its demo data.

    /usr/bin/python3 tests/e2e/test_keyboard.py keyboard_path

keyboard_path: sign in with Return, move to the second conversation with Down and open it with Return,
type and send with Return, go back with Escape, then Ctrl+K to a third conversation; what has the
focus is checked through AT-SPI at each step, and the pointer never moves. On the way: no hidden bubble
control in the tree, and the empty composer's Send described as unavailable.
"""

import sys
import uuid

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lumora_e2e import expect, log, main  # noqa: E402
from test_chat import INBOX_TITLE, PLACEHOLDER, composer_text, delivered_once, inbox_rows, row_title  # noqa: E402
from test_sign_in import shell, sign_in_screen  # noqa: E402

SWITCHER = "Go to conversation…"  # switcher.field
SEND, UNAVAILABLE = "Send", "Unavailable"  # chat.send, a11y.unavailable


def focused(tree):
    """The innermost showing object with the keyboard focus (a list reports it too, beside its row)."""
    found = [n for n in tree.root.walk() if n.focused and n.showing]
    return found[-1] if found else None


def keyboard_path(scenario):
    service = scenario.start_service()
    client = scenario.launch()
    sign_in_screen(client)
    client.focus_window()
    start = client.pointer()

    # The form starts in the (pre-filled) user name: Return goes to the password, Return signs in.
    client.wait_for("the user name field focused", lambda t: (f := focused(t)) and f.role == "text")
    client.press("Return")
    client.wait_for("the password field focused", lambda t: (f := focused(t)) and f.role == "password text")
    client.press("Return")
    shell(client)

    rows = client.wait_for("inbox rows, the first focused", lambda t: (r := inbox_rows(t)) and len(r) > 2
                           and r[0].focused and r)
    first, second = row_title(rows[0]), row_title(rows[1])
    log(f"the first row reads {rows[0].name!r}")
    client.press("Down")
    client.wait_for(f"the second row {second!r} focused", lambda t: (f := focused(t)) and row_title(f) == second)
    client.press("Return")
    client.wait_for_all(f"the chat with {second!r}, the composer focused", {
        f"a heading {second!r}": lambda t: t.find("heading", second),
        "the composer focused": lambda t: (f := focused(t)) and f.name == PLACEHOLDER,
    })

    # The bubbles' hidden controls are not in the tree at all (nothing here failed to send).
    tree = client.tree()
    hidden = [n.describe() for n in tree.root.walk() if n.name in ("Retry", "Discard", "Not sent", "Sending…")]
    expect(not hidden, f"hidden controls in the accessible tree: {hidden}")
    # Qt 6.4 reports every button as enabled; the description tells a disabled one.
    send = tree.find("push button", SEND)
    expect(send and send.description == UNAVAILABLE, f"the empty composer's Send reads {send and send.description!r}")
    text = f"typed {uuid.uuid4().hex[:10]}"
    client.type_text(text)
    client.wait_for(f"the composer to hold {text!r}", lambda t: composer_text(t) == text, 5)
    expect(client.tree().find("push button", SEND).description == "", "Send still reads as unavailable")
    client.press("Return")
    client.wait_for_all("the message sent", {
        f"one bubble {text!r}, delivered": lambda t: not delivered_once(t, text),
        "the composer empty": lambda t: composer_text(t) == "",
    }, timeout=10)

    client.press("Escape")
    client.wait_for("the inbox again, its list focused", lambda t: t.find("list", INBOX_TITLE)
                    and (f := focused(t)) and f in inbox_rows(t))

    third = next(row_title(r) for r in inbox_rows(client.tree()) if row_title(r) not in (first, second))
    client.press("ctrl+k")
    client.wait_for("the switcher's field focused", lambda t: (f := focused(t)) and f.name == SWITCHER)
    client.type_text(third[:4])
    client.wait_for(f"the switcher offering {third!r}",
                    lambda t: (f := focused(t)) and f.name == SWITCHER and third.startswith(f.text or "\0"))
    client.press("Return")
    client.wait_for_all(f"the chat with {third!r}", {
        f"a heading {third!r}": lambda t: t.find("heading", third),
        "the composer focused": lambda t: (f := focused(t)) and f.name == PLACEHOLDER,
    })
    expect(client.pointer() == start, "the pointer moved")
    expect(not [m for m, p, s in service.requests_since(0) if m == "POST" and p.endswith("/messages") and s != 201],
           "a send failed")


if __name__ == "__main__":
    sys.exit(main({"keyboard_path": keyboard_path}))
