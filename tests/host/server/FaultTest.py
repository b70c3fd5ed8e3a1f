"""Faults met by a running board, as its callers and its sysop meet them:
the door killed with callers on every kind of terminal, the host killed
while sessions wait for keys, and a boot volume broken under the host."""

import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

import pexpect  # noqa: E402

from board import (DRELMOOR, TIMEOUT, VRASK, ZENBO, Board,  # noqa: E402
                   enter_as_new_player, log_in, register, register_over_ssh)


def door_pid(board, count=1):
    found = board.wait_for_log(r"launched the door \S+ \(pid (\d+)\)",
                               count=count)
    return int(found.group(1))


def process_state(pid):
    """The process's state letter, or None once it is gone (reaped)."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0]
    except (FileNotFoundError, ProcessLookupError):
        return None


def thread_names(pid):
    names = []
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/comm" % (pid, task)) as comm:
            names.append(comm.read().strip())
    return names


def wait_until_gone(pid, timeout=TIMEOUT):
    """True when the process has ended and been reaped: no zombie."""
    deadline = time.time() + timeout
    while process_state(pid) is not None:
        if time.time() > deadline:
            return False
        time.sleep(0.02)
    return True


def wait_until_ended(pid, timeout=TIMEOUT):
    """True when the process runs no more (ended, reaped or not yet)."""
    deadline = time.time() + timeout
    while process_state(pid) not in (None, "Z", "X"):
        if time.time() > deadline:
            return False
        time.sleep(0.02)
    return True


class DoorKilledTest(unittest.TestCase):
    def setUp(self):
        self.board = Board("--grace", "30", ways=("ssh",))
        self.board.start()
        self.bridges = []

    def tearDown(self):
        for bridge in self.bridges:
            if bridge.poll() is None:
                bridge.kill()
                bridge.wait()
        self.board.stop()

    def bridge(self, name):
        bridge = self.board.start_bridge(name, stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE)
        self.bridges.append(bridge)
        return bridge

    def test_door_killed_with_callers_on_every_terminal(self):
        telnet = self.board.call()
        register(telnet, "Ash")
        enter_as_new_player(telnet, "Ash")
        raw = self.board.dial()
        raw.expect("Name: ")
        register(raw, "Bo")
        enter_as_new_player(raw, "Bo")
        stdio = self.bridge("Cy")
        stdio.stdin.write(b"\ny")
        stdio.stdin.flush()
        local = pexpect.spawn(ZENBO, ["--local", "--user", "Dee", "--door",
                                      DRELMOOR],
                              env=self.board.environment,
                              encoding="latin-1", timeout=TIMEOUT)
        local.expect(r"\[Dee\] : ")
        local.send("\r")
        local.expect("correct?")
        local.send("y")
        local.expect("<Dee : Town> ")
        ssh = register_over_ssh(self.board, "Eve")
        enter_as_new_player(ssh, "Eve")
        self.board.wait_for_log("Cy entered the door")
        self.board.wait_for_log("entered the door", count=5)

        door = door_pid(self.board)
        os.kill(door, signal.SIGKILL)

        # Telnet callers are told and are back in the front room.
        telnet.expect("The door has closed.")
        telnet.expect("Your choice: ")
        raw.expect("The door has closed.")
        raw.expect("Your choice: ")
        # So is an SSH caller.
        ssh.expect("The door has closed.")
        ssh.expect("Your choice: ")
        # A bridge ends with the status of a door closed mid-session.
        _, errors = stdio.communicate(timeout=TIMEOUT)
        self.assertEqual(3, stdio.returncode, errors)
        self.assertIn(b"The door has closed.", errors)
        local.expect("The door has closed.")
        local.expect(pexpect.EOF)
        local.close()
        self.assertEqual(3, local.exitstatus)
        # The host has reaped the killed door: no zombie is left.
        self.board.wait_for_log(r"the door \(pid %d\)" % door)
        self.assertTrue(wait_until_gone(door), process_state(door))

        # The next entry launches a new door; the character was kept.
        telnet.send("e")
        telnet.expect("Welcome back, Ash!")
        telnet.expect("<Ash : Town> ")
        self.assertNotEqual(door, door_pid(self.board, count=2))
        telnet.send("q")
        telnet.expect("Your choice: ")


class HostKilledTest(unittest.TestCase):
    def setUp(self):
        self.board = Board("--grace", "30")
        self.board.start()

    def tearDown(self):
        self.board.stop()

    def test_host_killed_while_sessions_wait_for_keys(self):
        callers = []
        for name in ("Ash", "Bo"):
            caller = self.board.call()
            register(caller, name)
            enter_as_new_player(caller, name)
            callers.append(caller)
        bridge = self.board.start_bridge("Cy", stderr=subprocess.PIPE)
        try:
            bridge.stdin.write(b"\ny")
            bridge.stdin.flush()
            self.board.wait_for_log("entered the door", count=3)
            door = door_pid(self.board)
            # A thread per session, each waiting for its caller's key.
            sessions = [name for name in thread_names(door)
                        if name.endswith(".Drelmoor")]
            self.assertEqual(3, len(sessions))

            self.board.process.kill()
            self.board.process.wait(TIMEOUT)
            for caller in callers:
                caller.expect(pexpect.EOF)
            _, errors = bridge.communicate(timeout=TIMEOUT)
            self.assertEqual(1, bridge.returncode)
            self.assertIn(b"The host has gone.", errors)
        finally:
            if bridge.poll() is None:
                bridge.kill()
                bridge.wait()
        # Every session learns that the host is gone and ends; the door
        # quits with its last one, by itself.
        self.assertTrue(wait_until_ended(door), process_state(door))

        # The next host starts cleanly on the same volume: the accounts and
        # the characters are there, and a new door serves them.
        self.board.start()
        again = self.board.call()
        log_in(again, "Bo")
        again.expect("Your choice: ")
        again.send("e")
        again.expect("Welcome back, Bo!")
        again.expect("<Bo : Town> ")
        again.send("q")
        again.expect("Your choice: ")
        self.assertNotEqual(door, door_pid(self.board))


class BrokenVolumeTest(unittest.TestCase):
    """A volume broken before or under the host: a clear message in the log
    or on the terminal, no hang, no crash."""

    def setUp(self):
        self.board = Board("--grace", "30")

    def tearDown(self):
        self.board.stop()

    def start_refused(self, message):
        try:
            self.board.start()
        except AssertionError:
            pass
        self.assertEqual(1, self.board.process.wait(TIMEOUT))
        self.assertIn(message, self.board.log())
        stdio = subprocess.run([ZENBO, "--stdio", "--raw", "--user", "Bo",
                                "--door", DRELMOOR], input=b"q",
                               capture_output=True, timeout=TIMEOUT,
                               env=self.board.environment)
        self.assertEqual(1, stdio.returncode)
        self.assertIn(message.encode(), stdio.stderr)
        self.assertEqual(b"", stdio.stdout)

    def test_volume_without_data_files_is_refused(self):
        for name in ("monsters", "weapons", "armor"):
            os.remove(self.board.path(VRASK + name))
        self.start_refused("has no door data (missing monsters, weapons, "
                           "armor")

    def test_users_folder_that_is_a_file_is_refused(self):
        os.rmdir(self.board.path(VRASK + "users"))
        self.board.write(VRASK + "users", "not a folder\n")
        self.start_refused("cannot make the users folder")

    def test_data_files_broken_under_the_host_are_named_in_the_log(self):
        self.board.start()
        caller = self.board.call()
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        # A folder where the monsters were (a file the door cannot read,
        # whoever runs it) and a weapons file far beyond any list.
        os.remove(self.board.path(VRASK + "monsters"))
        os.mkdir(self.board.path(VRASK + "monsters"))
        with open(self.board.path(VRASK + "weapons"), "ab") as weapons:
            weapons.truncate(256 * 1024 * 1024)
        started = time.time()
        caller.send("c")
        caller.expect("Caves 1> ")
        # One search in 15 finds a lucky event, which reads no file.
        for _ in range(20):
            caller.send("f")
            if caller.expect(["closed for repairs", "Caves 1> "]) == 0:
                break
        else:
            self.fail("the caves never closed")
        caller.expect("Caves 1> ")
        caller.send("t")
        caller.expect("Town> ")
        caller.send("b")
        caller.send("w")
        caller.expect("Which would you like to buy?")
        caller.send("0\r")
        caller.expect("> ")
        self.assertLess(time.time() - started, 10)
        self.board.wait_for_log(r"broken data file \S+monsters: cannot be "
                                r"opened: ")
        caller.send("q")
        caller.expect("Your choice: ")

    def test_player_file_that_is_no_plain_file_is_never_followed(self):
        self.board.start()
        record = "\n".join(["Ash", "Sword", "Mail", "3", "3", "5000", "30",
                            "30", "5", "900", "20", "20", "10", "0"]) + "\n"
        self.board.write("elsewhere/Ash", record)
        users = self.board.path(VRASK + "users/")
        os.symlink(self.board.path("elsewhere/Ash"), users + "Ash")
        os.mkfifo(users + "Bo")
        os.mkdir(users + "Cy")
        for name in ("Ash", "Bo", "Cy"):
            caller = self.board.call()
            register(caller, name)
            # Neither read nor waited for: the caller starts anew.
            enter_as_new_player(caller, name)
            caller.send("s")
            caller.expect(r"Status for \[%s\]" % name)
            caller.expect("Town> ")
            caller.send("q")
            caller.expect("Your choice: ")
            self.board.wait_for_log(r"broken data file \S+users/%s: cannot "
                                    r"be opened: .*; the user starts a new "
                                    r"character" % name)
        # The record a link pointed at is untouched; the link and the fifo
        # gave way to the new characters' own files.
        self.assertEqual(record, self.board.read("elsewhere/Ash"))
        self.assertFalse(os.path.islink(users + "Ash"))
        self.assertTrue(os.path.isfile(users + "Bo"))
        self.assertIn("Ash\n", self.board.read(VRASK + "users/Ash"))


if __name__ == "__main__":
    unittest.main()
