"""What an attacker on the network meets: the board's limits as a caller
reaches them over telnet, each shown against a real host and door."""

import os
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import (IAC, IS, PASSWORD, SB, SE, TTYPE, BoardTest,  # noqa: E402
                   enter_as_new_player, register)


def volume_files(board):
    files = set()
    for folder, _, names in os.walk(board.volume):
        for name in names:
            files.add(os.path.relpath(os.path.join(folder, name),
                                      board.volume))
    return files


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


class NameTest(BoardTest):
    def test_names_that_escape_a_folder_reach_no_file(self):
        before = volume_files(self.board)
        line = self.board.dial()
        line.expect("Name: ")
        for name, reason in (("..", "starts with a space or a dot"),
                             ("../accounts", 'holds a "/"'),
                             ("a/../../etc", 'holds a "/"'),
                             ("/etc/passwd", 'holds a "/"'),
                             (".saving", "starts with a space or a dot"),
                             ("x" * 31, "longer than 30")):
            line.send(name + "\r")
            line.expect(reason)
            line.expect("Name: ")
        line.close()
        # Not a file was made or touched for them, in the users folder,
        # beside the accounts or anywhere on the volume.
        after = volume_files(self.board)
        self.assertEqual(set(), after - before - {"var/run/zenbo.log"})
        self.assertFalse(os.path.exists(self.board.path("home/Zenbo/accounts")))


class PasswordTest(BoardTest):
    options = ("--failure-delay", "0.01")

    def test_password_guessed_from_many_addresses_locks_the_name(self):
        owner = self.board.call()
        register(owner, "Ash")
        owner.send("g")
        # Guessers from four addresses, three guesses a call: the name
        # locks at the tenth, and then not even the right password opens it.
        for number in range(4):
            guesser = self.board.dial("127.0.3.%d" % (number + 1))
            guesser.expect("Name: ")
            guesser.send("Ash\r")
            for attempt in range(3 if number < 3 else 1):
                guesser.expect("Password: ")
                guesser.send("guess-%d-%d\r" % (number, attempt))
                guesser.expect("That password is wrong.")
            guesser.close()
        self.board.wait_for_log("Ash is locked after 10 failed logins")
        late = self.board.dial("127.0.3.9")
        late.expect("Name: ")
        late.send("Ash\r")
        late.expect("That name is locked after too many failed logins")
        late.close()
        log = self.board.log()
        self.assertNotIn("guess-", log)
        self.assertNotIn(PASSWORD, log)
        self.assertGreaterEqual(log.count("failed login for Ash"), 10)


class InjectionTest(BoardTest):
    def test_escape_sequences_typed_reach_nobody_raw(self):
        watcher = self.board.dial("127.0.4.1")
        watcher.expect("Name: ")
        register(watcher, "Wren")
        attacker = self.board.dial("127.0.4.2")
        attacker.expect("Name: ")
        # As a name: the line discipline takes the controls out before the
        # board reads it.
        attacker.send("Ev\x1b[2Jil\r")
        attacker.expect("There is no account Ev[2Jil yet")
        attacker.expect("Choose a password")
        attacker.send(PASSWORD + "\r")
        attacker.expect("again: ")
        attacker.send(PASSWORD + "\r")
        attacker.expect("Your choice: ")
        attacker.send("e")
        attacker.expect("] : ")
        # As a character's name, and as keys at every prompt.
        attacker.send("E\x1b]0;pwn\x07vil\r")
        attacker.expect("] : ")
        attacker.send("\r")
        attacker.expect("correct?")
        attacker.send("y")
        attacker.expect("Town> ")
        attacker.send("\x1b[2J\x1b[31m\x9b\x07s")
        attacker.expect("Town> ")
        attacker.send("q")
        attacker.expect("Your choice: ")
        attacker.send("\x1b[6n")
        attacker.send("w")
        attacker.expect("Your choice: ")
        watcher.send("w")
        listing = watcher.expect("Your choice: ")
        self.assertIn(b"Ev[2Jil", listing)
        # A bell may ring; nothing that starts a sequence arrives.
        for line in (watcher, attacker):
            for byte in (b"\x1b", b"\x9b"):
                self.assertNotIn(byte, line.received)
        log = self.board.log()
        for byte in ("\x1b", "\x9b", "\x07"):
            self.assertNotIn(byte, log)


class FloodTest(BoardTest):
    options = ("--max-callers", "120")

    def test_connection_flood_leaves_callers_served(self):
        player = self.board.dial("127.0.5.1")
        player.expect("Name: ")
        register(player, "Ash")
        enter_as_new_player(player, "Ash")
        idle = descriptors(self.board.process.pid)

        # Three hundred connections that say nothing, and some that send
        # garbage, while Ash plays on: ten from one address, then the rest
        # from fifty more.
        flood = []
        self.addCleanup(lambda: [line.close() for line in flood])
        for number in range(300):
            line = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            line.bind(("127.0.6.%d" % (number % 50 + 1) if number >= 10
                       else "127.0.8.1", 0))
            line.settimeout(10)
            try:
                line.connect(("127.0.0.1", self.board.port))
            except OSError:
                line.close()
                continue
            if number % 10 == 0:
                try:
                    line.sendall(bytes(range(256)) * 16)
                except OSError:
                    pass
            flood.append(line)
        slowest = 0
        for _ in range(10):
            started = time.time()
            player.send("s")
            player.expect(r"Status for [Ash]")
            player.expect("Town> ")
            slowest = max(slowest, time.time() - started)
        self.assertLess(slowest, 5)
        self.board.wait_for_log("the board is full")
        self.board.wait_for_log("too many callers from 127.0.8.1")

        for line in flood:
            line.close()
        # The host lets every one of them go.
        deadline = time.time() + 20
        while descriptors(self.board.process.pid) > idle \
                and time.time() < deadline:
            time.sleep(0.1)
        self.assertLessEqual(descriptors(self.board.process.pid), idle)
        player.send("s")
        player.expect("Town> ")


class SubnegotiationTest(BoardTest):
    def test_oversized_subnegotiation_harms_nobody(self):
        other = self.board.dial("127.0.7.1")
        other.expect("Name: ")
        register(other, "Wren")

        huge = self.board.dial("127.0.7.2")
        huge.expect("Name: ")
        huge.send(bytes([IAC, SB, TTYPE, IS]) + b"X" * (1024 * 1024)
                  + bytes([IAC, SE]))
        # Cut off, or read as far as a line holds and the line goes on: the
        # huge one never holds up the board.
        huge.send("\r")
        kept = b"Name: " in huge.settle(1.0)
        if kept:
            huge.send("Bo\r")
            huge.expect("Choose a password")
        else:
            huge.expect_closed()
        unended = self.board.dial("127.0.7.3")
        unended.expect("Name: ")
        unended.send(bytes([IAC, SB, TTYPE, IS]) + b"Y" * (1024 * 1024))

        started = time.time()
        other.send("w")
        listing = other.expect("Your choice: ")
        self.assertLess(time.time() - started, 5)
        # A terminal type is kept to forty bytes at most.
        self.assertNotIn(b"X" * 41, listing)
        if kept:
            huge.send(PASSWORD + "\r")
            huge.expect("again: ")
            huge.send(PASSWORD + "\r")
            huge.expect("Your choice: ")
            huge.send("w")
            self.assertNotIn(b"X" * 41, huge.expect("Your choice: "))


if __name__ == "__main__":
    unittest.main()
