#!/usr/bin/python3
"""Writing in a conversation, end to end: a real window under Xvfb, read and driven through AT-SPI,
against the real reference service with its demo data.

    /usr/bin/python3 tests/e2e/test_chat.py send_message|outage_retry

send_message: a message typed in the composer and sent with Return.
outage_retry: a message sent while the service is down stays as "Not sent" and goes out once on Retry.
open_save: a received file opened with the desktop's handler, then saved with Save as….
kept_after_kill: a message not sent and a draft come back after the client is killed (SIGKILL).
offline_start: started again with the service down, the client shows the last inbox and a chat read before.
"""

import os
import re
import sys
import time
import uuid
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lumora_e2e import Failure, expect, log, main  # noqa: E402
from test_sign_in import shell, sign_in_as_demo, tab  # noqa: E402

# The English texts of i18n/lumora_en.ts.
INBOX_TITLE = "Messages"          # inbox.title, also the inbox list's name
PLACEHOLDER = "Write a message…"  # chat.placeholder, also the composer's name
NOT_SENT, RETRY, DISCARD, SENDING = "Not sent", "Retry", "Discard", "Sending…"
POLL_WAIT = 3.5                   # the chat polls every 3 s while shown
MESSAGES_PATH = re.compile(r"/conversations/([0-9a-f]+)/messages")


class Bubble:
    """One message of the chat as its accessible objects read: the list item (its name is what a
    reader hears), the body label first, then the attachment's name, 'Sending…', 'Not sent' (an
    alert), Retry and Discard when they show."""

    def __init__(self, nodes):
        labels = [n for n in nodes if n.role == "label"]
        self.label = labels[0] if labels else None
        self.body = self.label.name if self.label else None
        shown = {(n.role, n.name) for n in nodes if n.showing}
        self.sending = ("label", SENDING) in shown
        self.not_sent = ("alert", NOT_SENT) in shown
        self.retry = next((n for n in nodes if n.role == "push button" and n.name == RETRY and n.showing), None)
        self.discard = ("push button", DISCARD) in shown
        self.delivered = not (self.sending or self.not_sent or self.retry or self.discard)
        self.failed = self.not_sent and self.retry is not None and self.discard and not self.sending

    def describe(self):
        return f"{self.body!r} sending={self.sending} not_sent={self.not_sent} retry={bool(self.retry)}"


def message_list(tree):
    """The chat's list: the one showing list that is not the inbox's; None while the screen changes."""
    lists = [n for n in tree.all(role="list") if n.name != INBOX_TITLE]
    return lists[0] if len(lists) == 1 else None


def bubbles(tree):
    """The bubbles the (virtualised) list holds now, in order: its list items."""
    return [Bubble(list(node.walk())) for node in getattr(message_list(tree), "children", [])
            if node.role == "list item"]


def with_text(tree, text):
    return [b for b in bubbles(tree) if b.body == text]


def composer_text(tree):
    return getattr(tree.find("text", PLACEHOLDER), "text", None)


def last_body(tree):
    return ([None] + [b.body for b in bubbles(tree)])[-1]


def delivered_once(tree, text):
    """None when exactly one bubble holds text, delivered, and nothing is marked; else what is wrong."""
    found = with_text(tree, text)
    if [b.delivered for b in found] != [True]:
        return f"bubbles with the text: {[b.describe() for b in found]}"
    marked = [b.describe() for b in bubbles(tree) if not b.delivered]
    return f"marked bubbles {marked}" if marked or tree.find("alert", NOT_SENT) else None


def is_mine(tree, text):
    """Own messages sit on the trailing side: the right half, in English."""
    area, label = message_list(tree).extents, with_text(tree, text)[0].label.extents
    return label.x + label.width / 2 > area.x + area.width / 2


def stays(client, what, predicate, seconds):
    """Fails unless predicate(tree) returns nothing in every snapshot read over that many seconds."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        problem = predicate(client.tree())
        if problem:
            raise Failure(f"{what} no longer held: {problem}")
        time.sleep(0.1)


def inbox_rows(tree):
    inbox = tree.find("list", INBOX_TITLE)
    # Declared list items; Qt 6.4 exposes a button as a push button whatever role it declares.
    return [n for n in inbox.children if n.role in ("list item", "push button")] if inbox else []


def row_title(row):
    """A row reads "Omar, verified, 2 unread, 16:52, See you": its title comes first."""
    return row.name.split(", ")[0]


def open_conversation(scenario, title, before=None, path_first=None):
    """Signs in, opens the inbox row of that title and waits for its chat with its messages. Returns the
    service, the client and the path of the conversation's messages on the service. before(service)
    runs once the service is up; path_first goes first on the client's PATH."""
    service = scenario.start_service()
    if before:
        before(service)
    client = scenario.launch(path_first=path_first)
    sign_in_as_demo(client)
    row = client.wait_for(f"the inbox row {title!r}", lambda t: next((r for r in inbox_rows(t) if row_title(r) == title), None))
    mark = service.mark()
    client.click(row)
    client.wait_for_all(f"the chat with {title!r}", {
        f"a heading {title!r}": lambda t: t.find("heading", title),
        "the composer": lambda t: composer_text(t) is not None,
        "the inbox list gone": lambda t: not t.find("list", INBOX_TITLE, showing=None),
        "bubbles with text": lambda t: [b for b in bubbles(t) if b.body],
    })
    loads = {p for m, p, s in service.requests_since(mark) if m == "GET" and MESSAGES_PATH.fullmatch(p)}
    expect(len(loads) == 1, f"opening the chat read the messages of {sorted(loads)} (expected one conversation)")
    return service, client, loads.pop()


def write_and_return(client, text):
    client.type_into(client.tree().find("text", PLACEHOLDER), text)
    client.wait_for(f"the composer to hold {text!r}", lambda t: composer_text(t) == text, 5)
    client.press("Return")


def answered(statuses):
    """Whether a poll was answered: with the list, or with 304 when it had not changed."""
    return any(status in (200, 304) for status in statuses)


def posts(service, mark, path):
    return [s for m, p, s in service.requests_since(mark) if (m, p) == ("POST", path)]


def check_delivered_once(client, service, mark, path, text):
    """Over a poll, which brings the service's copy, the bubble stays delivered once; the service got it
    once."""
    post_mark = service.mark()
    stays(client, "the message shown once, delivered", lambda t: delivered_once(t, text), POLL_WAIT)
    polled = [s for m, p, s in service.requests_since(post_mark) if (m, p) == ("GET", path)]
    expect(answered(polled), f"the chat did not poll {path} in the {POLL_WAIT} s after sending: {polled}")
    expect(posts(service, mark, path) == [201], f"the message was not posted exactly once: {posts(service, mark, path)}")


def send_message(scenario):
    """Return in the composer sends: the text shows as the user's own bubble at the end of the chat, goes
    to the service once, the composer empties; the inbox then leads with the conversation, the text as
    its preview."""
    title = "Sara Al Mansoori"  # not the inbox's first row, so moving up shows
    service, client, path = open_conversation(scenario, title)
    text = f"e2e message {uuid.uuid4().hex[:12]}"
    mark = service.mark()
    write_and_return(client, text)
    tree = client.wait_for_all("the message sent", {
        f"one bubble {text!r}, delivered, none marked": lambda t: not delivered_once(t, text),
        "it is the last bubble": lambda t: last_body(t) == text,
        "the composer empty": lambda t: composer_text(t) == "",
    }, timeout=10)
    expect(is_mine(tree, text), "the sent message's bubble is on the peer's side")
    check_delivered_once(client, service, mark, path, text)

    client.click(client.node("push button", "Back"))
    client.wait_for_all("the inbox leading with the conversation", {
        f"the first row {title!r}": lambda t: inbox_rows(t)[:1] and row_title(inbox_rows(t)[0]) == title,
        f"its preview {text!r}": lambda t: inbox_rows(t)[:1] and inbox_rows(t)[0].name.endswith(", " + text),
    })


def outage_retry(scenario):
    """With the service down a sent message stays marked 'Not sent' with Retry and Discard, through
    failed polls and a successful one once the service is back; Retry then sends it, the mark goes, and
    the service and the chat hold it exactly once."""
    service, client, path = open_conversation(scenario, "عمر الفاروق")
    service.stop(kill=True)  # the database and the port stay for the restart
    text = f"e2e message {uuid.uuid4().hex[:12]}"
    write_and_return(client, text)

    def failed_once(t):
        found = with_text(t, text)
        if [b.failed for b in found] != [True] or last_body(t) != text:
            return f"the last bubble holds {last_body(t)!r}; with the text: {[b.describe() for b in found]}"
        return None
    tree = client.wait_for_all("the message marked as not sent", {
        f"one bubble {text!r}, the last, marked {NOT_SENT!r} with {RETRY!r} and {DISCARD!r}":
            lambda t: not failed_once(t),
        "the composer empty": lambda t: composer_text(t) == "",
    }, timeout=10)
    expect(is_mine(tree, text), "the unsent message's bubble is on the peer's side")
    stays(client, "the unsent message, while the service is down", failed_once, POLL_WAIT)

    restart_mark = service.mark()
    service.restart()
    polled = service.wait_for_request(restart_mark, "GET", path, timeout=POLL_WAIT + 2)
    expect(answered(polled), f"the chat did not poll {path} within {POLL_WAIT + 2} s of the restart: {polled}")
    stays(client, "the unsent message, after a poll of the restarted service", failed_once, 0.5)
    expect(posts(service, restart_mark, path) == [], "the client posted the message before Retry")

    client.click(with_text(client.tree(), text)[0].retry)
    client.wait_for(f"the retried message delivered, no {NOT_SENT!r} left", lambda t: not delivered_once(t, text),
                    timeout=10, missing=lambda: delivered_once(client.last_tree, text))
    service.wait_for_request(restart_mark, "POST", path)
    check_delivered_once(client, service, restart_mark, path, text)


def open_save(scenario):
    """Layla's file opens with the desktop's handler (a recording xdg-open) from the cache, and Save as…
    writes it, byte for byte, under its name in Downloads, where the dialog starts."""
    name, content = "train-times.txt", ("Dubai 08:15\nAbu Dhabi 09:40\n" * 200).encode()

    def layla_sends_a_file(service):
        layla = service.sign_in("layla", "lumora-demo")
        _, conversations = service.call("GET", "/conversations", layla)
        conversation = next(c["id"] for c in conversations if c.get("type") == "direct"
                            and "amina" in {m["user"]["username"] for m in c.get("members", [])})
        uploaded = service.upload(layla, name, content)
        attachment = {k: uploaded[k] for k in ("url", "mimeType", "sizeBytes", "fileName")}
        status, _ = service.call("POST", f"/conversations/{conversation}/messages", layla,
                                 {"body": "the timetable", "attachments": [attachment]})
        expect(status == 201, f"layla's message with the file was answered {status}")

    handler = scenario.workdir / "bin"
    handler.mkdir()
    opened = scenario.workdir / "opened"
    (handler / "xdg-open").write_text(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{opened}"\n')
    os.chmod(handler / "xdg-open", 0o755)
    service, client, _ = open_conversation(scenario, "Layla Haddad", layla_sends_a_file, handler)

    client.click(client.wait_for("the file's Open", lambda t: t.find("push button", "Open")))
    asked = client.wait_for("the desktop asked to open the file",
                            lambda t: opened.exists() and opened.read_text().split())[0]
    path = Path(asked.removeprefix("file://"))
    expect(path.name == name and str(path).startswith(str(client.home / ".cache/Lumora/media")),
           f"the handler was given {asked}")
    expect(path.read_bytes() == content, "the opened file is not the file sent")

    (client.home / "Downloads").mkdir(exist_ok=True)
    client.click(client.node("push button", "Save as…"))
    client.click(client.wait_for("the save dialog's Save", lambda t: t.find("push button", "Save")))
    saved = client.home / "Downloads" / name
    client.wait_for(f"{saved} written", lambda t: saved.exists() and saved.read_bytes() == content, 10)
    expect(not list((client.home / "Downloads").glob("*.part")), "a partial file was left in Downloads")


def kept_after_kill(scenario):
    """With the service down a message is sent (and kept as not sent) and a draft typed; the client is
    killed outright. Started again, with the service back, the conversation shows the message as not
    sent, with Retry and Discard, sent by nobody, and the draft in the composer."""
    title = "Sara Al Mansoori"
    service, client, path = open_conversation(scenario, title)
    service.stop(kill=True)
    text, draft = f"e2e kept {uuid.uuid4().hex[:8]}", "half a thought"
    write_and_return(client, text)
    client.wait_for("the message marked as not sent", lambda t: [b.failed for b in with_text(t, text)] == [True], 10)
    client.type_into(client.tree().find("text", PLACEHOLDER), draft)
    client.wait_for(f"the composer to hold {draft!r}", lambda t: composer_text(t) == draft, 5)
    time.sleep(1.0)  # the draft is saved half a second after the last keystroke
    client.proc.kill()
    client.proc.wait(5)

    service.restart()
    mark = service.mark()
    again = scenario.launch(label="client again")  # the same HOME and keyring: the session is restored
    shell(again)
    row = again.wait_for(f"the inbox row {title!r}", lambda t: next((r for r in inbox_rows(t) if row_title(r) == title), None))
    again.click(row)
    again.wait_for_all("the conversation as it was left", {
        f"{text!r} marked {NOT_SENT!r} with {RETRY!r} and {DISCARD!r}":
            lambda t: [b.failed for b in with_text(t, text)] == [True],
        f"the composer holding {draft!r}": lambda t: composer_text(t) == draft,
    })
    time.sleep(POLL_WAIT)
    expect(posts(service, mark, path) == [], "the restarted client sent the kept message by itself")


def offline_start(scenario):
    """A chat read, the client closed; with the service down, the next start shows the shell from what
    this computer kept: the inbox, marked offline, and the chat with its messages."""
    title = "Sara Al Mansoori"
    service, client, _ = open_conversation(scenario, title)
    seen = [b.body for b in bubbles(client.tree()) if b.body]
    client.stop()
    service.stop(kill=True)

    again = scenario.launch(label="client again")
    again.wait_for_all("the kept inbox, offline", {
        "the shell's Inbox tab": lambda t: tab(t, "Inbox"),
        "the line 'Offline — showing what was last loaded'":
            lambda t: t.find("label", "Offline — showing what was last loaded"),
        f"the inbox row {title!r}": lambda t: any(row_title(r) == title for r in inbox_rows(t)),
    })
    again.click(next(r for r in inbox_rows(again.tree()) if row_title(r) == title))
    again.wait_for(f"the chat's kept messages {seen[-2:]}",
                   lambda t: [b.body for b in bubbles(t) if b.body][-2:] == seen[-2:])


if __name__ == "__main__":
    sys.exit(main({"send_message": send_message, "outage_retry": outage_retry, "open_save": open_save,
                   "kept_after_kill": kept_after_kill, "offline_start": offline_start}))
