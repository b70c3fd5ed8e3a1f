"""The sysop's desk against a running board with real callers: zenbo spy,
chat (and a caller's page that reaches chat --wait), kick with a reason,
status and who, with hostile cases beside the happy ones: unknown names,
a reason full of escape bytes, a spy that never reads, page floods."""

import base64
import json
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

import pexpect  # noqa: E402

from board import (PASSWORD, TIMEOUT, ZENBO, Board,  # noqa: E402
                   enter_as_new_player, register, register_over_ssh)


class WebCaller:
    """Just enough of the web terminal's page: a WebSocket from the page's
    own origin, keys as binary messages, the host's bytes read back."""

    def __init__(self, port):
        self.line = socket.create_connection(("127.0.0.1", port), TIMEOUT)
        key = base64.b64encode(os.urandom(16)).decode()
        host = "127.0.0.1:%d" % port
        self.line.sendall(("GET /ws HTTP/1.1\r\nHost: %s\r\n"
                           "Origin: http://%s\r\nUpgrade: websocket\r\n"
                           "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n"
                           % (host, host, key)).encode())
        answer = b""
        while b"\r\n\r\n" not in answer:
            answer += self.line.recv(4096)
        assert answer.startswith(b"HTTP/1.1 101"), answer
        self.buffer = answer.split(b"\r\n\r\n", 1)[1]
        self.text = ""
        self._frame(0x1, b"resize 80 24")

    def _frame(self, opcode, payload):
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        length = len(payload)
        header = bytes([0x80 | opcode])
        if length < 126:
            header += bytes([0x80 | length])
        else:
            header += bytes([0x80 | 126]) + struct.pack(">H", length)
        self.line.sendall(header + mask + masked)

    def send(self, keys):
        self._frame(0x2, keys.encode("latin-1"))

    def expect(self, wanted):
        deadline = time.time() + TIMEOUT
        while wanted not in self.text:
            while len(self.buffer) >= 2:
                length = self.buffer[1] & 0x7f
                start = 2
                if length == 126:
                    length = struct.unpack(">H", self.buffer[2:4])[0]
                    start = 4
                elif length == 127:
                    length = struct.unpack(">Q", self.buffer[2:10])[0]
                    start = 10
                if len(self.buffer) < start + length:
                    break
                self.text += self.buffer[start:start + length].decode(
                    "latin-1")
                self.buffer = self.buffer[start + length:]
            if wanted in self.text:
                break
            assert time.time() < deadline, (wanted, self.text)
            self.line.settimeout(max(0.1, deadline - time.time()))
            self.buffer += self.line.recv(4096)
        self.text = self.text[self.text.index(wanted) + len(wanted):]

    def close(self):
        self.line.close()


class DeskTest(unittest.TestCase):
    options = ("--failure-delay", "0.1")
    ways = ()

    def setUp(self):
        self.board = Board(*self.options, ways=self.ways)
        self.board.start()
        self.sysops = []

    def tearDown(self):
        for sysop in self.sysops:
            sysop.close(force=True)
        self.board.stop()

    def zenbo(self, *arguments, expect=0):
        result = subprocess.run([ZENBO, *arguments], capture_output=True,
                                timeout=TIMEOUT, env=self.board.environment)
        self.assertEqual(expect, result.returncode,
                         (arguments, result.stdout, result.stderr))
        return result.stdout.decode("latin-1"), result.stderr.decode("latin-1")

    def sysop(self, *arguments):
        """A sysop's command on a terminal of its own."""
        sysop = pexpect.spawn(ZENBO, list(arguments), encoding="latin-1",
                              env=self.board.environment, timeout=TIMEOUT)
        self.sysops.append(sysop)
        return sysop

    def caller_in_the_door(self, name):
        caller = self.board.call()
        register(caller, name)
        enter_as_new_player(caller, name)
        return caller


class SpyTest(DeskTest):
    def test_spy_shows_the_callers_screen_as_it_goes(self):
        ash = self.caller_in_the_door("Ash")
        spy = self.sysop("spy", "Ash")
        # It starts on the line the caller stands on.
        spy.expect_exact("<Ash : Town> ")
        self.board.wait_for_log("the sysop started watching the screen of Ash")
        # The caller is told at the prompt, and the prompt comes back.
        ash.expect_exact("The sysop is watching your screen.")
        ash.expect_exact("<Ash : Town> ")
        ash.send("s")
        for text in ("Armor: T-Shirt and Jeans", "Gold: 100",
                     "Cave Fights left for today: 15"):
            ash.expect_exact(text)
            spy.expect_exact(text)
        ash.expect_exact("<Ash : Town> ")
        spy.expect_exact("<Ash : Town> ")
        # Ctrl-C ends the watch; the host says so and logs it.
        spy.sendintr()
        spy.expect_exact("Stopped watching.")
        spy.expect(pexpect.EOF)
        spy.close()
        self.assertEqual(0, spy.exitstatus)
        self.board.wait_for_log("the sysop stopped watching the screen of Ash")

    def test_spy_ends_when_the_caller_leaves(self):
        wren = self.board.call()
        register(wren, "Wren")
        spy = self.sysop("spy", "wren")
        spy.expect_exact("Your choice: ")
        wren.send("g")
        spy.expect_exact("Good-bye.")
        spy.expect_exact("Wren has left the board.")
        spy.expect(pexpect.EOF)

    def test_spy_of_nobody_is_refused(self):
        _, errors = self.zenbo("spy", "Nobody", expect=1)
        self.assertIn("nobody called Nobody is on the board", errors)
        _, errors = self.zenbo("spy", "Bad\x1b[2JName", expect=1)
        self.assertIn("nobody called Bad?[2JName", errors)
        self.assertNotIn("\x1b", errors)

    def test_a_spy_that_never_reads_is_let_go(self):
        ash = self.caller_in_the_door("Ash")
        # A raw request on the sysop's socket whose answers nobody reads.
        lazy = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        lazy.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        lazy.connect(os.path.join(self.board.volume, "var/run/zenbo.sysop"))
        request = b"\x01spy\0Ash\0"
        lazy.sendall(b"q" + struct.pack(">I", len(request)) + request)
        self.board.wait_for_log("the sysop started watching the screen of Ash")
        # The caller plays on at full speed while the host lets the spy go.
        for _ in range(10):
            ash.send("s" * 100)
            for _ in range(100):
                ash.expect_exact("<Ash : Town> ")
        self.board.wait_for_log("fell behind the caller's screen")
        ash.send("s")
        ash.expect_exact("<Ash : Town> ")
        lazy.close()
        # Another may watch now.
        spy = self.sysop("spy", "Ash")
        spy.expect_exact("<Ash : Town> ")


class SpyQuietlyTest(DeskTest):
    options = ("--failure-delay", "0.1", "--no-spy-notice")

    def test_the_caller_is_not_told_when_the_sysop_says_so(self):
        ash = self.caller_in_the_door("Ash")
        spy = self.sysop("spy", "Ash")
        spy.expect_exact("<Ash : Town> ")
        ash.send("s")
        ash.expect_exact("<Ash : Town> ")
        self.assertNotIn("watching", ash.before)
        self.assertIn("not told", self.board.log())


class ChatTest(DeskTest):
    def test_a_chat_carries_a_line_each_way_and_gives_the_prompt_back(self):
        ash = self.caller_in_the_door("Ash")
        # A question half answered when the sysop breaks in.
        ash.send("b")
        ash.expect_exact("<Ash : Blacksmith> ")
        ash.send("w")
        ash.expect_exact("buy?")
        ash.send("2")
        ash.expect_exact("2")
        chat = self.sysop("chat", "Ash")
        chat.expect_exact("Chat with the sysop")
        ash.expect_exact("Chat with the sysop")
        chat.send("Hello Ash\r")
        ash.expect_exact("Hello Ash")
        chat.expect_exact("Hello Ash")
        ash.send("Hi sysop\r")
        chat.expect_exact("Hi sysop")
        # The door's session waited: nothing of the caller's line reached it.
        chat.send("\x04")
        chat.expect_exact("The chat has ended.")
        chat.expect(pexpect.EOF)
        ash.expect_exact("End of the chat with the sysop.")
        ash.expect(r"buy\? ?2")
        self.board.wait_for_log("the sysop's chat with Ash ended")
        # The answer goes on where it stood.
        ash.send("\r")
        ash.expect_exact("(y/n) ")

    def test_a_page_reaches_the_sysop_who_waits(self):
        wait = self.sysop("chat", "--wait")
        wait.expect_exact("Waiting for a caller to page the sysop")
        self.board.wait_for_log("the sysop waits for a page")
        wren = self.board.call()
        register(wren, "Wren")
        wren.send("p")
        wren.expect_exact("Chat with the sysop")
        wait.expect_exact("Chat with the sysop")
        wren.send("Help!\r")
        wait.expect_exact("Help!")
        wait.send("\x1b")
        wait.expect_exact("The chat has ended.")
        wren.expect_exact("Your choice: ")
        log = self.board.log()
        self.assertIn("Wren paged the sysop", log)

    def test_a_page_shows_in_who_and_waits_for_the_sysop(self):
        wren = self.board.call()
        register(wren, "Wren")
        wren.send("p")
        wren.expect_exact("The sysop has been paged.")
        table, _ = self.zenbo("who")
        self.assertRegex(table, r"\nWren +telnet .* front room, paged, 80x24 XTERM\n")
        # A flood of pages is one page a minute.
        for _ in range(20):
            wren.send("p")
            wren.expect_exact("You paged the sysop less than a minute ago.")
        self.assertEqual(1, self.board.log().count("Wren paged the sysop"))
        # The sysop who comes to wait takes the waiting page at once.
        wait = self.sysop("chat", "--wait")
        wait.expect_exact("Chat with the sysop")
        wren.expect_exact("Chat with the sysop")
        wait.sendcontrol("d")
        wait.expect(pexpect.EOF)

    def test_chat_with_nobody_is_refused(self):
        _, errors = self.zenbo("chat", "Nobody", expect=1)
        self.assertIn("nobody called Nobody is on the board", errors)
        self.zenbo("chat", expect=2)
        self.zenbo("chat", "Ash", "--wait", expect=2)


class KickTest(DeskTest):
    def test_kick_shows_the_reason_cleaned(self):
        ash = self.caller_in_the_door("Ash")
        reason = "Be kind\x1b[2J\x07 " + "x" * 300
        out, _ = self.zenbo("kick", "Ash", "--reason", reason)
        self.assertIn("Disconnected Ash.", out)
        ash.expect_exact("The sysop has disconnected you. Good-bye.")
        ash.expect_exact("The sysop's reason: Be kind\\x1b[2J\\x07 xxx")
        ash.expect(pexpect.EOF)
        self.assertNotIn("\x1b[2J", ash.before)
        # Capped at one line of the board's notices.
        self.assertNotIn("x" * 260, ash.before)
        log = self.board.log()
        self.assertIn("the sysop disconnected Ash: Be kind\\x1b[2J\\x07 xx",
                      log)
        self.assertNotIn("\x1b", log)
        self.zenbo("kick", "Ash", "--reason", "again", expect=1)
        self.zenbo("kick", "Ash", "--reason", expect=2)


class StatusTest(DeskTest):
    def status(self):
        out, _ = self.zenbo("status", "--json")
        return json.loads(out)

    def test_status_has_every_figure_and_they_move(self):
        before = self.status()
        for key in ("version", "uptime_seconds", "callers", "callers_by_way",
                    "sessions", "logins_today", "failed_logins_today",
                    "locked_names", "host", "door", "keys_per_second",
                    "door_exchanges_per_second"):
            self.assertIn(key, before)
        self.assertEqual(0, before["callers"])
        self.assertEqual(0, before["callers_by_way"]["telnet"])
        self.assertGreater(before["host"]["resident_bytes"], 0)
        self.assertGreater(before["host"]["threads"], 0)
        self.assertGreater(before["host"]["descriptors"], 0)
        self.assertEqual(0, before["door"]["processes"])

        ash = self.caller_in_the_door("Ash")
        ash.send("s")
        ash.expect_exact("<Ash : Town> ")
        wrong = self.board.call()
        wrong.send("Ash\r")
        wrong.expect_exact("Password: ")
        wrong.send("not the password\r")
        wrong.expect_exact("Password: ")
        during = self.status()
        self.assertEqual(2, during["callers"])
        self.assertEqual(2, during["callers_by_way"]["telnet"])
        self.assertEqual(1, during["sessions"])
        self.assertEqual(before["logins_today"] + 1, during["logins_today"])
        self.assertEqual(before["failed_logins_today"] + 1,
                         during["failed_logins_today"])
        self.assertEqual(1, during["door"]["processes"])
        self.assertGreater(during["door"]["resident_bytes"], 0)
        self.assertGreater(during["keys_per_second"], 0)
        self.assertGreater(during["door_exchanges_per_second"], 0)
        self.assertGreater(during["host"]["descriptors"],
                           before["host"]["descriptors"])

        ash.send("q")
        ash.expect_exact("Your choice: ")
        ash.send("g")
        ash.expect(pexpect.EOF)
        wrong.close(force=True)
        self.board.wait_for_log("Ash disconnected")
        deadline = time.time() + TIMEOUT
        while self.status()["callers"] != 0:
            self.assertLess(time.time(), deadline)
            time.sleep(0.1)
        after = self.status()
        self.assertEqual(0, after["sessions"])

        human, _ = self.zenbo("status")
        for line in human.splitlines():
            self.assertLessEqual(len(line), 80, line)
        self.assertRegex(human, r"^zenbo \S+, up \d+d \d\d:\d\d:\d\d\n")
        self.assertIn("Logins today:          1 (failed: 1)", human)


class WhoTest(DeskTest):
    ways = ("ssh", "web")

    def test_who_fits_80_columns_with_every_way_in(self):
        long_name = "A" * 29 + "z"
        telnet = self.board.call()
        register(telnet, long_name)
        ssh = register_over_ssh(self.board, "Sshcaller")
        web = WebCaller(self.board.web_port)
        web.expect("Name: ")
        web.send("Webcaller\r")
        web.expect("Choose a password")
        web.send(PASSWORD + "\r")
        web.expect("again: ")
        web.send(PASSWORD + "\r")
        web.expect("Your choice: ")
        lurker = self.board.call()
        table, _ = self.zenbo("who")
        web.close()
        ssh.close(force=True)
        lurker.close(force=True)
        lines = table.splitlines()
        for line in lines:
            self.assertLessEqual(len(line), 80, line)
        # Each row keeps its window, cut at the terminal's name if at all.
        self.assertRegex(table, r"\n%s telnet 127\.0\.0\.1 +\d+:\d\d front"
                         r" room, \d+x\d+ (XT|\.\.)" % long_name)
        self.assertRegex(table, r"\nSshcaller +ssh +127\.0\.0\.1 +\d+:\d\d"
                         r" front room, \d+x\d+ (xt|\.\.)")
        self.assertRegex(table, r"\nWebcaller +web +127\.0\.0\.1 +\d+:\d\d"
                         r" front room, \d+x\d+ (xt|\.\.)")
        self.assertRegex(table, r"\n- +telnet +127\.0\.0\.1 +\d+:\d\d"
                         r" logging in(, .*)?\n")
        self.assertTrue(table.endswith("4 callers on the board.\n"), table)


if __name__ == "__main__":
    unittest.main()
