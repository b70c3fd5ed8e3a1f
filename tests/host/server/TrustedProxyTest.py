"""Callers behind a reverse proxy the sysop trusts: telnet and SSH named by
the PROXY protocol's header (text and binary), the web terminal by the last
hop of X-Forwarded-For, each shown by the caller's own address in zenbo
who; from any other address no header is believed."""

import os
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import (PASSWORD, TIMEOUT, ZENBO, Board,  # noqa: E402
                   WebSocketLine, web_request)

SIGNATURE = b"\r\n\r\n\x00\r\nQUIT\n"


def binary_header(source, destination, source_port, destination_port):
    """The PROXY protocol's binary header of a TCP caller over IPv6."""
    addresses = (socket.inet_pton(socket.AF_INET6, source)
                 + socket.inet_pton(socket.AF_INET6, destination)
                 + source_port.to_bytes(2, "big")
                 + destination_port.to_bytes(2, "big"))
    return (SIGNATURE + bytes([0x21, 0x21]) + len(addresses).to_bytes(2, "big")
            + addresses)


class TrustedProxyTest(unittest.TestCase):
    def setUp(self):
        self.board = Board("--trusted-proxy", "127.0.0.1",
                           ways=("ssh", "web"))
        self.board.start()

    def tearDown(self):
        self.board.stop()

    def who(self):
        result = subprocess.run([ZENBO, "who"], capture_output=True,
                                timeout=TIMEOUT, env=self.board.environment)
        self.assertEqual(0, result.returncode, result.stderr)
        return result.stdout.decode("latin-1")

    def test_telnet_callers_are_named_by_text_and_binary_headers(self):
        text = self.board.dial("127.0.0.1")
        text.send(b"PROXY TCP4 198.51.100.7 127.0.0.1 40000 23\r\n")
        text.expect("Name: ")
        # The binary header and the caller's first keys in one segment.
        binary = self.board.dial("127.0.0.1")
        binary.send(binary_header("2001:db8::7", "::1", 40001, 23) + b"Ash\r")
        binary.expect("it is yours to register")
        # From an address the board does not trust a header is only text.
        stranger = self.board.dial("127.0.0.2")
        stranger.send(b"PROXY TCP4 203.0.113.9 127.0.0.1 1 23\r\n")
        stranger.expect("longer than 30")

        table = self.who()
        self.assertIn("198.51.100.7", table)
        self.assertIn("2001:db8::7", table)
        self.assertIn("127.0.0.2", table)
        self.assertNotIn("203.0.113.9", table)
        log = self.board.log()
        self.assertIn("telnet caller connected from 198.51.100.7", log)
        self.assertIn("telnet caller connected from 2001:db8::7", log)

    def test_proxy_connection_without_a_valid_header_is_dropped(self):
        started = time.time()
        # A telnet client's first bytes where the header belongs.
        wrong = self.board.dial("127.0.0.1")
        wrong.send(b"\xff\xfd\x01\xff\xfb\x18")
        wrong.expect_closed(timeout=5)
        forged = self.board.dial("127.0.0.1")
        forged.send(b"PROXY TCP4 198.51.100.7\x1b[2J 127.0.0.1 1 23\r\n")
        forged.expect_closed(timeout=5)
        silent = self.board.dial("127.0.0.1")
        silent.expect_closed(timeout=10)
        # The proxy's header comes first: nothing of telnet's was sent.
        for line in (wrong, forged, silent):
            self.assertEqual(b"", line.received)
        self.assertLess(time.time() - started, 10)
        log = self.board.log()
        self.assertEqual(3, log.count("dropped a connection of the proxy"))
        self.assertIn("no proxy header in time", log)
        self.assertNotIn("\x1b", log)
        self.assertNotIn("caller connected", log)

    def test_web_caller_is_named_by_the_last_hop_of_the_proxy(self):
        page = WebSocketLine(self.board.web_port, headers=[
            ("X-Forwarded-For", "203.0.113.50, 198.51.100.23")])
        self.assertEqual(101, page.status, page.head)
        page.expect("Name: ")
        stranger = WebSocketLine(self.board.web_port, source="127.0.0.2",
                                 headers=[("X-Forwarded-For", "203.0.113.8")])
        self.assertEqual(101, stranger.status, stranger.head)
        stranger.expect("Name: ")
        table = self.who()
        self.assertIn("198.51.100.23", table)
        self.assertNotIn("203.0.113.50", table)
        self.assertIn("127.0.0.2", table)
        self.assertNotIn("203.0.113.8", table)
        self.assertIn("web caller connected from 198.51.100.23",
                      self.board.log())

        # A last hop that is no address is refused, not believed in part.
        for forwarded in ("198.51.100.23\x1b[2J", "203.0.113.50, unknown",
                          "198.51.100.23:4000", "999.1.1.1"):
            line, status, _, _ = web_request(
                self.board.web_port, headers=[("X-Forwarded-For",
                                               forwarded)])
            line.close()
            self.assertEqual(400, status, forwarded)
        self.assertNotIn("\x1b", self.board.log())
        page.close()
        stranger.close()

    def test_ssh_caller_through_the_proxy_is_named_by_its_header(self):
        # OpenSSH's client through a proxy command that speaks for a
        # proxy: the binary header first, then the client's own bytes.
        relay = ("import socket,sys,os,select;"
                 "s=socket.create_connection(('127.0.0.1',%d));"
                 "s.sendall(bytes.fromhex('%s'));"
                 "i=sys.stdin.fileno();o=sys.stdout.fileno()\n"
                 "while True:\n"
                 " r,_,_=select.select([i,s],[],[])\n"
                 " if i in r:\n"
                 "  d=os.read(i,65536)\n"
                 "  if not d: break\n"
                 "  s.sendall(d)\n"
                 " if s in r:\n"
                 "  d=s.recv(65536)\n"
                 "  if not d: break\n"
                 "  os.write(o,d)\n"
                 % (self.board.ssh_port,
                    binary_header("2001:db8::22", "::1", 50000, 22).hex()))
        relay_path = os.path.join(self.board.folder, "relay.py")
        with open(relay_path, "w") as script:
            script.write(relay)
        caller = self.board.ssh("Ash", "-tt", "-o",
                                "ProxyCommand=python3 " + relay_path)
        caller.expect_exact("Choose a password (at least 8 characters): ")
        caller.sendline(PASSWORD)
        caller.expect_exact("The same password again: ")
        caller.sendline(PASSWORD)
        caller.expect_exact("Your choice: ")
        self.assertIn("2001:db8::22", self.who())
        self.assertIn("Ash registered from 2001:db8::22", self.board.log())


if __name__ == "__main__":
    unittest.main()
