"""The board's records against the real host with real clients: the
accounts file of before taken over, calls over telnet and SSH listed by
zenbo calls with their endings and in the front room's last callers, a
password changed in the front room, a host killed during a call, records
another writer holds, and hostile names and counts at zenbo calls."""

import contextlib
import ctypes
import os
import re
import signal
import sqlite3
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

import pexpect  # noqa: E402

from board import (ACCOUNTS_FILE, PASSWORD, RECORDS, TIMEOUT,  # noqa: E402
                   VRASK, ZENBO, Board, good_bye, log_in, log_in_over_ssh, register)

NEW_PASSWORD = "another1pass"


def argon2id(password):
    """libsodium's Argon2id string of the password, as a host of before
    kept it in its accounts file."""
    sodium = ctypes.CDLL("libsodium.so.23")
    assert sodium.sodium_init() >= 0
    sodium.crypto_pwhash_opslimit_interactive.restype = ctypes.c_ulonglong
    sodium.crypto_pwhash_memlimit_interactive.restype = ctypes.c_size_t
    out = ctypes.create_string_buffer(128)
    secret = password.encode()
    assert sodium.crypto_pwhash_str(
        out, secret, ctypes.c_ulonglong(len(secret)),
        ctypes.c_ulonglong(sodium.crypto_pwhash_opslimit_interactive()),
        ctypes.c_size_t(sodium.crypto_pwhash_memlimit_interactive())) == 0
    return out.value.decode()


class RecordsTest(unittest.TestCase):
    ways = ()
    options = ("--failure-delay", "0.1")

    def setUp(self):
        self.board = Board(*self.options, ways=self.ways)

    def tearDown(self):
        self.board.stop()

    def zenbo(self, *arguments, expect=0):
        result = subprocess.run([ZENBO, *arguments], capture_output=True,
                                timeout=TIMEOUT, env=self.board.environment)
        self.assertEqual(expect, result.returncode,
                         (arguments, result.stdout, result.stderr))
        return result.stdout.decode("latin-1"), result.stderr.decode("latin-1")

    def calls(self):
        """The rows of zenbo calls, the newest first, each as its words."""
        out, _ = self.zenbo("calls")
        lines = out.splitlines()
        self.assertTrue(lines[0].startswith("When"), out)
        for line in lines:
            self.assertLessEqual(len(line), 80, out)
        return lines[1:]

    def rows_of(self, name):
        return [row for row in self.calls() if re.search(r"  %s  " % name,
                                                         row)]


class TakeOverTest(RecordsTest):
    def test_accounts_file_is_taken_over_and_every_account_logs_in(self):
        accounts = ("Ash\t%s\nbo bo\t%s\nCy\t!%s\n"
                    % (argon2id(PASSWORD), argon2id("otherpass1"),
                       argon2id(PASSWORD)))
        self.board.write(ACCOUNTS_FILE, accounts)
        self.board.start()
        self.board.wait_for_log(r"took over 3 accounts from \S+accounts;"
                                r" the file is kept as \S+accounts.migrated")

        for name, password in (("ash", PASSWORD), ("Bo Bo", "otherpass1")):
            caller = self.board.call()
            log_in(caller, name, password)
            caller.expect_exact(", you are in the front room")
            good_bye(caller)
        # A lock of before holds.
        caller = self.board.call()
        caller.send("Cy\r")
        caller.expect_exact("That account is locked; ask the sysop.")

        # The file is kept as it was, beside owner-only records of the
        # schema's version.
        self.assertFalse(os.path.exists(self.board.path(ACCOUNTS_FILE)))
        self.assertEqual(accounts,
                         self.board.read(ACCOUNTS_FILE + ".migrated"))
        self.assertEqual(0o600,
                         os.stat(self.board.path(RECORDS)).st_mode & 0o777)
        with contextlib.closing(self.board.records()) as records:
            self.assertEqual(1, records.execute(
                "PRAGMA user_version").fetchone()[0])
            self.assertEqual("wal", records.execute(
                "PRAGMA journal_mode").fetchone()[0])
        self.assertIn("Account:      Cy (locked)",
                      self.zenbo("account", "cy", "--show")[0])

    def test_broken_accounts_file_stops_the_host_and_stays(self):
        self.board.write(ACCOUNTS_FILE, "Ash\tnot a hash\n")
        process = subprocess.run(
            [ZENBO, "--telnet", "127.0.0.1:0", "--volume", self.board.volume],
            capture_output=True, timeout=TIMEOUT, env=self.board.environment)
        self.assertNotEqual(0, process.returncode)
        self.assertIn(b"broken at line 1", process.stderr)
        self.assertEqual("Ash\tnot a hash\n",
                         self.board.read(ACCOUNTS_FILE))


class CallsTest(RecordsTest):
    ways = ("ssh",)

    def test_calls_by_telnet_and_ssh_are_listed_with_their_endings(self):
        self.board.start()
        first = self.board.call()
        register(first, "Ash")
        good_bye(first)
        # Taken over by a second login, which the sysop kicks.
        taken = self.board.call()
        log_in(taken, "Ash")
        taken.expect_exact("Your choice: ")
        taker = self.board.call()
        log_in(taker, "Ash")
        taken.expect_exact("Your session was taken over")
        taker.expect_exact("Your choice: ")
        self.zenbo("kick", "Ash")
        taker.expect(pexpect.EOF)
        over_ssh = log_in_over_ssh(self.board, "Ash")
        over_ssh.expect_exact("Your choice: ")
        over_ssh.send("g")
        over_ssh.expect(pexpect.EOF)
        dropped = self.board.call()
        log_in(dropped, "ash")
        dropped.expect_exact("Your choice: ")
        dropped.close(force=True)
        self.board.wait_for_log("Ash disconnected", count=5)

        rows = self.calls()
        self.assertEqual(5, len(rows), rows)
        expected = [("telnet", "dropped"), ("ssh", "good-bye"),
                    ("telnet", "kicked"), ("telnet", "taken over"),
                    ("telnet", "good-bye")]
        for row, (way, ending) in zip(rows, expected):
            self.assertRegex(row, r"^\d{4}-\d\d-\d\d \d\d:\d\d  Ash +%s +"
                             r"\d+:\d\d:\d\d  %s +127\.0\.0\.1$"
                             % (way, ending), rows)
        out, _ = self.zenbo("calls", "--name", "ASH", "--last", "2")
        self.assertEqual(3, len(out.splitlines()), out)
        self.assertIn("Calls:        5", self.zenbo("account", "Ash",
                                                   "--show")[0])

        # The front room's last callers: the call on the line first, no
        # address.
        caller = self.board.call()
        log_in(caller, "Ash")
        caller.expect_exact("Your choice: ")
        caller.send("l")
        caller.expect_exact("Last callers:")
        caller.expect_exact("Your choice: ")
        shown = caller.before
        self.assertNotIn("127.0.0.1", shown)
        rows = [line for line in shown.splitlines()
                if line.startswith("  Ash")]
        self.assertEqual(6, len(rows), shown)
        self.assertIn("online", rows[0])
        self.assertRegex(rows[2], r"ssh +\d{4}-\d\d-\d\d \d\d:\d\d +\d+:\d\d")

    def test_password_changed_in_the_front_room_works_on_every_way_in(self):
        self.board.start()
        caller = self.board.call()
        register(caller, "Ash")
        caller.send("c")
        caller.expect_exact("Your password now: ")
        caller.send("wrongpass\r")
        caller.expect_exact("That password is wrong.")
        caller.expect_exact("Your password now: ")
        caller.send(PASSWORD + "\r")
        caller.expect_exact(
            "Choose a password (at least 8 characters, not shown): ")
        caller.send(NEW_PASSWORD + "\r")
        caller.expect_exact("The same password again: ")
        caller.send(NEW_PASSWORD + "\r")
        caller.expect_exact("Your password is changed.")
        caller.expect_exact("Your choice: ")
        good_bye(caller)
        log = self.board.log()
        self.assertIn("failed password change for Ash from 127.0.0.1", log)
        self.assertIn("Ash changed their password from 127.0.0.1", log)
        self.assertNotIn(NEW_PASSWORD, log + self.board.accounts())

        caller = self.board.call()
        log_in(caller, "Ash", PASSWORD)
        caller.expect_exact("That password is wrong.")
        caller.close(force=True)
        caller = self.board.call()
        log_in(caller, "Ash", NEW_PASSWORD)
        caller.expect_exact("Ash, you are in the front room")
        good_bye(caller)
        over_ssh = log_in_over_ssh(self.board, "Ash", password=NEW_PASSWORD)
        over_ssh.expect_exact("Ash, you are in the front room")
        over_ssh.send("g")
        over_ssh.expect(pexpect.EOF)


class KilledTest(RecordsTest):
    def test_call_the_host_was_killed_under_is_dropped_at_the_next_start(self):
        self.board.start()
        caller = self.board.call()
        register(caller, "Ash")
        self.board.process.send_signal(signal.SIGKILL)
        self.board.process.wait()
        caller.expect(pexpect.EOF)

        # Read without the host: the call has not ended as far as it knows.
        self.assertRegex(self.calls()[0],
                         r"Ash +telnet +\d+:\d\d:\d\d  online +127\.0\.0\.1")
        self.board.start()
        self.board.wait_for_log("1 calls had not ended when the host stopped;"
                                " they are logged as dropped")
        self.assertRegex(self.calls()[0],
                         r"Ash +telnet +\?  dropped +127\.0\.0\.1")
        # The account came through whole.
        caller = self.board.call()
        log_in(caller, "Ash")
        caller.expect_exact("Ash, you are in the front room")


class RefusedWriteTest(RecordsTest):
    def test_records_another_writer_holds_keep_the_board_running(self):
        self.board.start()
        caller = self.board.call()
        register(caller, "Ash")
        good_bye(caller)

        holder = sqlite3.connect(self.board.path(RECORDS), timeout=5,
                                 isolation_level=None)
        holder.execute("BEGIN IMMEDIATE")
        try:
            caller = self.board.call()
            log_in(caller, "Ash")
            caller.expect_exact("Your choice: ")
            caller.send("w")
            caller.expect_exact("Who is online:")
            caller.expect_exact("Your choice: ")
            good_bye(caller)
            newcomer = self.board.call()
            newcomer.send("Bo\r")
            newcomer.expect_exact("Choose a password")
            newcomer.send(PASSWORD + "\r")
            newcomer.expect_exact("again: ")
            newcomer.send(PASSWORD + "\r")
            newcomer.expect_exact("The board cannot keep new accounts just"
                                  " now; please call again later.")
            newcomer.expect(pexpect.EOF)
        finally:
            holder.execute("COMMIT")
            holder.close()
        log = self.board.log()
        self.assertEqual(1, log.count("the board goes on"), log)

        caller = self.board.call()
        log_in(caller, "Ash")
        caller.expect_exact("Your choice: ")
        self.board.wait_for_log("the board's records are written again")
        self.assertEqual(2, len(self.rows_of("Ash")))


class HostileTest(RecordsTest):
    def test_hostile_names_are_listed_escaped_and_silly_counts_refused(self):
        self.board.start()
        caller = self.board.call()
        register(caller, "Ash")
        good_bye(caller)
        self.board.wait_for_log("Ash disconnected")
        # Names and addresses no board takes today, as an old or a
        # tampered log may hold them.
        long_name = "N" * 30
        with contextlib.closing(sqlite3.connect(
                self.board.path(RECORDS), isolation_level=None)) as records:
            for name, address in (("\x1b[2J\x1b]0;pwn\x07Evil", "10.0.0.1"),
                                  (long_name, "2001:db8:ffff:ffff:ffff:ffff:"
                                   "ffff:ffff"),
                                  ("%s%n", "\x1b[31m")):
                records.execute(
                    "INSERT INTO calls (name, key, way, address, started,"
                    " ended, ending) VALUES (?, ?, 'telnet', ?, 1700000000,"
                    " 1700000100, 'idle')", (name, name.lower(), address))
        out, _ = self.zenbo("calls")
        self.assertNotIn("\x1b", out)
        self.assertNotIn("\x07", out)
        self.assertIn("\\x1b[2J\\x1b]0;pwn\\x07Evil", out)
        self.assertIn("%s%n", out)
        self.assertIn(long_name, out)
        self.assertIn("from 2001:db8:ffff:ffff:ffff:ffff:ffff:ffff", out)
        for line in out.splitlines():
            self.assertLessEqual(len(line), 80, out)

        for silly in ("0", "-1", "abc", "99999999999999999999", "1e3",
                      " 5", "10001", ""):
            _, error = self.zenbo("calls", "--last", silly, expect=2)
            self.assertTrue(error, silly)
        out, _ = self.zenbo("calls", "--last", "1")
        self.assertEqual(2, len(out.splitlines()), out)
        out, _ = self.zenbo("calls", "--name", "\x1bnobody")
        self.assertEqual("No calls of \\x1bnobody.\n", out)
        _, error = self.zenbo("calls", "--what", expect=2)
        self.assertIn("unknown argument", error)

        # The front room shows them printable too.
        caller = self.board.call()
        log_in(caller, "Ash")
        caller.expect_exact("Your choice: ")
        caller.send("l")
        caller.expect_exact("Last callers:")
        caller.expect_exact("Your choice: ")
        self.assertNotIn("\x1b", caller.before)
        self.assertNotIn("10.0.0.1", caller.before)


class PlayersTest(RecordsTest):
    def test_players_take_last_played_from_the_last_call(self):
        self.board.start()
        caller = self.board.call()
        register(caller, "Ash")
        good_bye(caller)
        self.board.wait_for_log("Ash disconnected")
        # A character saved long ago with the same bytes: its file's time
        # says nothing of when it was played.
        path = self.board.path(VRASK + "users/Ash")
        with open(path, "w") as player:
            player.write("Ash\nStick\nRags\n2\n2\n100\n10\n10\n1\n0\n7\n7"
                         "\n15\n20010101\n")
        os.utime(path, (978307200, 978307200))
        with contextlib.closing(self.board.records()) as records:
            started = records.execute("SELECT MAX(started) FROM calls"
                                      " WHERE key = 'ash'").fetchone()[0]
        out, _ = self.zenbo("players")
        row = next(line for line in out.splitlines()
                   if line.startswith("Ash "))
        self.assertTrue(row.endswith(time.strftime(
            "%Y-%m-%d %H:%M", time.localtime(started))), row)
        self.assertNotIn("2001-", row)


class WithoutHostTest(RecordsTest):
    def test_commands_that_read_records_say_when_there_are_none(self):
        _, error = self.zenbo("calls", expect=1)
        self.assertIn("the board has no records yet", error)
        _, error = self.zenbo("account", "Ash", "--show", expect=1)
        self.assertIn("the board has no records yet", error)
        self.assertFalse(os.path.exists(self.board.path(RECORDS)))
        out, _ = self.zenbo("calls", "--help")
        self.assertIn("Usage: zenbo calls", out)


if __name__ == "__main__":
    unittest.main()
