"""A board's stdio door as another board runs it: the time its drop file
leaves the caller, and a caller on a pseudo-terminal that holds standard
input, output and error at once."""

import io
import os
import re
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import pexpect  # noqa: E402
from pexpect.popen_spawn import PopenSpawn  # noqa: E402

from board import DRELMOOR, TIMEOUT, ZENBO, Board  # noqa: E402


def door32(folder, name, minutes):
    path = os.path.join(folder, "DOOR32.SYS")
    with open(path, "wb") as out:
        out.write(("0\r\n0\r\n38400\r\nKorrin BBS\r\n17\r\n%s Hale\r\n%s\r\n"
                   "30\r\n%s\r\n1\r\n4\r\n" % (name, name, minutes)).encode())
    return path


class TimeLeftTest(unittest.TestCase):
    def setUp(self):
        self.board = Board()
        self.board.start()

    def tearDown(self):
        self.board.stop()

    def test_one_minute_left_warns_then_ends_the_session(self):
        drop_file = door32(self.board.folder, "Dropper", 1)
        start = time.time()
        door = PopenSpawn([ZENBO, "--stdio", "--dropfile", drop_file,
                           "--door", DRELMOOR], env=self.board.environment,
                          encoding="latin-1", timeout=TIMEOUT)
        screen = io.StringIO()
        door.logfile_read = screen
        door.expect(r"What name would you like\? \[Dropper\] : ")
        door.send("\n")
        door.expect("is this correct")
        door.send("y")
        door.expect("<Dropper : Town> ")

        who = subprocess.run([ZENBO, "who"], capture_output=True,
                             timeout=TIMEOUT, env=self.board.environment)
        self.assertRegex(who.stdout.decode(),
                         r"\nDropper +bridge +node 4 +0:0\d +door,"
                         r" 0:[0-5]\d left\n")
        door.expect("Your time is up.", timeout=75)
        door.expect(pexpect.EOF)
        self.assertLess(time.time() - start, 75)
        # The warning at the first prompt, then the prompt's line again;
        # once.
        self.assertRegex(screen.getvalue(),
                         r"\r\nYou have 1 minute left\.\r\n(What name would"
                         r" you like\? \[Dropper\] : |<Dropper : Town> )")
        # (Standard error comes with it here, the host's line there.)
        self.assertEqual(1, len(re.findall(r"(?<!zenbo: )You have \d+ minutes?"
                                           r" left\.", screen.getvalue())),
                         screen.getvalue())
        self.assertEqual(0, door.wait())
        self.board.wait_for_log("Dropper's time is up")
        self.board.wait_for_log("Dropper left the door")
        # On disk as of its last prompt.
        self.assertIn("Dropper", self.board.read(
            "home/Zenbo/doors/vrask/users/Dropper"))


class PseudoTerminalTest(unittest.TestCase):
    def setUp(self):
        self.board = Board()
        self.board.start()

    def tearDown(self):
        self.board.stop()

    def test_caller_on_a_pseudo_terminal_sees_no_host_line(self):
        # The board's way: standard input, output and error on the
        # caller's pseudo-terminal; stty shows the mode left behind.
        caller = pexpect.spawn(
            "sh", ["-c", '"$0" --stdio --user Dropper --door "$1"; stty -a',
                   ZENBO, DRELMOOR],
            env=self.board.environment, encoding="latin-1", timeout=TIMEOUT)
        self.board.callers.append(caller)
        caller.expect(r"What name would you like\? \[Dropper\] : ")
        caller.send("\r")
        caller.expect("is this correct")
        # One key, no Enter: the terminal is raw.
        caller.send("y")
        caller.expect("<Dropper : Town> ")
        caller.send("q")
        caller.expect("speed")
        caller.expect(pexpect.EOF)
        screen = caller.before
        self.assertNotIn("zenbo:", screen)
        self.assertNotIn("entered the door", screen)
        # The terminal's mode is back as it was: lines and echo.
        self.assertRegex(screen, r"[^-]icanon")
        self.assertRegex(screen, r"[^-]echo ")
        # The host's lines went to the volume's log instead.
        log = self.board.read("var/run/zenbo.log")
        self.assertIn("zenbo: Dropper entered the door", log)

    def test_verbose_shows_the_host_lines_on_standard_error(self):
        caller = pexpect.spawn(
            ZENBO, ["--stdio", "--verbose", "--user", "Dropper", "--door",
                    DRELMOOR],
            env=self.board.environment, encoding="latin-1", timeout=TIMEOUT)
        self.board.callers.append(caller)
        caller.expect(r"What name would you like\? \[Dropper\] : ")
        caller.send("\r")
        caller.expect("is this correct")
        caller.send("y")
        caller.expect("<Dropper : Town> ")
        caller.send("q")
        caller.expect(pexpect.EOF)
        self.assertIn("zenbo: Dropper left the door", caller.before)


if __name__ == "__main__":
    unittest.main()
