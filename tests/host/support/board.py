"""What every board test in Python shares: a board (a boot volume of its
own in a temporary folder, the host serving it on free loopback ports),
callers that dial in with Debian's telnet under pexpect, over a plain socket
that speaks telnet, or with OpenSSH's client, the steps a caller takes on
the board, and a reader of the host's HTML pages."""

import contextlib
import base64
import html.parser
import os
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import tempfile
import time
import unittest

import pexpect

ZENBO = os.environ.get("ZENBO", "zenbo")
DRELMOOR = os.environ.get("DRELMOOR", "Drelmoor")
TIMEOUT = 20
PASSWORD = "secret123"
# The door's folder in the volume.
VRASK = "home/Zenbo/doors/vrask/"
# The board's records, and the accounts file of before them.
RECORDS = "home/Zenbo/records.sqlite"
ACCOUNTS_FILE = "home/Zenbo/accounts"

IAC, DONT, DO, WONT, WILL, SB, SE = 255, 254, 253, 252, 251, 250, 240
ECHO, SGA, TTYPE, NAWS = 1, 3, 24, 31
IS, SEND = 0, 1


def ssh_command(port, known_hosts, user, *arguments, methods, command=()):
    """OpenSSH's client trusting only the host keys of known_hosts, with no
    configuration or key of the user's, asking at most three passwords."""
    return ["ssh", "-F", "/dev/null", "-p", str(port),
            "-o", "UserKnownHostsFile=" + known_hosts,
            "-o", "GlobalKnownHostsFile=/dev/null",
            "-o", "StrictHostKeyChecking=yes",
            "-o", "PreferredAuthentications=" + methods,
            "-o", "PubkeyAuthentication=no",
            "-o", "NumberOfPasswordPrompts=3",
            "-o", "ConnectTimeout=5",
            *arguments, user + "@127.0.0.1", *command]


class Board:
    def __init__(self, *options, accounts=None, ways=()):
        self.folder = tempfile.mkdtemp(prefix="zenbo-telnet-")
        self.volume = os.path.join(self.folder, "boot")
        self.environment = dict(os.environ, BOOT_VOLUME=self.volume,
                                TERM="xterm")
        subprocess.run([ZENBO, "--make-volume", "--volume", self.volume],
                       check=True, capture_output=True)
        if accounts is not None:
            self.write("home/Zenbo/accounts", accounts)
        self.log_path = os.path.join(self.folder, "host.log")
        self.process = None
        self.port = None
        self.options = list(options)
        # Beside telnet: "ssh", "web".
        self.ways = list(ways)
        self.ssh_port = None
        self.web_port = None
        self.callers = []

    def start(self):
        log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            [ZENBO, "--telnet", "127.0.0.1:0", "--volume", self.volume,
             "--door", DRELMOOR]
            + [word for way in self.ways for word in ("--" + way, "127.0.0.1:0")]
            + self.options,
            stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            env=self.environment)
        log.close()
        found = self.wait_for_log(r"taking telnet callers at \S+ port (\d+)")
        self.port = int(found.group(1))
        if "ssh" in self.ways:
            found = self.wait_for_log(
                r"taking SSH callers at \S+ port (\d+) \(host key (\S+)\)")
            self.ssh_port = int(found.group(1))
            self.ssh_fingerprint = found.group(2)
        if "web" in self.ways:
            found = self.wait_for_log(
                r"serving the web terminal at \S+ port (\d+)")
            self.web_port = int(found.group(1))
        return self

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode("latin-1")

    def wait_for_log(self, pattern, timeout=TIMEOUT, count=1):
        deadline = time.time() + timeout
        while True:
            found = list(re.finditer(pattern, self.log()))
            if len(found) >= count:
                return found[count - 1]
            if self.process.poll() is not None or time.time() > deadline:
                raise AssertionError("no %r in the host's log:\n%s"
                                     % (pattern, self.log()))
            time.sleep(0.02)

    def path(self, boot_path):
        return os.path.join(self.volume, boot_path)

    def write(self, boot_path, content):
        path = self.path(boot_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as output:
            output.write(content if isinstance(content, bytes)
                         else content.encode("latin-1"))

    def read(self, boot_path):
        with open(self.path(boot_path), "rb") as source:
            return source.read().decode("latin-1")

    def records(self):
        """The board's records, opened to read beside the running host."""
        return sqlite3.connect("file:%s?mode=ro" % self.path(RECORDS),
                               uri=True, timeout=5)

    def accounts(self):
        """The accounts as the accounts file of before had them: a line per
        account, the name, a tab and the hash, a locked one's behind a !."""
        with contextlib.closing(self.records()) as records:
            rows = records.execute("SELECT name, hash, locked FROM accounts"
                                   " ORDER BY key").fetchall()
        return "".join("%s\t%s%s\n" % (name, "!" if locked else "", hash)
                       for name, hash, locked in rows)

    def call(self):
        """A caller through Debian's telnet client."""
        caller = pexpect.spawn("telnet", ["127.0.0.1", str(self.port)],
                               env=self.environment, encoding="latin-1",
                               timeout=TIMEOUT)
        self.callers.append(caller)
        caller.expect("Name: ")
        return caller

    def ssh(self, user, *arguments, methods="keyboard-interactive",
            command=(), dimensions=(24, 80)):
        """A caller through OpenSSH's client, which trusts only the host key
        that the host made in its folder of the volume."""
        known_hosts = os.path.join(self.folder, "known_hosts")
        if not os.path.exists(known_hosts):
            public = subprocess.run(
                ["ssh-keygen", "-y", "-f",
                 self.path("home/Zenbo/ssh_host_ed25519_key")],
                check=True, capture_output=True, text=True).stdout
            with open(known_hosts, "w") as known:
                known.write("[127.0.0.1]:%d %s" % (self.ssh_port, public))
        command = ssh_command(self.ssh_port, known_hosts, user, *arguments,
                              methods=methods, command=command)
        caller = pexpect.spawn(
            command[0], command[1:],
            env=dict(self.environment, HOME=self.folder),
            encoding="latin-1", timeout=TIMEOUT, dimensions=dimensions)
        self.callers.append(caller)
        return caller

    def dial(self, source="127.0.0.1", receive_buffer=None):
        """A caller over a plain socket that speaks just enough telnet, from
        a loopback address of its choice."""
        line = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer is not None:
            # Before the connection, so that the window stays small.
            line.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF,
                            receive_buffer)
        line.settimeout(TIMEOUT)
        line.bind((source, 0))
        line.connect(("127.0.0.1", self.port))
        caller = TelnetLine(line)
        self.callers.append(caller)
        return caller

    def start_bridge(self, name, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL):
        """A raw stdio bridge of the name into the door, its keys to be
        written to its standard input."""
        return subprocess.Popen([ZENBO, "--stdio", "--raw", "--user", name,
                                 "--door", DRELMOOR],
                                stdin=subprocess.PIPE, stdout=stdout,
                                stderr=stderr, env=self.environment)

    def stop(self):
        """Stops the host as a sysop does; it must end cleanly."""
        for caller in self.callers:
            caller.close(force=True)
        problem = None
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                if self.process.wait(TIMEOUT) != 0:
                    problem = "the host ended with %d" % self.process.returncode
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                problem = "the host did not stop"
        log = self.log() if os.path.exists(self.log_path) else ""
        if "Sanitizer" in log:
            problem = "the sanitizer complained"
        shutil.rmtree(self.folder, ignore_errors=True)
        if problem is not None:
            raise AssertionError("%s:\n%s" % (problem, log))


class TelnetLine:
    """The caller's end of a telnet line over a socket: it refuses every
    option the host offers, or with agree=True takes the host's echo and
    one key at a time and tells a window of 100x30 and the terminal type
    XTERM. It keeps the text apart from the commands (and every byte that
    came in `received`), so a test can send and see bytes exactly."""

    def __init__(self, line, agree=False):
        self.line = line
        self.agree = agree
        self.received = b""
        self.text = b""
        self.commands = []
        self.pending = b""

    def _answer(self, command, option):
        self.commands.append((command, option))
        if not self.agree:
            answer = {WILL: DONT, DO: WONT}.get(command)
            if answer is not None:
                self._send_quietly(bytes([IAC, answer, option]))
        elif command == WILL and option in (ECHO, SGA):
            self._send_quietly(bytes([IAC, DO, option]))
        elif command == DO and option == NAWS:
            self._send_quietly(bytes([IAC, WILL, NAWS, IAC, SB, NAWS, 0, 100,
                                      0, 30, IAC, SE]))
        elif command == DO and option == TTYPE:
            self._send_quietly(bytes([IAC, WILL, TTYPE]))
        elif command == DO:
            self._send_quietly(bytes([IAC, WONT, option]))

    def _send_quietly(self, data):
        """An answer to an option, which a host that hung up never reads."""
        try:
            self.line.sendall(data)
        except OSError:
            pass

    def _pump(self, timeout):
        """What comes within the time; False once the host has hung up."""
        self.line.settimeout(timeout)
        try:
            data = self.line.recv(65536)
        except socket.timeout:
            return True
        except ConnectionResetError:
            # A host that closes with bytes of ours unread resets the line.
            return False
        if not data:
            return False
        self.received += data
        data = self.pending + data
        self.pending = b""
        i = 0
        while i < len(data):
            if data[i] != IAC:
                self.text += data[i:i + 1]
                i += 1
                continue
            if i + 1 >= len(data):
                self.pending = data[i:]
                break
            command = data[i + 1]
            if command == IAC:
                self.text += bytes([IAC])
                i += 2
            elif command in (WILL, WONT, DO, DONT):
                if i + 2 >= len(data):
                    self.pending = data[i:]
                    break
                self._answer(command, data[i + 2])
                i += 3
            elif command == SB:
                end = data.find(bytes([IAC, SE]), i)
                if end < 0:
                    self.pending = data[i:]
                    break
                if data[i + 2:end] == bytes([TTYPE, SEND]):
                    self.commands.append((SB, TTYPE))
                    if self.agree:
                        self._send_quietly(bytes([IAC, SB, TTYPE, IS])
                                           + b"XTERM" + bytes([IAC, SE]))
                i = end + 2
            else:
                i += 2
        return True

    def expect(self, *wanted, timeout=TIMEOUT):
        """Waits for the first of the texts after what was expected before;
        returns what came up to and including it."""
        wanted = [text.encode("latin-1") if isinstance(text, str) else text
                  for text in wanted]
        deadline = time.time() + timeout
        while True:
            found = [self.text.index(text) + len(text)
                     for text in wanted if text in self.text]
            if found:
                break
            left = deadline - time.time()
            if left <= 0 or not self._pump(min(left, 0.5)):
                raise AssertionError("no %r in %r" % (wanted,
                                                      self.text[-500:]))
        at = min(found)
        seen, self.text = self.text[:at], self.text[at:]
        return seen

    # The texts are never patterns here, as they are for pexpect.
    expect_exact = expect

    def settle(self, seconds):
        """Everything that comes within the time."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            if not self._pump(max(0.01, deadline - time.time())):
                break
        seen, self.text = self.text, b""
        return seen

    def expect_closed(self, timeout=TIMEOUT):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if not self._pump(0.2):
                return
        raise AssertionError("the line stayed open")

    def send(self, data):
        self.line.sendall(data.encode("latin-1")
                          if isinstance(data, str) else data)

    def close(self, force=False):
        try:
            self.line.close()
        except OSError:
            pass


def web_request(port, target="/", headers=(), source="127.0.0.1"):
    """One HTTP request to the host's web port, with the headers given as
    (name, value) pairs (a Host of the port's own unless one is given);
    the connection, and the status and head of the answer."""
    line = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    line.settimeout(TIMEOUT)
    line.bind((source, 0))
    line.connect(("127.0.0.1", port))
    names = [name.lower() for name, _ in headers]
    head = "GET %s HTTP/1.1\r\n" % target
    if "host" not in names:
        head += "Host: 127.0.0.1:%d\r\n" % port
    for name, value in headers:
        head += "%s: %s\r\n" % (name, value)
    line.sendall(head.encode("latin-1") + b"\r\n")
    answer = b""
    while b"\r\n\r\n" not in answer:
        data = line.recv(4096)
        if not data:
            break
        answer += data
    head, _, rest = answer.partition(b"\r\n\r\n")
    status = int(head.split(b" ")[1]) if head.startswith(b"HTTP/") else 0
    return line, status, head.decode("latin-1"), rest


class WebSocketLine:
    """A web terminal's page over a plain socket: the WebSocket's
    handshake with the Origin given, keys sent as the page sends them (one
    masked binary message each), and the terminal's text kept, so that a
    test can expect it as a telnet line's."""

    def __init__(self, port, origin=None, headers=(), source="127.0.0.1"):
        key = base64.b64encode(os.urandom(16)).decode()
        origin = origin or "http://127.0.0.1:%d" % port
        self.line, self.status, self.head, self.pending = web_request(
            port, "/ws", [("Upgrade", "websocket"), ("Connection", "Upgrade"),
                          ("Sec-WebSocket-Key", key),
                          ("Sec-WebSocket-Version", "13"),
                          ("Origin", origin), *headers], source)
        self.text = b""
        # Messages that came with the handshake's answer.
        self._take_messages()

    def send(self, data):
        data = data.encode("utf-8") if isinstance(data, str) else data
        mask = os.urandom(4)
        frame = bytes([0x82])
        if len(data) < 126:
            frame += bytes([0x80 | len(data)])
        else:
            frame += bytes([0x80 | 126]) + len(data).to_bytes(2, "big")
        frame += mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data))
        self.line.sendall(frame)

    def _pump(self, timeout):
        self.line.settimeout(timeout)
        try:
            data = self.line.recv(65536)
        except socket.timeout:
            return True
        if not data:
            return False
        self.pending += data
        self._take_messages()
        return True

    def _take_messages(self):
        while len(self.pending) >= 2:
            size = self.pending[1] & 0x7f
            at = 2
            if size == 126:
                size = int.from_bytes(self.pending[2:4], "big")
                at = 4
            elif size == 127:
                size = int.from_bytes(self.pending[2:10], "big")
                at = 10
            if len(self.pending) < at + size:
                break
            if self.pending[0] & 0x0f in (1, 2):
                self.text += self.pending[at:at + size]
            self.pending = self.pending[at + size:]

    def expect(self, wanted, timeout=TIMEOUT):
        wanted = wanted.encode("utf-8") if isinstance(wanted, str) else wanted
        deadline = time.time() + timeout
        while wanted not in self.text:
            left = deadline - time.time()
            if left <= 0 or not self._pump(min(left, 0.5)):
                raise AssertionError("no %r in %r" % (wanted,
                                                      self.text[-500:]))
        at = self.text.index(wanted) + len(wanted)
        seen, self.text = self.text[:at], self.text[at:]
        return seen

    expect_exact = expect

    def close(self, force=False):
        try:
            self.line.close()
        except OSError:
            pass


# A caller's steps on the board.


def register(caller, name, password=PASSWORD, front_room=True):
    """A new name at the board's prompt, its password given twice."""
    caller.send(name + "\r")
    caller.expect_exact("Choose a password")
    caller.send(password + "\r")
    caller.expect_exact("again: ")
    caller.send(password + "\r")
    if front_room:
        caller.expect_exact("Your choice: ")


def log_in(caller, name, password=PASSWORD):
    caller.send(name + "\r")
    caller.expect_exact("Password: ")
    caller.send(password + "\r")


def enter_as_new_player(caller, name):
    """From the front room into the door, as a new character of the name
    the door offers."""
    caller.send("e")
    caller.expect_exact("What name would you like? [" + name + "] : ")
    caller.send("\r")
    caller.expect_exact("is this correct")
    caller.send("y")
    caller.expect_exact("<" + name + " : Town> ")


def fight(caller):
    """From the town into the caves, and a fight until the beastie or the
    character falls: 1 back in the caves (and then in the front room), 2 in
    the front room, the character dead."""
    caller.send("c")
    caller.expect_exact("Caves 1> ")
    # A search may find a lucky event instead of a monster.
    for _ in range(20):
        caller.send("f")
        if caller.expect_exact(["You are fighting a viscious looking",
                                "Caves 1> "]) == 0:
            break
    else:
        raise AssertionError("no monster in 20 searches")
    caller.expect_exact("What will you do?")
    for _ in range(100):
        caller.send("a")
        which = caller.expect_exact(["What will you do?", "Caves 1> ",
                                     "Your choice: "])
        if which != 0:
            break
    if which == 1:
        caller.send("q")
        caller.expect_exact("Your choice: ")
    return which


def good_bye(caller):
    """From the front room off the board: the client sees its end."""
    caller.send("g")
    caller.expect_exact("Good-bye.")
    caller.expect(pexpect.EOF)


def check_whole_visit_logged(test, board, way):
    """The host's log of Ash's first visit over the way in: connected,
    registered, logged in, in and out of the door and gone, and never the
    password."""
    board.wait_for_log("Ash left the door")
    log = board.log()
    for line in (way + " caller connected from 127.0.0.1",
                 "Ash registered from 127.0.0.1",
                 "Ash logged in from 127.0.0.1",
                 "Ash entered the door",
                 "Ash disconnected (127.0.0.1)"):
        test.assertIn(line, log)
    test.assertNotIn(PASSWORD, log)
    test.assertRegex(board.accounts(), r"^Ash\t\$argon2id\$")


def register_over_ssh(board, name, password=PASSWORD, **options):
    """A new name through the client's questions, into the front room."""
    caller = board.ssh(name, "-tt", **options)
    caller.expect_exact("There is no account %s yet: it is yours to register."
                        % name)
    caller.expect_exact("Choose a password (at least 8 characters): ")
    caller.sendline(password)
    caller.expect_exact("The same password again: ")
    caller.sendline(password)
    caller.expect_exact("%s, you are in the front room" % name)
    caller.expect_exact("Your choice: ")
    return caller


def log_in_over_ssh(board, name, *arguments, password=PASSWORD, tty=True,
                    **options):
    caller = board.ssh(name, *(("-tt",) if tty else ()), *arguments,
                       **options)
    # The board's question, or the client's own for the password method.
    caller.expect("[Pp]assword: ")
    caller.sendline(password)
    return caller


class BoardTest(unittest.TestCase):
    """A case with a board of its own, started with the class's options and
    ways in besides telnet."""
    options = ()
    ways = ()

    def setUp(self):
        self.board = Board(*self.options, ways=self.ways)
        self.board.start()

    def tearDown(self):
        self.board.stop()


# The host's pages.


class Page(html.parser.HTMLParser):
    """The rows of the page's table; every element opened is closed in
    order."""
    VOID = {"meta", "br", "link"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open = []
        self.rows = []
        self.cell = None

    def handle_starttag(self, tag, attributes):
        if tag not in self.VOID:
            self.open.append(tag)
        if tag == "tr":
            self.rows.append([])
        if tag in ("td", "th"):
            self.cell = ""

    def handle_endtag(self, tag):
        assert self.open and self.open[-1] == tag, \
            "</%s> closes %s" % (tag, self.open)
        self.open.pop()
        if tag in ("td", "th"):
            self.rows[-1].append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data
