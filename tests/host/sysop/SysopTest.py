"""The sysop's side of a running board: zenbo who, kick, say, player,
account, players and bulletin against a host with telnet callers and a
bridge in the door, and the host's stop on SIGTERM."""

import os
import re
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

import pexpect  # noqa: E402
from pexpect.popen_spawn import PopenSpawn  # noqa: E402

from board import (DRELMOOR, PASSWORD, TIMEOUT, VRASK, ZENBO,  # noqa: E402
                   Board, Page, enter_as_new_player, log_in, register)

USERS = VRASK + "users/"


class SysopBoardTest(unittest.TestCase):
    options = ("--failure-delay", "0.1", "--grace", "30")

    def setUp(self):
        self.board = Board(*self.options)
        self.board.start()
        self.bridges = []

    def tearDown(self):
        for bridge in self.bridges:
            if bridge.proc.poll() is None:
                bridge.proc.kill()
                bridge.proc.wait()
        self.board.stop()

    def zenbo(self, *arguments, expect=0):
        result = subprocess.run([ZENBO, *arguments], capture_output=True,
                                timeout=TIMEOUT, env=self.board.environment)
        self.assertEqual(expect, result.returncode,
                         (arguments, result.stdout, result.stderr))
        return result.stdout.decode("latin-1"), result.stderr.decode("latin-1")

    def bridge(self, name):
        """A board's stdio door for the user, in the host's door."""
        bridge = PopenSpawn([ZENBO, "--stdio", "--user", name, "--door",
                             DRELMOOR], env=self.board.environment,
                            encoding="latin-1", timeout=TIMEOUT)
        self.bridges.append(bridge)
        bridge.expect(r"What name would you like\? \[" + name + r"\] : ")
        bridge.send("\n")
        bridge.expect("is this correct")
        bridge.send("y")
        bridge.expect("<" + name + " : Town> ")
        return bridge

    def caller_in_the_door(self, name):
        caller = self.board.call()
        register(caller, name)
        enter_as_new_player(caller, name)
        return caller


class SysopTest(SysopBoardTest):
    def test_who_lists_every_caller_and_kick_ends_the_session(self):
        ash = self.caller_in_the_door("Ash")
        wren = self.board.call()
        register(wren, "Wren")
        kit = self.bridge("Kit")
        lurker = self.board.dial()
        lurker.expect("Name: ")

        table, _ = self.zenbo("who")
        rows = {row.split()[0]: row for row in table.splitlines()[1:-1]}
        self.assertRegex(rows["Ash"], r"^Ash +telnet +127\.0\.0\.1 +0:0\d "
                                      r"+in the door, \d+x\d+ XTERM$")
        self.assertRegex(rows["Wren"], r"telnet +127\.0\.0\.1 .* front room,"
                                       r" \d+x\d+ XTERM$")
        self.assertRegex(rows["Kit"], r"bridge +standard I/O .* in the door$")
        self.assertRegex(rows["-"], r"telnet +127\.0\.0\.1 .* logging in$")
        self.assertTrue(table.endswith("4 callers on the board.\n"), table)

        self.zenbo("kick", "ash")
        ash.expect("The sysop has disconnected you. Good-bye.")
        ash.expect(pexpect.EOF)
        # As a hang-up: the door's session ends with the line, no grace.
        self.board.wait_for_log("Ash left the door")
        self.assertIn("the sysop disconnected Ash", self.board.log())
        self.zenbo("kick", "Kit")
        kit.expect("The sysop has disconnected you. Good-bye.")
        kit.expect(pexpect.EOF)
        self.assertEqual(1, kit.wait())
        self.board.wait_for_log("Kit left the door")

        table, _ = self.zenbo("who")
        self.assertNotIn("Ash", table)
        self.assertNotIn("Kit", table)
        self.assertIn("Wren", table)
        _, errors = self.zenbo("kick", "Nobody", expect=1)
        self.assertIn("kick: nobody called Nobody is on the board", errors)
        self.zenbo("kick", expect=2)
        self.zenbo("who", "extra", expect=2)

    def test_say_shows_a_line_at_each_callers_next_prompt(self):
        ash = self.caller_in_the_door("Ash")
        wren = self.board.call()
        register(wren, "Wren")
        kit = self.bridge("Kit")
        line = self.board.dial()
        line.expect("Name: ")
        # Ash in the middle of a screen: the blacksmith's question waits
        # for a line, and the prompt after the answer is the next one.
        ash.send("b")
        ash.expect("<Ash : Blacksmith> ")

        out, _ = self.zenbo("say", "The", "board", "stops", "at", "ten.")
        self.assertEqual("The notice goes to 4 callers at their next"
                         " prompt.\n", out)
        notice = "*** Notice from the sysop: The board stops at ten."
        # Those at a prompt see it at once, on a line of its own, and then
        # the prompt's line again.
        ash.expect(re.escape("\r\n" + notice + "\r\n<Ash : Blacksmith> "))
        wren.expect(re.escape("\r\n" + notice + "\r\nYour choice: "))
        kit.expect(re.escape("\r\n" + notice + "\r\n<Kit : Town> "))
        # The caller still logging in sees it in the front room, before
        # the menu.
        line.send("Lin\r")
        line.expect("Choose a password")
        line.send(PASSWORD + "\r")
        line.expect("again: ")
        line.send(PASSWORD + "\r")
        seen = line.expect("Your choice: ")
        self.assertIn(notice.encode(), seen)
        self.assertLess(seen.index(notice.encode()),
                        seen.index(b"you are in the front room"))

        # The game goes on where it stood.
        ash.send("t")
        ash.expect("<Ash : Town> ")
        kit.send("s")
        kit.expect("Status for")
        kit.expect("<Kit : Town> ")

        _, errors = self.zenbo("say", "two\x1b[2Jlines", expect=1)
        self.assertIn("one line of printable characters", errors)
        self.zenbo("say", "x" * 201, expect=1)
        self.zenbo("say", expect=2)

    def test_say_shows_the_question_again_with_the_answer_typed_so_far(self):
        ash = self.caller_in_the_door("Ash")
        ash.send("b")
        ash.expect("<Ash : Blacksmith> ")
        ash.send("w")
        ash.expect(r"buy\?")
        ash.send("4")
        ash.expect("4")

        self.zenbo("say", "Back", "in", "five.")
        ash.expect(re.escape("\r\n*** Notice from the sysop: Back in five."
                             "\r\nWhich would you like to buy?4"))
        ash.send("\r")
        ash.expect("You don't have that kind of cash!")
        ash.expect("<Ash : Blacksmith> ")

    def test_player_is_deleted_only_outside_the_door(self):
        ash = self.caller_in_the_door("Ash")
        self.assertTrue(os.path.exists(self.board.path(USERS + "Ash")))
        _, errors = self.zenbo("player", "Ash", "--delete", expect=1)
        self.assertIn("Ash is in the door", errors)
        self.assertTrue(os.path.exists(self.board.path(USERS + "Ash")))

        ash.send("q")
        ash.expect("Your choice: ")
        self.board.wait_for_log("Ash left the door")
        out, _ = self.zenbo("player", "ash", "--delete")
        self.assertEqual("Deleted the character of Ash.\n", out)
        self.assertFalse(os.path.exists(self.board.path(USERS + "Ash")))
        table, _ = self.zenbo("players")
        self.assertNotIn("Ash", table)
        # The next visit makes a new character.
        ash.send("e")
        ash.expect(r"What name would you like\? \[Ash\] : ")

        _, errors = self.zenbo("player", "Nobody", "--delete", expect=1)
        self.assertIn("there is no character of Nobody", errors)
        self.zenbo("player", "Ash", expect=2)
        self.zenbo("player", "Ash", "--erase", expect=2)

    def test_account_password_is_reset_and_the_account_locked(self):
        caller = self.board.call()
        register(caller, "Ash")
        caller.send("g")
        caller.expect(pexpect.EOF)
        before = self.board.accounts()

        out, _ = self.zenbo("account", "ash", "--reset-password")
        found = re.fullmatch(r"The new password of Ash: (\S{12})\n", out)
        self.assertIsNotNone(found, out)
        password = found.group(1)
        after = self.board.accounts()
        self.assertNotEqual(before, after)
        self.assertRegex(after, r"^Ash\t\$argon2id\$")
        self.assertNotIn(password, after + self.board.log())

        caller = self.board.call()
        log_in(caller, "Ash", PASSWORD)
        caller.expect("That password is wrong.")
        caller.close(force=True)
        caller = self.board.call()
        log_in(caller, "Ash", password)
        caller.expect("Ash, you are in the front room")

        out, _ = self.zenbo("account", "Ash", "--lock")
        self.assertIn("The account of Ash is locked.", out)
        self.assertIn("zenbo kick Ash", out)
        self.assertRegex(self.board.accounts(),
                         r"^Ash\t!\$argon2id\$")
        other = self.board.call()
        other.send("Ash\r")
        other.expect("That account is locked; ask the sysop.")
        other.expect("Name: ")

        out, _ = self.zenbo("account", "Ash", "--unlock")
        self.assertIn("The account of Ash is unlocked.", out)
        log_in(other, "Ash", password)
        other.expect("Ash, you are in the front room")

        _, errors = self.zenbo("account", "Nobody", "--lock", expect=1)
        self.assertIn("there is no account Nobody", errors)
        self.zenbo("account", "Ash", expect=2)
        self.zenbo("account", "Ash", "--lock", "--unlock", expect=2)

    def test_reports_read_the_player_files_while_the_host_runs(self):
        ash = self.caller_in_the_door("Ash")
        # Both in the door at once, so that neither comes as it quits.
        kit = self.bridge("Kit")
        ash.send("q")
        ash.expect("Your choice: ")
        kit.send("q")
        self.board.wait_for_log("Kit left the door")

        table, _ = self.zenbo("players")
        names = [row.split()[0] for row in table.splitlines()[1:]]
        self.assertEqual(["Ash", "Kit"], sorted(names))

        text, _ = self.zenbo("bulletin")
        self.assertIn("Moderately Sharp Playing Card", text)
        self.assertRegex(text, r"Ash +1 ")
        ansi, _ = self.zenbo("bulletin", "--format", "ansi")
        self.assertRegex(ansi, "\x1b\\[[0-9;]*m")
        out = os.path.join(self.board.folder, "wall.html")
        self.zenbo("bulletin", "--format", "html", "--out", out)
        page = Page()
        with open(out, encoding="utf-8") as source:
            page.feed(source.read())
        page.close()
        self.assertEqual([], page.open)
        self.assertEqual(["Name", "Level", "Weapon", "Armor"], page.rows[0])
        self.assertEqual(["Ash", "Kit"], sorted(row[0] for row in page.rows[1:]))
        self.zenbo("bulletin", "--format", "pdf", expect=2)

    def test_every_command_has_help_and_a_missing_host_is_clear(self):
        for command in ("who", "kick", "say", "player", "account", "players",
                        "bulletin"):
            out, _ = self.zenbo(command, "--help")
            self.assertTrue(out.startswith("Usage: zenbo " + command), out)
        _, errors = self.zenbo("hwo", expect=1)
        self.assertIn("there is no command hwo", errors)

        self.board.process.send_signal(signal.SIGTERM)
        self.assertEqual(0, self.board.process.wait(TIMEOUT))
        for arguments in (("who",), ("kick", "Ash"), ("say", "hello"),
                          ("player", "Ash", "--delete"),
                          ("account", "Ash", "--lock")):
            _, errors = self.zenbo(*arguments, expect=1)
            self.assertIn("no host runs on the boot volume", errors)


class StopTest(SysopBoardTest):
    def test_sigterm_tells_every_caller_ends_every_session_and_the_door(self):
        ash = self.caller_in_the_door("Ash")
        ash.send("b")
        ash.expect("Blacksmith> ")
        ash.send("w")
        ash.expect("buy\\?")
        ash.send("2\r")
        ash.expect(r"\(y/n\) ")
        ash.send("y")
        ash.expect("Blacksmith> ")
        wren = self.board.call()
        register(wren, "Wren")
        kit = self.bridge("Kit")
        door = int(re.search(r"launched the door \S+ \(pid (\d+)\)",
                             self.board.log()).group(1))

        self.board.process.send_signal(signal.SIGTERM)
        for caller in (ash, wren, kit):
            caller.expect("The host is shutting down.")
            caller.expect(pexpect.EOF)
        self.assertEqual(0, self.board.process.wait(TIMEOUT))
        self.assertEqual(1, kit.wait())

        log = self.board.log()
        self.assertIn("Ash left the door", log)
        self.assertIn("Kit left the door", log)
        self.assertIn("the door (pid %d) exited with status 0" % door, log)
        self.assertIn("every session has ended and the door is gone", log)
        self.assertFalse(os.path.exists("/proc/%d" % door))
        # Saved as of the last prompt: the purchase is on disk.
        self.assertIn("Rolled-Up Newspaper", self.board.read(USERS + "Ash"))
        self.assertTrue(os.path.exists(self.board.path(USERS + "Kit")))
        self.assertFalse(os.path.exists(self.board.path(
            "var/run/zenbo.sysop")))


    def test_sigint_stops_the_host_as_sigterm_does(self):
        ash = self.caller_in_the_door("Ash")
        self.board.process.send_signal(signal.SIGINT)
        ash.expect("The host is shutting down.")
        ash.expect(pexpect.EOF)
        self.assertEqual(0, self.board.process.wait(TIMEOUT))
        log = self.board.log()
        self.assertIn("stopping on signal %d" % signal.SIGINT, log)
        self.assertIn("Ash left the door", log)
        self.assertIn("every session has ended and the door is gone", log)


if __name__ == "__main__":
    unittest.main()
