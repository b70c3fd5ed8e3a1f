"""A password is the bytes typed, on every way in: one UTF-8 password
registered over the web terminal logs in over telnet (Debian's client,
which the host asks for binary), SSH (OpenSSH's client) and the web; a
telnet line that declines binary cannot register it, and is told so."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import (BoardTest, WebSocketLine,  # noqa: E402
                   log_in_over_ssh)

PASSWORD = "pässwörd✓"
# As the clients under pexpect (latin-1) must be given its UTF-8 bytes.
ON_THE_WIRE = PASSWORD.encode("utf-8").decode("latin-1")


class PasswordBytesTest(BoardTest):
    options = ("--failure-delay", "0.1")
    ways = ("ssh", "web")

    def test_one_utf8_password_logs_in_over_telnet_ssh_and_the_web(self):
        page = WebSocketLine(self.board.web_port)
        page.expect("Name: ")
        page.send("Ash\r")
        page.expect("Choose a password")
        page.send(PASSWORD + "\r")
        page.expect("again: ")
        page.send(PASSWORD + "\r")
        page.expect("Ash, you are in the front room")
        page.send("g")
        page.close()

        caller = self.board.call()
        caller.send("Ash\r")
        caller.expect_exact("Password: ")
        caller.send(ON_THE_WIRE + "\r")
        caller.expect_exact("Ash, you are in the front room")
        caller.send("g")
        caller.expect_exact("Good-bye.")

        caller = log_in_over_ssh(self.board, "Ash", password=ON_THE_WIRE)
        caller.expect_exact("Ash, you are in the front room")
        caller.send("g")
        caller.expect_exact("Good-bye.")

        page = WebSocketLine(self.board.web_port)
        page.expect("Name: ")
        page.send("Ash\r" + PASSWORD + "\r")
        page.expect("Ash, you are in the front room")
        page.close()
        # Only the password's ASCII rest is no password at all.
        page = WebSocketLine(self.board.web_port)
        page.expect("Name: ")
        page.send("Ash\rpsswrd\r")
        page.expect("That password is wrong.")
        page.close()
        self.assertNotIn("ssw", self.board.log())

    def test_line_that_declines_binary_cannot_register_it(self):
        line = self.board.dial()
        line.expect("Name: ")
        line.send(b"Wren\r")
        line.expect("Choose a password")
        line.send(PASSWORD.encode("utf-8") + b"\r")
        line.expect("This line cannot carry characters beyond plain ASCII"
                    " unchanged; choose a password without them.")
        line.expect("Choose a password: ")
        # Nor a control key among the characters.
        line.send(b"pass\x1bword\r")
        line.expect("A password cannot hold control keys")
        line.close()
        self.assertNotIn("Wren registered", self.board.log())


if __name__ == "__main__":
    unittest.main()
