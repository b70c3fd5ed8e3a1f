"""The board as its SSH callers meet it: OpenSSH's client under pexpect,
pinned to the host key the host made in its folder of the volume, the host
on free loopback ports with the real door, and telnet callers beside."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

import pexpect  # noqa: E402

from board import (PASSWORD, Board, check_whole_visit_logged,  # noqa: E402
                   enter_as_new_player, fight, good_bye, log_in,
                   log_in_over_ssh, register, register_over_ssh)


class SshBoardTest(unittest.TestCase):
    def setUp(self):
        self.board = Board("--failure-delay", "0.2", "--grace", "30",
                           ways=("ssh",))
        self.board.start()

    def tearDown(self):
        self.board.stop()

    def test_whole_visit_from_registration_to_good_bye(self):
        caller = register_over_ssh(self.board, "Ash")
        enter_as_new_player(caller, "Ash")
        self.assertNotEqual(0, fight(caller))
        self.assertIn("Ash, you are in the front room", caller.before)
        good_bye(caller)

        check_whole_visit_logged(self, self.board, "ssh")

        # The same account from then on, by password and by telnet.
        again = log_in_over_ssh(self.board, "ash", methods="password")
        again.expect("Ash, you are in the front room")
        again.send("g")
        again.expect(pexpect.EOF)
        caller = self.board.call()
        log_in(caller, "Ash")
        caller.expect("Ash, you are in the front room")

    def test_host_key_is_the_volumes_own_and_kept(self):
        path = self.board.path("home/Zenbo/ssh_host_ed25519_key")
        self.assertEqual(0o600, os.stat(path).st_mode & 0o777)
        listing = subprocess.run(["ssh-keygen", "-l", "-f", path],
                                 capture_output=True, text=True, check=True)
        self.assertIn(self.board.ssh_fingerprint, listing.stdout)
        self.assertIn("made the SSH host key", self.board.log())
        help_text = subprocess.run(
            [os.environ["ZENBO"], "--help", "--volume", self.board.volume],
            capture_output=True, text=True, check=True).stdout
        self.assertIn("host key: " + self.board.ssh_fingerprint, help_text)

        self.board.stop()
        self.board = Board("--grace", "30", ways=("ssh",))
        fresh = subprocess.run(
            [os.environ["ZENBO"], "--help", "--volume", self.board.volume],
            capture_output=True, text=True, check=True).stdout
        self.assertIn("is made at the first start", fresh)

    def test_wrong_passwords_are_refused_with_growing_pauses(self):
        caller = register_over_ssh(self.board, "Ash")
        caller.send("g")
        caller.expect(pexpect.EOF)

        caller = self.board.ssh("Ash", "-tt", methods="password")
        pauses = []
        for attempt in range(3):
            caller.expect("password: ")
            if attempt > 0:
                pauses.append(time.time() - sent)
            caller.sendline("wrong-%d-password" % attempt)
            sent = time.time()
        caller.expect("Permission denied")
        caller.expect(pexpect.EOF)
        # 0.2 s, then 0.4 s before the client may ask again.
        self.assertGreaterEqual(pauses[0], 0.2)
        self.assertGreaterEqual(pauses[1], 0.4)
        log = self.board.log()
        self.assertEqual(3, log.count("failed login for Ash from 127.0.0.1"))
        self.assertNotIn("wrong-", log)
        self.assertEqual(1, log.count("Ash logged in"))

    def test_commands_and_forwarding_are_refused(self):
        caller = register_over_ssh(self.board, "Ash")
        caller.send("g")
        caller.expect(pexpect.EOF)

        command = log_in_over_ssh(self.board, "Ash",
                                  command=("cat", "/etc/passwd"))
        command.expect(pexpect.EOF)
        command.close()
        self.assertNotEqual(0, command.exitstatus)
        self.assertNotIn("root:", command.before)
        self.board.wait_for_log("refused a channel request of kind")

        forward = log_in_over_ssh(
            self.board, "Ash", "-N", "-o", "ExitOnForwardFailure=yes",
            "-R", "0:127.0.0.1:%d" % self.board.port, tty=False)
        forward.expect("forwarding failed")
        forward.expect(pexpect.EOF)

        direct = log_in_over_ssh(self.board, "Ash", "-W",
                                 "127.0.0.1:%d" % self.board.port, tty=False)
        direct.expect("open failed")
        direct.expect(pexpect.EOF)
        self.board.wait_for_log("refused a channel of kind")
        self.assertEqual(0, self.board.log().count("Ash entered the door"))

    def test_window_changes_are_seen_in_who_is_online(self):
        caller = register_over_ssh(self.board, "Ash", dimensions=(30, 100))
        caller.send("w")
        caller.expect(r"Ash +front room +0:0\d +xterm 100x30 +ssh")
        caller.expect("Your choice: ")
        caller.setwinsize(40, 120)
        # The change travels on its own; who is online shows it once the
        # host has it.
        for _ in range(50):
            caller.send("w")
            caller.expect(r"Ash +front room +0:0\d +xterm (\d+x\d+) +ssh")
            size = caller.match.group(1)
            caller.expect("Your choice: ")
            if size == "120x40":
                break
            time.sleep(0.1)
        self.assertEqual("120x40", size)

        telnet = self.board.call()
        register(telnet, "Birch")
        telnet.send("w")
        telnet.expect(r"Ash +front room +0:\d\d +xterm 120x40 +ssh")
        telnet.expect(r"Birch +front room +0:0\d +XTERM[^\r\n]* telnet")

    def test_terminal_type_is_capped_and_cleaned(self):
        # What the client sends as its PTY's type: long, with an escape
        # sequence and bytes of the upper half.
        self.board.environment["TERM"] = ("v" * 5 + "\x1b[31m"
                                          + "\udce9\udca0" + "w" * 60)
        caller = register_over_ssh(self.board, "Ash")
        telnet = self.board.call()
        register(telnet, "Birch")
        telnet.send("w")
        # Printable characters alone, as a telnet caller's type is kept,
        # cut to the list's column before its window, and the row whole to
        # its way in.
        telnet.expect(r"Ash +front room +0:\d\d +v{5}\[31mw{4}\.\. 80x24 +ssh\r")
        telnet.expect("Your choice: ")
        caller.send("g")

    def test_dropped_telnet_line_is_resumed_over_ssh(self):
        caller = self.board.call()
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        caller.send("b")
        caller.expect("<Ash : Blacksmith> ")
        caller.close(force=True)
        self.board.wait_for_log("Ash disconnected")

        again = log_in_over_ssh(self.board, "Ash")
        again.expect("<Ash : Blacksmith> ")
        again.send("t")
        again.expect("<Ash : Town> ")
        self.board.wait_for_log("Ash resumed the session")
        self.assertEqual(1, self.board.log().count("Ash entered the door"))

        # And an SSH caller is taken over from telnet, as telnet callers
        # take over each other.
        telnet = self.board.call()
        log_in(telnet, "Ash")
        again.expect("Your session was taken over from another connection.")
        again.expect(pexpect.EOF)
        telnet.expect("<Ash : Town> ")
        telnet.send("q")
        telnet.expect("Your choice: ")

    def test_locked_account_is_refused_at_once_until_unlocked(self):
        # A pause after a wrong password would be far longer than any
        # refusal takes.
        self.board.stop()
        self.board = Board("--failure-delay", "5", "--grace", "30",
                           ways=("ssh",))
        self.board.start()
        caller = register_over_ssh(self.board, "Ash")
        caller.send("g")
        caller.expect(pexpect.EOF)
        self.sysop("account", "Ash", "--lock")

        # The client that asks questions shows why, and asks no password.
        caller = self.board.ssh("Ash", "-tt")
        for wanted in ("That account is locked; ask the sysop.",
                       "Permission denied"):
            self.assertEqual(0, caller.expect([wanted, "[Pp]assword: "]))
        caller.expect(pexpect.EOF)

        # The right password, more often than locks a name, each refused
        # at once.
        for _ in range(4):
            caller = self.board.ssh("Ash", "-tt", methods="password")
            for attempt in range(3):
                caller.expect("password: ")
                if attempt > 0:
                    self.assertLess(time.time() - sent, 2.5)
                caller.sendline(PASSWORD)
                sent = time.time()
            caller.expect("Permission denied")
            caller.expect(pexpect.EOF)
        log = self.board.log()
        self.assertGreaterEqual(log.count(
            "failed login for Ash from 127.0.0.1: the sysop locked the"
            " account"), 13)
        self.assertNotRegex(log, r"failed login for Ash from 127\.0\.0\.1\n")
        self.assertNotIn("Ash is locked after", log)

        # Unlocked: the right password logs in on the first try.
        self.sysop("account", "Ash", "--unlock")
        again = log_in_over_ssh(self.board, "Ash", methods="password")
        again.expect("Ash, you are in the front room")
        again.send("g")
        again.expect(pexpect.EOF)

    def sysop(self, *arguments):
        result = subprocess.run([os.environ["ZENBO"], *arguments],
                                capture_output=True, text=True,
                                env=self.board.environment, timeout=20)
        self.assertEqual(0, result.returncode, result.stderr)
        return result.stdout

    def test_new_registers_in_the_terminal(self):
        caller = self.board.ssh("new", "-tt", methods="password")
        caller.expect("password: ")
        caller.sendline("anything")
        caller.expect("Welcome to the Drelmoor board.")
        caller.expect("Name: ")
        register(caller, "Cy")
        caller.send("g")
        caller.expect(pexpect.EOF)
        self.assertRegex(self.board.accounts(),
                         r"^Cy\t\$argon2id\$")

        # A free name cannot register through the password alone.
        other = self.board.ssh("Dale", "-tt", methods="password")
        other.expect("password: ")
        other.sendline(PASSWORD)
        other.expect("password: ")
        self.assertNotIn("Dale", self.board.accounts())


if __name__ == "__main__":
    unittest.main()
