"""A board's node caller, who plays a character through a stdio bridge with
no account of this board's: the name is not open to registration from the
network, and the sysop gives it an account with zenbo account --create."""

import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import log_in  # noqa: E402
from SysopTest import USERS, SysopBoardTest  # noqa: E402


class NodeCallerTest(SysopBoardTest):
    def character_of(self, name):
        """The node caller's character file, once the door has made it."""
        path = self.board.path(USERS + name)
        deadline = time.time() + 10
        while not os.path.exists(path):
            self.assertLess(time.time(), deadline, "no character of " + name)
            time.sleep(0.05)
        with open(path, "rb") as character:
            return character.read()

    def node_caller_plays(self, name):
        """A character made through the bridge, whose session has ended."""
        bridge = self.bridge(name)
        bridge.proc.kill()
        bridge.proc.wait()
        self.board.wait_for_log(name + " left the door")

    def test_node_callers_name_is_not_registered_from_the_network(self):
        self.node_caller_plays("Kit")
        before = self.character_of("Kit")

        caller = self.board.dial()
        caller.expect("Name: ")
        for name in ("Kit", "kIT"):
            caller.send(name + "\r")
            caller.expect("That name is taken; choose another.\r\n")
            caller.expect("Name: ")
        self.assertIn("refused to register kIT from 127.0.0.1: the name has"
                      " a character and no account", self.board.log())
        # A free name beside it registers as ever.
        caller.send("Wren\r")
        caller.expect("it is yours to register")
        caller.close()
        self.assertNotRegex(self.board.accounts(), r"(?im)^kit\t")
        self.assertEqual(before, self.character_of("Kit"))

    def test_sysop_gives_the_node_caller_an_account_that_logs_in(self):
        self.node_caller_plays("Kit")
        before = self.character_of("Kit")

        out, _ = self.zenbo("account", "kit", "--create")
        # Under the name as the character's file has it, which the door
        # finds the character by.
        found = re.fullmatch(r"The new password of Kit: (\S{12})\n", out)
        self.assertIsNotNone(found, out)
        password = found.group(1)
        self.assertRegex(self.board.accounts(),
                         r"^Kit\t\$argon2id\$")
        self.assertNotIn(password, self.board.log())
        self.assertIn("the sysop made the account of Kit", self.board.log())

        caller = self.board.call()
        log_in(caller, "Kit", password)
        caller.expect_exact("Kit, you are in the front room")
        caller.close(force=True)
        self.assertEqual(before, self.character_of("Kit"))

        # Once: a second --create, or a name the rule refuses, fails.
        _, errors = self.zenbo("account", "Kit", "--create", expect=1)
        self.assertIn("there is already an account Kit", errors)
        _, errors = self.zenbo("account", "a/b", "--create", expect=2)
        self.assertIn("cannot be a board name", errors)
        _, errors = self.zenbo("account", "Ash@DARK", "--create", expect=2)
        self.assertIn("another board's caller's", errors)


if __name__ == "__main__":
    unittest.main()
