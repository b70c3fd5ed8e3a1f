#!/usr/bin/env python3
"""SSH callers through the real OpenSSH client against SshHarness, a small
host that runs SshListener on a looper and echoes keys in capitals.

Usage: ssh_callers_test.py HARNESS [unittest arguments]

The client pins the host key the harness made (a known_hosts file of its
own, strict checking), so a key made anew or not reused fails the tests.
Everything is on 127.0.0.1 with an ephemeral port.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

import pexpect  # noqa: E402

from board import TIMEOUT, ssh_command  # noqa: E402

HARNESS = None
# The one account SshHarness knows.
PASSWORD = "opensesame"


class Harness:
    """One SshHarness process with its host key folder."""

    def __init__(self, folder):
        self.process = subprocess.Popen(
            [HARNESS, folder], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            text=True)
        self.values = {}
        for _ in range(3):
            line = self.process.stdout.readline()
            if not line:
                raise RuntimeError("the harness stopped: "
                                   + self.process.stderr.read())
            name, value = line.rstrip("\n").split(" ", 1)
            self.values[name] = value
        self.port = int(self.values["port"])
        self.lines = []

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        output, _ = self.process.communicate(timeout=TIMEOUT)
        self.lines = output.splitlines()
        return self.process.returncode


class SshCallerTest(unittest.TestCase):

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="ssh-callers-")
        self.keys = os.path.join(self.folder, "keys")
        os.mkdir(self.keys)
        self.harness = Harness(self.keys)
        self.knownHosts = os.path.join(self.folder, "known_hosts")
        with open(self.knownHosts, "w") as known:
            known.write("[127.0.0.1]:%d %s\n"
                        % (self.harness.port, self.harness.values["key"]))
        self.children = []

    def tearDown(self):
        for child in self.children:
            child.close(force=True)
        if self.harness.process.poll() is None:
            self.assertEqual(0, self.harness.stop())
        shutil.rmtree(self.folder, ignore_errors=True)

    def ssh(self, *arguments, user="ash", command=(), methods="password"):
        command = ssh_command(self.harness.port, self.knownHosts, user,
                              "-o", "ServerAliveInterval=0", *arguments,
                              methods=methods, command=command)
        environment = dict(os.environ, HOME=self.folder, TERM="xterm")
        child = pexpect.spawn(command[0], command[1:], env=environment,
                              timeout=TIMEOUT, encoding="utf-8",
                              dimensions=(24, 80))
        self.children.append(child)
        return child

    def logIn(self, *arguments, user="ash"):
        child = self.ssh("-tt", *arguments, user=user)
        child.expect("password:")
        child.sendline(PASSWORD)
        child.expect("Hello %s, 80x24 xterm" % user)
        return child

    def finish(self, child):
        child.expect(pexpect.EOF)
        child.close()
        return child.exitstatus

    def test_HostKeyIsMadeOnceReadableByItsOwnerAndPinned(self):
        path = os.path.join(self.keys, "ssh_host_ed25519_key")
        self.assertEqual(0o600, os.stat(path).st_mode & 0o777)
        listing = subprocess.run(["ssh-keygen", "-l", "-f", path],
                                 capture_output=True, text=True, check=True)
        self.assertIn(self.harness.values["fingerprint"], listing.stdout)
        self.assertIn("(ED25519)", listing.stdout)

        first = self.harness.values["fingerprint"]
        self.assertEqual(0, self.harness.stop())
        self.harness = Harness(self.keys)
        self.assertEqual(first, self.harness.values["fingerprint"])

    def test_KeyFileOthersMayReadIsRefused(self):
        self.assertEqual(0, self.harness.stop())
        os.chmod(os.path.join(self.keys, "ssh_host_ed25519_key"), 0o644)
        run = subprocess.run([HARNESS, self.keys], capture_output=True,
                             text=True, timeout=TIMEOUT)
        self.assertEqual(1, run.returncode)
        self.assertIn("may be read by others", run.stderr)

    def test_PasswordAcceptedGivesAnEchoingTerminal(self):
        child = self.logIn()
        child.send("abc\r")
        child.expect("ABC\r\n")
        child.send("Q")
        child.expect("Bye")
        self.finish(child)
        self.assertEqual(0, self.harness.stop())
        self.assertIn("password accepted", self.harness.lines)

    def test_WrongPasswordsAreRefused(self):
        child = self.ssh("-tt")
        for _ in range(3):
            child.expect("password:")
            child.sendline("not the password")
        child.expect("Permission denied")
        self.assertEqual(255, self.finish(child))
        self.assertEqual(0, self.harness.stop())
        self.assertEqual(3, self.harness.lines.count("password refused"))
        self.assertNotIn("password accepted", self.harness.lines)

    def test_NewNameRegistersThroughQuestions(self):
        child = self.ssh("-tt", methods="keyboard-interactive",
                         user="newcomer")
        child.expect("A new name: choose its password.")
        child.expect("New password: ")
        child.sendline("longenough")
        child.expect("The same again: ")
        child.sendline("longenough")
        child.expect("Hello newcomer, 80x24 xterm")
        child.send("Q")
        self.finish(child)

        child = self.ssh("-tt", methods="keyboard-interactive",
                         user="newcomer")
        for _ in range(3):
            child.expect("New password: ")
            child.sendline("longenough")
            child.expect("The same again: ")
            child.sendline("different")
        child.expect("Permission denied")
        self.assertEqual(255, self.finish(child))
        self.assertEqual(0, self.harness.stop())
        self.assertEqual(1, self.harness.lines.count("registration accepted"))
        self.assertEqual(3, self.harness.lines.count("registration refused"))

    def test_RefusedQuestionsFallBackToAPassword(self):
        child = self.ssh("-tt", methods="keyboard-interactive,password")
        child.expect("password:")
        child.sendline(PASSWORD)
        child.expect("Hello ash, 80x24 xterm")
        child.send("Q")
        self.finish(child)
        self.assertEqual(0, self.harness.stop())
        self.assertIn("questions refused for ash", self.harness.lines)
        self.assertIn("password accepted", self.harness.lines)

    def test_WindowChangesReachTheOwner(self):
        child = self.logIn()
        child.setwinsize(30, 100)
        child.expect("Window 100x30")
        child.setwinsize(25, 132)
        child.expect("Window 132x25")
        child.send("Q")
        self.finish(child)

    def test_CommandsSubsystemsAndShellsWithoutTerminalAreRefused(self):
        for options, command, complaint in (
                (["-T"], ["echo", "owned"], "exec request failed"),
                (["-tt"], ["echo", "owned"], "exec request failed"),
                (["-T", "-s"], ["sftp"], "subsystem request failed"),
                (["-T"], [], "shell request failed")):
            child = self.ssh(*options, command=command)
            child.expect("password:")
            child.sendline(PASSWORD)
            child.expect(complaint)
            self.assertNotEqual(0, self.finish(child), complaint)

    def test_PortForwardingIsRefused(self):
        child = self.ssh("-W", "127.0.0.1:%d" % self.harness.port)
        child.expect("password:")
        child.sendline(PASSWORD)
        child.expect("administratively prohibited")
        self.assertNotEqual(0, self.finish(child))

        child = self.ssh("-N", "-o", "ExitOnForwardFailure=yes",
                         "-R", "0:127.0.0.1:%d" % self.harness.port)
        child.expect("password:")
        child.sendline(PASSWORD)
        child.expect("remote port forwarding failed")
        self.assertEqual(255, self.finish(child))

    def test_CallerWhoStopsReadingHoldsUpNobody(self):
        slow = self.logIn()
        slow.send("F")
        # From here on nobody reads the slow caller's terminal, so its
        # client stops taking the flood and the host's queue keeps the rest.
        other = self.logIn(user="birch")
        for word in ("one", "two", "three"):
            other.send(word + "\r")
            other.expect(word.upper() + "\r\n")
        # The stalled caller can be cut off at once, queue and all.
        other.send("K")
        other.expect("Cut off")
        slow.expect(pexpect.EOF, searchwindowsize=200)
        other.send("Q")
        other.expect("Bye")
        self.finish(other)
        self.assertEqual(0, self.harness.stop())
        self.assertIn("flooding ash", self.harness.lines)
        self.assertIn("cutting off ash with text unsent", self.harness.lines)
        self.assertIn("closed ash", self.harness.lines)
        self.assertIn("closed birch", self.harness.lines)

    def test_CallerPastTheCapIsCutOffByTheHost(self):
        slow = self.logIn()
        slow.send("G")
        slow.expect(pexpect.EOF, searchwindowsize=200)
        other = self.logIn(user="birch")
        other.send("one\r")
        other.expect("ONE\r\n")
        other.send("Q")
        other.expect("Bye")
        self.finish(other)
        self.assertEqual(0, self.harness.stop())
        self.assertIn("overflowing ash", self.harness.lines)
        self.assertIn("closed ash", self.harness.lines)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    HARNESS = sys.argv.pop(1)
    unittest.main()
