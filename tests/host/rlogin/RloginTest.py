"""The door server for other boards: the host takes RLogin calls of the
boards the sysop named, from Debian's rlogin under pexpect and from a small
client of the test's own where the bytes must be exact (window changes,
bad handshakes)."""

import getpass
import os
import socket
import struct
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import pexpect  # noqa: E402

from board import TIMEOUT, ZENBO, Board  # noqa: E402

# Debian's rlogin sends the local user's name as its client user name: the
# board it stands for has that as its secret.
LOCAL_USER = getpass.getuser()
OTHER_SECRET = "k7Qm2ZpX9vLr4TnW8sYd"


class RloginLine:
    """A board's RLogin client over a plain socket, from a loopback address
    of its choice: the handshake, the server's answer, the urgent question
    for the window's size and the text that comes."""

    def __init__(self, port, secret, name, terminal="ansi-bbs/38400",
                 source="127.0.0.1", handshake=None):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.socket.settimeout(TIMEOUT)
        self.socket.bind((source, 0))
        self.socket.connect(("127.0.0.1", port))
        if handshake is None:
            handshake = b"\0" + b"\0".join(
                part.encode("latin-1") for part in (secret, name, terminal)
            ) + b"\0"
        self.socket.sendall(handshake)
        self.text = b""

    def answer(self):
        """The server's first byte: 0 takes the call, 1 refuses it."""
        first = self.socket.recv(1)
        return first

    def urgent(self):
        """The urgent byte the server sent (its window question)."""
        deadline = time.time() + TIMEOUT
        while time.time() < deadline:
            try:
                return self.socket.recv(1, socket.MSG_OOB | socket.MSG_DONTWAIT)
            except (BlockingIOError, OSError):
                # Not there yet, or the normal data must be read first.
                try:
                    data = self.socket.recv(65536, socket.MSG_DONTWAIT)
                    self.text += data
                except BlockingIOError:
                    pass
                time.sleep(0.02)
        raise AssertionError("no urgent byte came")

    def window(self, columns, rows):
        self.socket.sendall(b"\xff\xffss" + struct.pack(">HHHH", rows, columns,
                                                         0, 0))

    def send(self, keys):
        self.socket.sendall(keys.encode("latin-1"))

    def expect(self, text):
        wanted = text.encode("latin-1")
        deadline = time.time() + TIMEOUT
        while wanted not in self.text:
            if time.time() > deadline:
                raise AssertionError("no %r in %r" % (wanted,
                                                      self.text[-400:]))
            self.socket.settimeout(0.5)
            try:
                data = self.socket.recv(65536)
            except socket.timeout:
                continue
            if not data:
                raise AssertionError("the line closed before %r: %r"
                                     % (wanted, self.text[-400:]))
            self.text += data
        at = self.text.index(wanted) + len(wanted)
        seen, self.text = self.text[:at], self.text[at:]
        return seen

    def rest(self):
        """Everything until the server closes the line."""
        self.socket.settimeout(TIMEOUT)
        while True:
            data = self.socket.recv(65536)
            if not data:
                return self.text
            self.text += data

    def close(self, force=False):
        self.socket.close()


class RloginBoardTest(unittest.TestCase):
    options = ("--failure-delay", "0.2", "--grace", "30")

    def setUp(self):
        self.board = Board(*self.options)
        config = os.path.join(self.board.folder, "zenbo.toml")
        with open(config, "w") as out:
            out.write('[[boards]]\ntag = "DEBIAN"\nsecret = "%s"\n'
                      'addresses = ["127.0.0.1"]\n\n'
                      '[[boards]]\ntag = "OTHER"\nsecret = "%s"\n'
                      'addresses = ["127.0.0.1", "::1"]\nmax-callers = 2\n'
                      % (LOCAL_USER, OTHER_SECRET))
        self.board.options += ["--config", config, "--rlogin", "127.0.0.1:0"]
        self.board.start()
        found = self.board.wait_for_log(
            r"taking RLogin calls of other boards at \S+ port (\d+)")
        self.port = int(found.group(1))

    def tearDown(self):
        self.board.stop()

    def zenbo(self, *arguments, expect=0):
        result = subprocess.run([ZENBO, *arguments], capture_output=True,
                                timeout=TIMEOUT, env=self.board.environment)
        self.assertEqual(expect, result.returncode,
                         (arguments, result.stdout, result.stderr))
        return result.stdout.decode("latin-1")

    def dial(self, secret, name, **options):
        line = RloginLine(self.port, secret, name, **options)
        self.board.callers.append(line)
        return line

    def new_player(self, line, name):
        self.assertEqual(b"\0", line.answer())
        line.expect("What name would you like? [%s] : " % name)
        line.send("\r")
        line.expect("is this correct")
        line.send("y")
        line.expect("<%s : Town> " % name)

    def rlogin(self, name):
        caller = pexpect.spawn("rlogin", ["-p", str(self.port), "-l", name,
                                          "127.0.0.1"],
                               env=self.board.environment, encoding="latin-1",
                               timeout=TIMEOUT, dimensions=(30, 100))
        self.board.callers.append(caller)
        return caller


class RloginTest(RloginBoardTest):
    def test_whole_visit_of_a_named_boards_caller(self):
        # Another board's caller is on the Wall of Fame first.
        kit = self.dial(OTHER_SECRET, "Kit")
        self.new_player(kit, "Kit@OTHER")
        kit.send("q")
        kit.rest()

        caller = self.rlogin("Ash")
        caller.expect(r"What name would you like\? \[Ash@DEBIAN\] : ")
        caller.send("\r")
        caller.expect("is this correct")
        caller.send("y")
        caller.expect("<Ash@DEBIAN : Town> ")
        caller.send("w")
        caller.expect("Welcome to The Wall of Fame")
        caller.expect("Town> ")
        self.assertIn("Kit@OTHER", caller.before)

        who = self.zenbo("who")
        self.assertRegex(who, r"\nAsh@DEBIAN +rlogin +127\.0\.0\.1 +0:0\d +in"
                              r" the door, \d+x\d+ xterm\n")
        caller.send("c")
        caller.expect("Caves 1> ")
        # A search may find a lucky event instead of a monster.
        for _ in range(20):
            caller.send("f")
            if caller.expect(["You are fighting a viscious looking",
                              "Caves 1> "]) == 0:
                break
        else:
            self.fail("no monster in 20 searches")
        caller.expect("What will you do\\?")
        for _ in range(100):
            caller.send("a")
            which = caller.expect(["What will you do\\?", "Caves 1> ",
                                   "Try again tomorrow!"])
            if which != 0:
                break
        if which == 1:
            caller.send("q")
        # Leaving the door ends the call: back at the caller's board.
        caller.expect(pexpect.EOF)
        caller.close()
        self.assertEqual(0, caller.exitstatus)

        self.board.wait_for_log("Ash@DEBIAN left the door")
        log = self.board.log()
        self.assertIn("a call of DEBIAN's board from 127.0.0.1 for Ash", log)
        self.assertIn("Ash@DEBIAN entered the door", log)
        self.assertTrue(os.path.exists(
            self.board.path("home/Zenbo/doors/vrask/users/Ash@DEBIAN")))
        # The secret is never logged when it was right.
        self.assertNotIn(OTHER_SECRET, log)

    def test_two_boards_callers_of_one_name_are_two_characters(self):
        first = self.dial(LOCAL_USER, "Ash")
        self.new_player(first, "Ash@DEBIAN")
        second = self.dial(OTHER_SECRET, "Ash")
        self.new_player(second, "Ash@OTHER")
        who = self.zenbo("who")
        self.assertIn("Ash@DEBIAN", who)
        self.assertIn("Ash@OTHER", who)
        for name in ("Ash@DEBIAN", "Ash@OTHER"):
            self.assertTrue(os.path.exists(
                self.board.path("home/Zenbo/doors/vrask/users/" + name)))
        # A third of one board beyond its limit of two is turned away.
        third = self.dial(OTHER_SECRET, "Bo")
        self.new_player(third, "Bo@OTHER")
        fourth = self.dial(OTHER_SECRET, "Cy")
        self.assertEqual(b"\1", fourth.answer())
        self.assertIn(b"All the callers your board may have here are playing",
                      fourth.rest())

    def test_window_change_is_seen_by_the_board(self):
        line = self.dial(LOCAL_USER, "Wren", terminal="vt102/9600")
        self.assertEqual(b"\0", line.answer())
        self.assertEqual(b"\x80", line.urgent())
        line.window(100, 30)
        line.expect("What name would you like? [Wren@DEBIAN] : ")
        # A telnet caller's who-is-online shows the RLogin caller's window.
        telnet = self.board.call()
        telnet.send("Birch\r")
        telnet.expect("Choose a password")
        telnet.send("secret123\r")
        telnet.expect("again: ")
        telnet.send("secret123\r")
        telnet.expect("Your choice: ")
        telnet.send("w")
        telnet.expect(r"Wren@DEBIAN +in the door +0:0\d +vt102 100x30 +rlogin")
        # A change cut in two across the line's reads.
        line.socket.sendall(b"\xff\xff")
        time.sleep(0.2)
        line.socket.sendall(b"ss" + struct.pack(">HHHH", 40, 132, 0, 0))
        time.sleep(0.2)
        telnet.send("w")
        telnet.expect(r"Wren@DEBIAN +in the door +0:0\d +vt102 132x40 +rlogin")

    def test_dropped_line_is_resumed_within_the_grace_period(self):
        line = self.dial(LOCAL_USER, "Ash")
        self.new_player(line, "Ash@DEBIAN")
        line.close()
        self.board.wait_for_log(r"Ash@DEBIAN disconnected")
        again = self.dial(LOCAL_USER, "Ash")
        self.assertEqual(b"\0", again.answer())
        # The door's last prompt again, where the session stood.
        again.expect("<Ash@DEBIAN : Town> ")
        self.board.wait_for_log("Ash@DEBIAN resumed the session")
        # A second call of the name takes the session over.
        third = self.dial(LOCAL_USER, "Ash")
        self.assertEqual(b"\0", third.answer())
        third.expect("<Ash@DEBIAN : Town> ")
        self.assertIn(b"Your session was taken over from another connection.",
                      again.rest())
        third.send("q")
        third.rest()
        self.board.wait_for_log("Ash@DEBIAN left the door")
        self.assertEqual(1, self.board.log().count("Ash@DEBIAN entered the"
                                                   " door"))


class RloginRefusalTest(RloginBoardTest):
    def test_wrong_secret_unknown_address_and_bad_handshakes_are_refused(self):
        # A wrong secret, escaped in the log, refused after a pause that
        # grows with the address's failures.
        pauses = []
        for _ in range(2):
            start = time.time()
            line = self.dial("wrong", "Ash\x1b[2J")
            self.assertEqual(b"\1", line.answer())
            self.assertIn(b"This server does not take calls from your board.",
                          line.rest())
            pauses.append(time.time() - start)
        self.assertGreaterEqual(pauses[0], 0.2)
        self.assertGreaterEqual(pauses[1], 0.4)
        log = self.board.log()
        self.assertIn('refused an RLogin call from 127.0.0.1 for'
                      ' "Ash\\x1b[2J": a wrong secret', log)
        self.assertNotIn("\x1b", log)
        # Never a secret, not even a wrong one.
        self.assertNotIn("wrong", log.replace("a wrong secret", ""))

        # The right secret from an address no board calls from.
        line = self.dial(LOCAL_USER, "Ash", source="127.0.0.2")
        self.assertEqual(b"\1", line.answer())
        self.board.wait_for_log("refused an RLogin call from 127.0.0.2: no"
                                " board calls from there")
        # A handshake that does not start with a 0 byte.
        line = self.dial(None, None, handshake=b"GET / HTTP/1.0\r\n\r\n",
                         source="127.0.0.3")
        self.assertEqual(b"\1", line.answer())
        self.board.wait_for_log("a malformed RLogin handshake from 127.0.0.3")
        # A field longer than any board sends.
        line = self.dial(None, None, handshake=b"\0" + b"x" * 5000,
                         source="127.0.0.3")
        self.assertEqual(b"\1", line.answer())
        # A name that breaks the rule for names, with a clear line.
        line = self.dial(LOCAL_USER, "Bad/Name")
        self.assertEqual(b"\1", line.answer())
        self.assertIn(b"\"Bad/Name@DEBIAN\" cannot be a user name here: the"
                      b" name holds a \"/\".", line.rest())
        # None of them reached the door.
        self.assertNotIn("entered the door", self.board.log())

    def test_failures_of_an_address_lock_it(self):
        for _ in range(10):
            line = self.dial("wrong", "Ash", source="127.0.0.4")
            self.assertEqual(b"\1", line.answer())
            line.rest()
        self.board.wait_for_log("127.0.0.4 is locked after 10 failed logins")
        # Now even the right secret is refused from there (and no other
        # board's address is locked).
        self.board.log()
        line = self.dial(LOCAL_USER, "Ash", source="127.0.0.4")
        self.assertEqual(b"\1", line.answer())
        self.board.wait_for_log("refused an RLogin call from 127.0.0.4: the"
                                " address is locked")


if __name__ == "__main__":
    unittest.main()
