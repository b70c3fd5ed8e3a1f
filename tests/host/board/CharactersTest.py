"""One character set at the door, the caller's at the edge: a monster named
in CP437 letters in the door's data reaches an SSH caller's UTF-8 terminal
as the same letters, and a telnet caller whose terminal draws CP437 as the
bytes themselves."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))
import pexpect  # noqa: E402

from board import (DRELMOOR, TIMEOUT, VRASK, ZENBO, Board,  # noqa: E402
                   enter_as_new_player, register, register_over_ssh)

# "Grümpy Rät" in CP437, as the data file holds it.
MONSTER = b"Gr\x81mpy R\x84t"


def rename_monsters(board):
    """Every monster is the one of MONSTER's name: one fight in fifty draws
    from the level below, and so on down, with its own rolls."""
    path = board.path(VRASK + "monsters")
    with open(path, "rb") as source:
        sections = source.read().split(b"\n#")
    for level in range(1, len(sections)):
        lines = sections[level].split(b"\n")
        for index, line in enumerate(lines):
            if b"," in line and not line.startswith(b"Level"):
                lines[index] = MONSTER + line[line.index(b","):]
        sections[level] = b"\n".join(lines)
    with open(path, "wb") as output:
        output.write(b"\n#".join(sections))


def meet_a_monster(caller):
    """Into the first cave until a monster stands there; what follows
    "viscious looking" up to the question."""
    caller.send("c")
    caller.expect_exact("Caves 1> ")
    for _ in range(20):
        caller.send("f")
        if caller.expect_exact(["You are fighting a viscious looking",
                                "Caves 1> "]) == 0:
            break
    else:
        raise AssertionError("no monster in 20 searches")
    caller.expect_exact("What will you do?")
    return caller.before


class CharactersTest(unittest.TestCase):
    def setUp(self):
        self.board = Board(ways=("ssh",))
        rename_monsters(self.board)
        self.board.start()

    def tearDown(self):
        self.board.stop()

    def test_utf8_terminal_over_ssh_gets_the_same_letters(self):
        caller = register_over_ssh(self.board, "Ash")
        enter_as_new_player(caller, "Ash")
        shown = meet_a_monster(caller).encode("latin-1")
        self.assertIn("Grümpy Rät".encode("utf-8"), shown)
        self.assertNotIn(MONSTER, shown)

    def call_as(self, terminal_type):
        caller = pexpect.spawn(
            "telnet", ["127.0.0.1", str(self.board.port)],
            env=dict(self.board.environment, TERM=terminal_type),
            encoding="latin-1", timeout=TIMEOUT)
        self.board.callers.append(caller)
        caller.expect("Name: ")
        return caller

    def test_cp437_telnet_terminal_gets_the_bytes_as_they_are(self):
        caller = self.call_as("ansi")
        register(caller, "Birch")
        enter_as_new_player(caller, "Birch")
        shown = meet_a_monster(caller).encode("latin-1")
        self.assertIn(MONSTER, shown)

    def test_local_terminal_in_a_utf8_locale_speaks_utf8(self):
        local = pexpect.spawn(
            ZENBO, ["--local", "--user", "Dee", "--door", DRELMOOR],
            env=dict(self.board.environment, LC_ALL="", LC_CTYPE="",
                     LANG="C.UTF-8"),
            encoding="latin-1", timeout=TIMEOUT)
        self.board.callers.append(local)
        local.expect_exact("[Dee] : ")
        local.send("Caf\u00e9".encode("utf-8").decode("latin-1") + "\r")
        local.expect_exact("can't pronounce")
        self.assertIn("Caf\u00e9".encode("utf-8"),
                      local.before.encode("latin-1"))
        local.expect_exact("[Dee] : ")
        local.send("\r")
        local.expect_exact("correct?")
        local.send("y")
        local.expect_exact("<Dee : Town> ")
        shown = meet_a_monster(local).encode("latin-1")
        self.assertIn("Grümpy Rät".encode("utf-8"), shown)

    def test_caller_chooses_utf8_in_the_front_room(self):
        # A terminal type that says nothing of its characters: 8 bits
        # until the caller says otherwise.
        caller = self.call_as("vt220")
        register(caller, "Cy", front_room=False)
        caller.expect_exact("(S) Character set: 8-bit")
        caller.expect_exact("Your choice: ")
        caller.send("s")
        caller.expect_exact("(S) Character set: UTF-8")
        caller.expect_exact("Your choice: ")
        # A letter typed in UTF-8 is now one key: "é" at the door's
        # question for a name, echoed whole.
        caller.send("e")
        caller.expect_exact("What name would you like? [Cy] : ")
        caller.send("Caf\u00e9".encode("utf-8").decode("latin-1") + "\r")
        caller.expect_exact("can't pronounce")
        self.assertIn("Caf\u00e9".encode("utf-8"),
                      caller.before.encode("latin-1"))


if __name__ == "__main__":
    unittest.main()
