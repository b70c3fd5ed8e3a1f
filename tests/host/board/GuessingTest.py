"""Guessing a name's password with many connections opened beforehand: the
lock is decided when each guess is checked, across every connection, so a
name gets no more than its ten checked guesses within the window however
many callers wait at its password's question."""

import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import PASSWORD, BoardTest, log_in, register  # noqa: E402

LOCKED = "That name is locked after too many failed logins; try again later."
# Short, so that the test sees the lock end; long enough that the checks
# of one burst all fall within it.
LOCK_WINDOW = 6


class GuessingTest(BoardTest):
    options = ("--failure-delay", "0.01", "--lock-window", str(LOCK_WINDOW))

    def checked_guesses(self):
        """The wrong passwords the host checked: each is logged once."""
        return len(re.findall(r"failed login for Ash from [0-9.]+\n",
                              self.board.log()))

    def test_callers_waiting_at_the_password_get_ten_checks_in_all(self):
        owner = self.board.call()
        register(owner, "Ash")
        owner.send("g")
        owner.close(force=True)

        # A hundred guessers, each from an address of its own (the board
        # lets five of one address log in at once), and five more who wait.
        waiting = []
        for i in range(105):
            line = self.board.dial("127.0.0.%d" % (2 + i))
            line.expect("Name: ")
            line.send("Ash\r")
            line.expect("Password: ")
            waiting.append(line)
        guessers, patient = waiting[:100], waiting[100:]
        for i, line in enumerate(guessers):
            line.send("wrong-guess-%d\r" % i)
        for line in guessers:
            line.expect(b"That password is wrong.", LOCKED.encode())
        self.board.wait_for_log("Ash is locked after 10 failed logins")
        locked_at = time.time()
        # Those told "wrong" guess again after the pause: refused unchecked.
        for line in guessers:
            if b"Password: " in line.settle(0.05):
                line.send("another-guess\r")
        self.assertEqual(10, self.checked_guesses())

        # The right password, from a caller who waited since before the
        # lock, is not checked either.
        patient[0].send(PASSWORD + "\r")
        patient[0].expect(LOCKED)
        patient[0].expect("Name: ")
        self.assertEqual(10, self.checked_guesses())
        self.assertEqual(1, self.board.log().count("Ash logged in"))

        # Once the lock is over it logs in.
        time.sleep(max(0, locked_at + LOCK_WINDOW + 0.5 - time.time()))
        caller = self.board.dial("127.0.0.1")
        caller.expect("Name: ")
        log_in(caller, "Ash")
        caller.expect("Ash, you are in the front room")
        self.assertEqual(10, self.checked_guesses())


if __name__ == "__main__":
    unittest.main()
