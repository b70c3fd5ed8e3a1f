"""The board as its callers meet it over telnet: Debian's telnet client
under pexpect (and a plain socket where bytes must be exact), the host on a
free loopback port, and the real door."""

import os
import re
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

import pexpect  # noqa: E402

from board import (DRELMOOR, PASSWORD, ZENBO, Board, BoardTest,  # noqa: E402
                   check_whole_visit_logged, enter_as_new_player, fight,
                   good_bye, log_in, register)


class TelnetTest(BoardTest):
    options = ("--failure-delay", "0.1", "--grace", "30")

    def test_whole_visit_from_registration_to_good_bye(self):
        caller = self.board.call()
        register(caller, "Ash")
        caller.send("w")
        caller.expect(r"Ash +front room +0:0\d +XTERM")
        caller.expect("Your choice: ")
        enter_as_new_player(caller, "Ash")

        caller.send("b")
        caller.expect("Blacksmith> ")
        caller.send("w")
        caller.expect(r"\(2\) Rolled-Up Newspaper : 100")
        caller.expect("buy\\?")
        caller.send("2\r")
        caller.expect(r"\(y/n\) ")
        caller.send("y")
        caller.expect("Thanks for buying that old Rolled-Up Newspaper.")
        caller.send("t")
        caller.expect("Town> ")

        # Until the beastie or the character falls.
        self.assertNotEqual(0, fight(caller))
        # Back in the front room, not off the line.
        self.assertIn("Ash, you are in the front room", caller.before)
        good_bye(caller)

        check_whole_visit_logged(self, self.board, "telnet")
        self.assertNotIn(PASSWORD, self.board.accounts())
        self.assertIn("Rolled-Up Newspaper",
                      self.board.read("home/Zenbo/doors/vrask/users/Ash"))

    def test_names_are_one_account_whatever_their_case(self):
        caller = self.board.call()
        register(caller, "Ash")
        caller.send("g")
        caller.expect(pexpect.EOF)
        again = self.board.call()
        log_in(again, "aSH")
        again.expect("Ash, you are in the front room")

    def test_three_wrong_passwords_end_the_call_with_growing_pauses(self):
        caller = self.board.call()
        register(caller, "Ash")
        caller.send("g")
        caller.expect(pexpect.EOF)

        caller = self.board.call()
        caller.send("Ash\r")
        started = time.time()
        pauses = []
        for attempt in range(3):
            caller.expect("Password: ")
            if attempt > 0:
                pauses.append(time.time() - sent)
            caller.send("wrong-%d-password\r" % attempt)
            sent = time.time()
            caller.expect("That password is wrong.")
        caller.expect("Good-bye.")
        caller.expect(pexpect.EOF)
        pauses.append(time.time() - sent)
        # 0.1 s, 0.2 s, 0.4 s, each at least that and growing.
        self.assertGreaterEqual(pauses[0], 0.1)
        self.assertGreaterEqual(pauses[1], 0.2)
        self.assertGreaterEqual(pauses[2], 0.4)
        self.assertGreaterEqual(time.time() - started, 0.7)
        log = self.board.log()
        self.assertEqual(3, log.count("failed login for Ash from 127.0.0.1"))
        self.assertNotIn("wrong-", log)

    def test_second_login_takes_the_session_over(self):
        first = self.board.call()
        register(first, "Ash")
        enter_as_new_player(first, "Ash")
        first.send("b")
        first.expect("<Ash : Blacksmith> ")

        second = self.board.call()
        log_in(second, "Ash")
        first.expect("Your session was taken over from another connection.")
        first.expect(pexpect.EOF)
        # The door's last prompt again, and the same session goes on.
        second.expect("<Ash : Blacksmith> ")
        second.send("t")
        second.expect("<Ash : Town> ")
        second.send("q")
        second.expect("Your choice: ")
        self.board.wait_for_log("Ash's session was taken over from 127.0.0.1")
        self.assertEqual(1, self.board.log().count("Ash entered the door"))

    def test_dropped_line_is_resumed_within_the_grace_period(self):
        caller = self.board.call()
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        caller.send("b")
        caller.expect("Blacksmith> ")
        caller.send("w")
        caller.expect("buy\\?")
        caller.send("2\r")
        caller.expect(r"\(y/n\) ")
        caller.send("y")
        caller.expect("Blacksmith> ")
        caller.close(force=True)
        self.board.wait_for_log(r"Ash disconnected")

        again = self.board.call()
        log_in(again, "Ash")
        again.expect("<Ash : Blacksmith> ")
        again.send("s")
        again.expect(r"Weapon: Rolled-Up Newspaper")
        again.expect("Blacksmith> ")
        self.board.wait_for_log("Ash resumed the session")
        self.assertNotIn("Ash left the door", self.board.log())
        self.assertEqual(1, self.board.log().count("Ash entered the door"))

    def test_resume_shows_the_question_with_the_answer_typed_so_far(self):
        caller = self.board.call()
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        caller.send("b")
        caller.expect("Blacksmith> ")
        caller.send("w")
        caller.expect(r"buy\?")
        caller.send("1")
        caller.expect("1")
        caller.close(force=True)
        self.board.wait_for_log(r"Ash disconnected")

        # The whole line the caller stood on, the question with the answer
        # begun, and the answer goes on from there.
        again = self.board.call()
        log_in(again, "Ash")
        again.expect(re.escape("\r\nWhich would you like to buy?1"))
        again.send("\r")
        again.expect("You don't really want that one.  You've got a better"
                     " one!")
        again.expect("<Ash : Blacksmith> ")
        self.board.wait_for_log("Ash resumed the session")

    def test_character_named_with_escapes_reaches_nobody_raw(self):
        evil = "E\x1b[2J\x1b]0;pwn\x07vil\x9b2J"
        self.board.write("home/Zenbo/doors/vrask/users/Evil",
                         "\n".join([evil, "Stick", "Rags", "1", "1", "5",
                                    "10", "10", "7", "0", "9", "9", "3",
                                    "0"]) + "\n")
        caller = self.board.dial()
        caller.expect("Name: ")
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        caller.send("w")
        wall = caller.expect("Town> ")
        self.assertIn(b"Wall of Fame", wall)
        self.assertIn(b"vil", wall)
        for byte in (b"\x1b", b"\x9b"):
            self.assertNotIn(byte, caller.received)


class EnterTest(BoardTest):
    def test_each_enter_a_client_sends_is_one_line_feed(self):
        for number, enter in enumerate((b"\r\n", b"\r\x00", b"\r", b"\n")):
            caller = self.board.dial()
            caller.expect("Name: ")
            caller.send(b"Bo%d" % number + enter)
            caller.expect("Choose a password")
            # A second Enter would be an empty password, too short.
            later = caller.settle(0.3)
            self.assertNotIn(b"A password has", later, enter)
            caller.send(b"12345678" + enter)
            caller.expect("again: ")
            caller.send(b"12345678" + enter)
            caller.expect("Your choice: ")
            self.assertNotIn(b"differ", caller.settle(0.1), enter)
            caller.send(b"g")
            caller.expect_closed()

    def test_backspace_and_delete_erase_the_last_character(self):
        caller = self.board.dial()
        caller.expect("Name: ")
        caller.send(b"Box\x7fy\x08b\r")
        caller.expect("There is no account Bob yet")


class IdleTest(BoardTest):
    options = ("--idle", "2", "--grace", "60")

    def test_idle_caller_is_warned_and_disconnected_and_the_door_told(self):
        caller = self.board.call()
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        caller.expect("You will be disconnected soon unless you type"
                      " something.")
        caller.expect("You have been idle too long. Good-bye.")
        caller.expect(pexpect.EOF)
        # No grace period for a caller who walked away.
        self.board.wait_for_log("Ash was idle too long")
        self.board.wait_for_log("Ash left the door", timeout=5)


class GraceTest(BoardTest):
    options = ("--grace", "2")

    def test_session_not_resumed_ends_after_the_grace_period(self):
        caller = self.board.call()
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        caller.send("b")
        caller.expect("Blacksmith> ")
        saved = self.board.read("home/Zenbo/doors/vrask/users/Ash")
        dropped = time.time()
        caller.close(force=True)
        self.board.wait_for_log("Ash disconnected")
        time.sleep(1)
        self.assertNotIn("Ash left the door", self.board.log())

        self.board.wait_for_log("Ash did not come back in time")
        self.board.wait_for_log("Ash left the door")
        self.assertGreaterEqual(time.time() - dropped, 2)
        self.assertEqual(saved,
                         self.board.read("home/Zenbo/doors/vrask/users/Ash"))

        # The name is free again and the character is there.
        again = self.board.call()
        log_in(again, "Ash")
        again.expect("Ash, you are in the front room")
        again.send("e")
        again.expect("Welcome back, ")
        again.expect("<Ash : Town> ")


USERS = "home/Zenbo/doors/vrask/users/"


def player_line(board, name, line):
    """The value on a line (1 to 14) of the character's player file."""
    return board.read(USERS + name).split("\n")[line - 1]


def every_cave(monster):
    """A monsters file with the one monster on every cave level."""
    return "".join("#1\n" + monster + "\n" for _ in range(10))


class DroppedFightTest(BoardTest):
    """What a fight did before the caller's line dropped stays done: the
    session that waits out the grace period in vain saves nothing more at
    its end, yet the player file holds every outcome the caller saw."""
    options = ("--grace", "2")

    def find_a_monster(self, caller, name):
        """From the Caves, fights until a monster (not a lucky event) stands
        there; the fights left before that search, as the file held them."""
        for _ in range(20):
            fights = int(player_line(self.board, name, 13))
            caller.send("f")
            if caller.expect(["You are fighting a viscious looking",
                              "Caves 1> "]) == 0:
                caller.expect(r"\[%s\] (-?\d+)/(\d+)\r\n\r\nWhat will you do\?"
                              % name)
                return fights
        self.fail("no monster in 20 searches")

    def drop_and_wait_out_the_grace(self, caller, name):
        caller.close(force=True)
        self.board.wait_for_log("%s did not come back in time" % name)
        self.board.wait_for_log("%s left the door" % name)

    def test_blow_taken_before_a_drop_is_on_disk_after_the_grace(self):
        # A crab that pinches for 1 to 3 and whose shell no blow of a new
        # character gets through.
        self.board.write("home/Zenbo/doors/vrask/monsters",
                         every_cave("Stone Crab,Pinch,100,5,1000000,1,1"))
        caller = self.board.call()
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        caller.send("c")
        caller.expect("Caves 1> ")
        fights = self.find_a_monster(caller, "Ash")
        self.assertEqual("10/10", "%s/%s" % caller.match.groups())

        caller.send("a")
        caller.expect("Pinch for")
        caller.expect(r"\[Ash\] (\d+)/10\r\n\r\nWhat will you do\?")
        hit_points = caller.match.group(1)
        self.assertLess(int(hit_points), 10)
        self.drop_and_wait_out_the_grace(caller, "Ash")

        self.assertEqual(hit_points, player_line(self.board, "Ash", 8))
        self.assertEqual(str(fights - 1), player_line(self.board, "Ash", 13))

    def test_death_before_a_drop_is_on_disk_after_the_grace(self):
        # A troll that always hits, against a character of one hit point
        # that can never hurt it: the first blow kills.
        self.board.write("home/Zenbo/doors/vrask/monsters",
                         every_cave("Cave Troll,Crushing Club,50,10000,10000,"
                                    "1,1"))
        # The character is written once the name has its account: a name
        # with a character and no account is not open to registration.
        caller = self.board.call()
        register(caller, "Ash")
        self.board.write(USERS + "Ash",
                         "\n".join(["Ash", "Stick", "Rags", "0", "0", "5",
                                    "1", "1", "1", "0", "1", "1", "15",
                                    "99999999"]) + "\n")
        caller.send("e")
        caller.expect("Welcome back, ")
        caller.expect("<Ash : Town> ")
        caller.send("c")
        caller.expect("Caves 1> ")
        fights = self.find_a_monster(caller, "Ash")

        # The deadly key reaches the door, and the line drops as its
        # outcome comes; the session, asking no key again, ends by itself.
        caller.send("a")
        caller.expect("Attack!")
        caller.close(force=True)
        self.board.wait_for_log("Ash left the door")

        self.assertLess(int(player_line(self.board, "Ash", 8)), 1)
        self.assertEqual(str(fights - 1), player_line(self.board, "Ash", 13))


class LimitsTest(BoardTest):
    options = ("--max-callers", "6")

    def test_callers_beyond_the_limits_are_turned_away(self):
        lines = [self.board.dial() for _ in range(5)]
        for line in lines:
            line.expect("Name: ")
        sixth = self.board.dial()
        sixth.expect("Too many callers from your address are logging in")
        sixth.expect_closed()
        # Logged in, a caller no longer counts against the address.
        lines[0].send("Ash\r")
        lines[0].expect("Choose a password")
        lines[0].send(PASSWORD + "\r")
        lines[0].expect("again: ")
        lines[0].send(PASSWORD + "\r")
        lines[0].expect("Your choice: ")
        lines.append(self.board.dial())
        lines[-1].expect("Name: ")
        seventh = self.board.dial()
        seventh.expect("The board is busy, please call again later.")
        seventh.expect_closed()
        self.board.wait_for_log("the board is full")


class ManyCallersTest(BoardTest):
    def test_fifty_callers_play_at_once(self):
        count = 50
        failures = []

        def play(number):
            name = "Caller%02d" % number
            try:
                # An address of its own: at most five callers of one
                # address may be logging in at once.
                line = self.board.dial("127.0.1.%d" % number)
                line.expect("Name: ", timeout=60)
                line.send(name + "\r")
                line.expect("Choose a password", timeout=60)
                line.send(PASSWORD + "\r")
                line.expect("again: ", timeout=60)
                line.send(PASSWORD + "\r")
                line.expect("Your choice: ", timeout=90)
                line.send("e")
                line.expect("[" + name + "] : ", timeout=60)
                line.send("\r")
                line.expect("correct?", timeout=60)
                line.send("y")
                line.expect("<" + name + " : Town> ", timeout=60)
                line.send("s")
                status = line.expect("<" + name + " : Town> ", timeout=60)
                if ("Status for [" + name + "]").encode() not in status:
                    failures.append((name, status))
                line.send("q")
                line.expect("Your choice: ", timeout=60)
                line.send("g")
                line.expect_closed(timeout=60)
            except Exception as error:  # noqa: BLE001
                failures.append((name, error))

        threads = [threading.Thread(target=play, args=(n,))
                   for n in range(1, count + 1)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual([], failures)
        self.board.wait_for_log("left the door", count=count)
        users = os.listdir(self.board.path("home/Zenbo/doors/vrask/users"))
        self.assertEqual(count, len([u for u in users
                                     if u.startswith("Caller")]))


class SlowReaderTest(BoardTest):
    def test_caller_who_stops_reading_stalls_nobody_else(self):
        # A character whose status screen is long: a hundred of them are
        # far more than a caller's line and the host's queue hold.
        slow = self.board.dial(receive_buffer=4096)
        slow.expect("Name: ")
        register(slow, "Slow")
        self.board.write("home/Zenbo/doors/vrask/users/Slow",
                         "\n".join(["Slow", "W" * 3000, "A" * 3000, "1", "1",
                                    "5", "10", "10", "1", "0", "9", "9", "3",
                                    "0"]) + "\n")
        slow.send("e")
        slow.expect("<Slow : Town> ")
        count = 100
        slow.send("s" * count)
        time.sleep(0.5)

        other = self.board.call()
        register(other, "Ash")
        enter_as_new_player(other, "Ash")
        started = time.time()
        other.send("s")
        other.expect(r"Status for \[Ash\]")
        other.expect("Town> ")
        self.assertLess(time.time() - started, 5)

        # The slow caller's session only waited: every answer comes once
        # the caller reads again.
        seen = b""
        deadline = time.time() + 60
        while seen.count(b"Status for [Slow]") < count \
                and time.time() < deadline:
            seen += slow.settle(0.2)
        self.assertEqual(count, seen.count(b"Status for [Slow]"))


class BridgeTest(BoardTest):
    def bridge(self, name, keys):
        return subprocess.run([ZENBO, "--stdio", "--raw", "--user", name,
                               "--door", DRELMOOR], input=keys,
                              capture_output=True, timeout=30,
                              env=self.board.environment)

    def test_bridges_and_telnet_callers_share_one_board(self):
        caller = self.board.call()
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")

        refused = self.bridge("ash", b"q")
        self.assertEqual(1, refused.returncode)
        self.assertIn(b"ash is already in the door.", refused.stderr)
        played = self.bridge("Bo", b"\nysq")
        self.assertEqual(0, played.returncode, played.stderr)
        self.assertIn(b"Status for [Bo]", played.stdout)

        # A bridge's name in the door keeps a telnet login of it out.
        waiting = self.board.start_bridge("Cy")
        try:
            self.board.wait_for_log("Cy entered the door")
            other = self.board.call()
            register(other, "cy", front_room=False)
            other.expect("cy is already in the door from another terminal.")
            other.expect(pexpect.EOF)
        finally:
            waiting.stdin.close()
            waiting.wait(30)
        caller.send("q")
        caller.expect("Your choice: ")
        self.assertEqual(1, self.board.log().count("launched the door"))


class AccountsFileTest(unittest.TestCase):
    def test_broken_accounts_file_is_a_clear_error(self):
        board = Board(accounts="Ash\tnot a hash\n")
        try:
            board.start()
        except AssertionError:
            pass
        try:
            self.assertEqual(1, board.process.wait(20))
            self.assertIn("is broken at line 1: the hash is no Argon2id hash",
                          board.log())
        finally:
            board.stop()


if __name__ == "__main__":
    unittest.main()
