#!/usr/bin/python3
"""Writing in a conversation, end to end: a real window under Xvfb, read and driven through AT-SPI,
against the real reference service with its demo data.

    /usr/bin/python3 tests/e2e/test_chat.py send_message|outage_retry

send_message: a message typed in the composer and sent with Return.
outage_retry: a message sent while the service is down stays as "Not sent" and goes out once on Retry.
"""

import re
import sys
import time
import uuid

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lumora_e2e import Failure, expect, log, main  # noqa: E402
from test_sign_in import DEMO_USER, shell, sign_in_screen  # noqa: E402

PEER_PASSWORD = "lumora-demo"  # every demo account but amina, admin and newbie
# The English texts of i18n/lumora_en.ts.
INBOX_TITLE = "Messages"      # inbox.title, also the inbox list's name
PLACEHOLDER = "Write a message…"  # chat.placeholder, also the composer's name
SEND = "Send"                 # chat.send
BACK = "Back"                 # chat.back
SENDING = "Sending…"          # chat.sending
NOT_SENT = "Not sent"         # chat.notSent
RETRY = "Retry"               # chat.retry
DISCARD = "Discard"           # chat.discard
POLL_WAIT = 3.5               # the chat polls every 3 s while shown
MESSAGES_PATH = re.compile(r"/conversations/([0-9a-f]+)/messages")


# --- reading the chat ------------------------------------------------------------------------------

class Bubble:
    """One message of the chat as its accessible objects read: the body label first, then the
    attachment's name, 'Sending…', 'Not sent' (an alert), Retry and Discard, the hidden ones too."""

    def __init__(self, nodes):
        labels = [n for n in nodes if n.role == "label"]
        self.label = labels[0] if labels else None
        self.body = self.label.name if self.label else None

        def shown(role, name):
            return next((n for n in nodes if n.role == role and n.name == name and n.showing), None)
        self.sending = shown("label", SENDING) is not None
        self.not_sent = shown("alert", NOT_SENT) is not None
        self.retry = shown("push button", RETRY)
        self.discard = shown("push button", DISCARD)

    @property
    def delivered(self):
        return not (self.sending or self.not_sent or self.retry or self.discard)

    @property
    def failed(self):
        return self.not_sent and self.retry is not None and self.discard is not None and not self.sending

    def describe(self):
        marks = [name for name, on in (("sending", self.sending), ("not sent", self.not_sent),
                                       ("retry", self.retry), ("discard", self.discard)) if on]
        return f"{self.body!r}" + (f" [{', '.join(marks)}]" if marks else "")


def message_list(tree):
    """The chat's list of bubbles: the one showing list that is not the inbox's; None if there is not
    exactly one (while the screen changes)."""
    lists = [n for n in tree.all(role="list") if n.name != INBOX_TITLE]
    return lists[0] if len(lists) == 1 else None


def bubbles(tree):
    """The bubbles the message list holds now, in order (the list is virtualised: those near the view).
    Each bubble's objects end with its Discard button, shown or not."""
    found, current = [], []
    listed = message_list(tree)
    for node in listed.children if listed else []:
        if node.role == "scroll bar":
            continue
        current.append(node)
        if node.role == "push button" and node.name == DISCARD:
            found.append(Bubble(current))
            current = []
    return found


def with_text(tree, text):
    return [b for b in bubbles(tree) if b.body == text]


def composer(tree):
    field = tree.find("text", PLACEHOLDER)
    expect(field is not None, f"no showing text area named {PLACEHOLDER!r}")
    return field


def composer_text(tree):
    """What the composer holds; None when it is not shown."""
    field = tree.find("text", PLACEHOLDER)
    return field.text if field else None


def last_body(tree):
    found = bubbles(tree)
    return found[-1].body if found else None


def delivered_once(tree, text):
    """None when exactly one bubble holds text, delivered, and no bubble is marked; else what is wrong."""
    found = with_text(tree, text)
    if [b.delivered for b in found] != [True]:
        return f"bubbles with the text: {[b.describe() for b in found]}"
    marked = [b.describe() for b in bubbles(tree) if not b.delivered]
    if marked:
        return f"marked bubbles {marked}"
    if tree.find("alert", NOT_SENT) or tree.find("push button", RETRY):
        return f"a showing {NOT_SENT!r} or {RETRY!r} outside the bubbles"
    return None


def is_mine(tree, bubble):
    """Own messages sit on the trailing side: the right half, in English."""
    area, label = message_list(tree).extents, bubble.label.extents
    return label.x + label.width / 2 > area.x + area.width / 2


def stays(client, what, predicate, seconds):
    """Fails unless predicate(tree) holds in every snapshot read over that many seconds."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        tree = client.tree()
        problem = predicate(tree)
        if problem:
            raise Failure(f"{what} no longer held after {seconds - (deadline - time.monotonic()):.1f} s: {problem}")
        time.sleep(0.1)
    log(f"{what}: held for {seconds:.1f} s")


# --- the steps -------------------------------------------------------------------------------------

def signed_in(scenario):
    service = scenario.start_service()
    client = scenario.launch()
    sign_in_screen(client)
    client.click(client.node("push button", "Sign In"))
    shell(client)
    return service, client


def inbox_rows(tree):
    inbox = tree.find("list", INBOX_TITLE)
    return [n for n in inbox.children if n.role == "push button"] if inbox else []


def open_conversation(client, service, title):
    """Clicks the inbox row of that title and waits for its chat with its messages. Returns the path of
    the conversation's messages on the service (it is read there as the chat opens)."""
    row = client.wait_for(f"the inbox row {title!r}",
                          lambda t: next((r for r in inbox_rows(t) if r.name == title), None))
    mark = service.mark()
    client.click(row)
    client.wait_for_all(f"the chat with {title!r}", {
        f"a heading {title!r}": lambda t: t.find("heading", title),
        f"a push button {BACK!r}": lambda t: t.find("push button", BACK),
        f"a text area {PLACEHOLDER!r}": lambda t: t.find("text", PLACEHOLDER),
        f"a push button {SEND!r}": lambda t: t.find("push button", SEND),
        "the inbox list gone": lambda t: not t.find("list", INBOX_TITLE, showing=None),
        "bubbles with text": lambda t: [b for b in bubbles(t) if b.body],
    })
    loads = [p for m, p, s in service.requests_since(mark) if m == "GET" and MESSAGES_PATH.fullmatch(p)]
    expect(len(loads) >= 1 and len(set(loads)) == 1,
           f"opening the chat read the messages of {sorted(set(loads))} (expected one conversation)")
    log(f"chat with {title!r} open ({loads[0]})")
    return loads[0]


def unique_text():
    return f"e2e message {uuid.uuid4().hex[:12]}"


def write_and_return(client, text):
    """Clicks the composer, types text, sees it there, presses Return."""
    client.type_into(composer(client.tree()), text)
    client.wait_for(f"the composer to hold {text!r}", lambda t: composer_text(t) == text, 5)
    client.press("Return")


def posts(service, mark, path):
    return [s for m, p, s in service.requests_since(mark) if (m, p) == ("POST", path)]


def peer_copies(service, peer, path, text):
    """The messages with that body the peer reads in the conversation, each checked to come from the
    demo user."""
    token = service.sign_in(peer, PEER_PASSWORD)
    status, conversations = service.call("GET", "/conversations", token)
    expect(status == 200, f"GET /conversations as {peer} was answered {status}")
    conversation_id = MESSAGES_PATH.fullmatch(path).group(1)
    conversation = next((c for c in conversations if c["id"] == conversation_id), None)
    expect(conversation is not None, f"{peer} is not in the conversation {conversation_id}")
    sender = next((m["user"]["id"] for m in conversation["members"] if m["user"]["username"] == DEMO_USER), None)
    status, messages = service.call("GET", path, token)
    expect(status == 200, f"GET {path} as {peer} was answered {status}")
    copies = [m for m in messages if m.get("body") == text]
    expect(all(m["senderId"] == sender for m in copies),
           f"the message {text!r} reached {peer} from {[m['senderId'] for m in copies]}, not from "
           f"{DEMO_USER} ({sender})")
    return copies


# --- the scenarios ---------------------------------------------------------------------------------

def send_message(scenario):
    """Return in the composer sends: the text shows as the user's own bubble at the end of the chat,
    goes to the service once, and the composer is empty again; a poll later it is still there once,
    the peer has it once, and the inbox leads with the conversation, the text as its preview."""
    service, client = signed_in(scenario)
    title, peer = "Sara Al Mansoori", "sara"  # not the inbox's first row, so moving up shows
    path = open_conversation(client, service, title)

    text = unique_text()
    mark = service.mark()
    write_and_return(client, text)
    tree = client.wait_for_all("the message sent", {
        f"one bubble {text!r}, delivered, none marked": lambda t: not delivered_once(t, text),
        "it is the last bubble": lambda t: last_body(t) == text,
        "the composer empty": lambda t: composer_text(t) == "",
    }, timeout=10)
    log("message shown as sent")
    expect(is_mine(tree, with_text(tree, text)[0]),
           f"the sent message's bubble is on the peer's side: {with_text(tree, text)[0].label.describe()}")
    statuses = service.wait_for_request(mark, "POST", path)
    expect(statuses == [201], f"expected one POST {path} answered 201 for the message, the service "
           f"logged {len(statuses)} answered {statuses}")

    post_mark = service.mark()
    stays(client, "the message shown once, delivered, the composer empty", lambda t: (
        delivered_once(t, text) or (f"the composer holds {composer_text(t)!r}" if composer_text(t) != "" else None)),
        POLL_WAIT)
    polled = [s for m, p, s in service.requests_since(post_mark) if (m, p) == ("GET", path)]
    expect(200 in polled, f"the chat did not poll {path} in the {POLL_WAIT} s after sending: {polled}")
    expect(posts(service, mark, path) == [201], f"the message was posted more than once: {posts(service, mark, path)}")
    copies = peer_copies(service, peer, path, text)
    expect(len(copies) == 1, f"{peer} reads the message {len(copies)} times, not once")

    client.click(client.node("push button", BACK))
    client.wait_for_all("the inbox leading with the conversation", {
        f"the first row {title!r}": lambda t: inbox_rows(t)[:1] and inbox_rows(t)[0].name == title,
        f"its preview {text!r}": lambda t: inbox_rows(t)[:1] and any(
            n.role == "label" and n.name == text for n in inbox_rows(t)[0].walk()),
        "the chat gone": lambda t: not t.find("text", PLACEHOLDER, showing=None),
    })


def outage_retry(scenario):
    """With the service down a sent message stays in the chat marked 'Not sent' with Retry and Discard,
    through failed polls and through a successful one once the service is back; Retry then sends it,
    the mark goes, and the service and the chat hold it exactly once."""
    service, client = signed_in(scenario)
    title, peer = "عمر الفاروق", "omar"
    path = open_conversation(client, service, title)

    service.stop(kill=True)  # the database and the port stay for the restart
    text = unique_text()
    write_and_return(client, text)

    def failed_once(t):
        found = with_text(t, text)
        if [b.failed for b in found] != [True]:
            return f"bubbles with the text: {[b.describe() for b in found]}"
        if last_body(t) != text:
            return f"the last bubble holds {last_body(t)!r}"
        return None
    tree = client.wait_for_all("the message marked as not sent", {
        f"one bubble {text!r} marked {NOT_SENT!r}, with {RETRY!r} and {DISCARD!r}, the last":
            lambda t: not failed_once(t),
        "the composer empty": lambda t: composer_text(t) == "",
    }, timeout=10)
    expect(is_mine(tree, with_text(tree, text)[0]),
           f"the unsent message's bubble is on the peer's side: {with_text(tree, text)[0].label.describe()}")
    log("message marked as not sent")
    stays(client, "the unsent message, while the service is down", failed_once, POLL_WAIT)

    restart_mark = service.mark()
    service.restart()
    polled = service.wait_for_request(restart_mark, "GET", path, timeout=POLL_WAIT + 2)
    expect(200 in polled, f"the chat did not poll {path} within {POLL_WAIT + 2} s of the restart: {polled}")
    # The poll's reply is in; the failed message must still be there, and not be sent by itself.
    stays(client, "the unsent message, after a poll of the restarted service", failed_once, 0.5)
    expect(posts(service, restart_mark, path) == [],
           f"the client posted to {path} before Retry: {posts(service, restart_mark, path)}")

    client.click(with_text(client.tree(), text)[0].retry)

    client.wait_for(f"the retried message delivered, no {NOT_SENT!r} left",
                    lambda t: not delivered_once(t, text), timeout=10,
                    missing=lambda: delivered_once(client.last_tree, text))
    log("retried message shown as sent")
    statuses = service.wait_for_request(restart_mark, "POST", path)
    expect(statuses == [201], f"expected one POST {path} answered 201 after the restart, the service "
           f"logged {len(statuses)} answered {statuses}")

    post_mark = service.mark()
    stays(client, "the retried message shown once, delivered", lambda t: delivered_once(t, text), POLL_WAIT)
    polled = [s for m, p, s in service.requests_since(post_mark) if (m, p) == ("GET", path)]
    expect(200 in polled, f"the chat did not poll {path} in the {POLL_WAIT} s after the retry: {polled}")
    expect(posts(service, restart_mark, path) == [201],
           f"the message was posted more than once: {posts(service, restart_mark, path)}")
    copies = peer_copies(service, peer, path, text)
    expect(len(copies) == 1, f"{peer} reads the message {len(copies)} times, not once")


if __name__ == "__main__":
    sys.exit(main({"send_message": send_message, "outage_retry": outage_retry}))
