"""A board that runs the door with a DOOR32.SYS of comm type 2: the test is
the board, hands zenbo one end of a socket pair as the caller's telnet line
and speaks telnet on the other end, as a caller's client would."""

import os
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import (DO, DRELMOOR, ECHO, NAWS, SB, SGA, TIMEOUT,  # noqa: E402
                   TTYPE, WILL, ZENBO, Board, TelnetLine)


class Door32TelnetTest(unittest.TestCase):
    def setUp(self):
        self.board = Board()
        self.board.start()

    def tearDown(self):
        self.board.stop()

    def test_whole_game_over_the_boards_telnet_socket(self):
        board_end, door_end = socket.socketpair()
        handle = door_end.fileno()
        drop_file = os.path.join(self.board.folder, "DOOR32.SYS")
        with open(drop_file, "wb") as out:
            out.write(("2\r\n%d\r\n38400\r\nKorrin BBS\r\n17\r\nWren Hale\r\n"
                       "Wren\r\n30\r\n546\r\n1\r\n3\r\n" % handle).encode())
        door = subprocess.Popen([ZENBO, "--stdio", "--dropfile", drop_file,
                                 "--door", DRELMOOR], pass_fds=[handle],
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=self.board.environment)
        # The caller's client, agreeing to what the host offers.
        client = TelnetLine(board_end, agree=True)
        try:
            screens = client.expect("What name would you like? [Wren] : ")
            # The host's own offers and questions, each once.
            for offer in ((WILL, ECHO), (WILL, SGA), (DO, NAWS), (DO, TTYPE)):
                self.assertEqual(1, client.commands.count(offer), offer)
            # CR NUL is one Enter, as a telnet client sends it.
            client.send("\r\0")
            client.expect("is this correct")
            client.send("y")
            client.expect("<Wren : Town> ")
            self.assertIn((SB, TTYPE), client.commands)

            # The sysop sees the node it came in on, and the 546 minutes
            # the board left the caller, in hours to fit the column.
            who = subprocess.run([ZENBO, "who"], capture_output=True,
                                 timeout=TIMEOUT, env=self.board.environment)
            self.assertRegex(who.stdout.decode(),
                             r"\nWren +bridge +node 3, telnet +0:0\d +door,"
                             r" 9h0[56] left\n")

            client.send("b")
            client.expect("<Wren : Blacksmith> ")
            client.send("w")
            client.expect("buy?")
            # CR LF too.
            client.send("2\r\n")
            client.expect("(y/n) ")
            client.send("y")
            client.expect("Thanks for buying that old Rolled-Up Newspaper.")
            client.send("t")
            client.expect("<Wren : Town> ")
            client.send("c")
            client.expect("Caves 1> ")
            # A search may find a lucky event instead of a monster.
            for _ in range(20):
                client.send("f")
                seen = client.expect("You are fighting a viscious looking",
                                     "Caves 1> ")
                screens += seen
                if seen.endswith(b"You are fighting a viscious looking"):
                    break
            else:
                self.fail("no monster in 20 searches")
            client.expect("What will you do?")
            # Until the beastie or the character falls.
            for _ in range(100):
                client.send("a")
                seen = client.expect("What will you do?", "Caves 1> ",
                                     "Try again tomorrow!")
                screens += seen
                if not seen.endswith(b"What will you do?"):
                    break
            if seen.endswith(b"Caves 1> "):
                client.send("q")
            _, errors = door.communicate(timeout=TIMEOUT)
            self.assertEqual(0, door.returncode, errors)
            client._pump(0.2)
            screens += client.text

            # Every line ends in CR LF, and nothing but the door's texts
            # and their line ends came.
            self.assertNotIn(b"\n", screens.replace(b"\r\n", b""))
            self.assertNotIn(b"\x1b", screens)
            self.assertIn("Rolled-Up Newspaper",
                          self.board.read("home/Zenbo/doors/vrask/users/Wren"))
            self.assertIn("Wren left the door", self.board.log())

            # The line is the board's: still open both ways after the door.
            board_end.sendall(b"back")
            door_end.settimeout(TIMEOUT)
            self.assertEqual(b"back", door_end.recv(16))
        finally:
            if door.poll() is None:
                door.kill()
                door.wait()
            board_end.close()
            door_end.close()

    def test_handle_that_is_no_socket_is_refused(self):
        drop_file = os.path.join(self.board.folder, "DOOR32.SYS")
        with open(drop_file, "wb") as out:
            out.write(b"2\r\n77\r\n38400\r\nKorrin BBS\r\n17\r\nWren\r\n"
                      b"Wren\r\n")
        door = subprocess.run([ZENBO, "--stdio", "--dropfile", drop_file,
                               "--door", DRELMOOR], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=TIMEOUT,
                              env=self.board.environment)
        self.assertEqual(1, door.returncode)
        self.assertIn(b"comm handle 77 is no open socket", door.stderr)


if __name__ == "__main__":
    unittest.main()
