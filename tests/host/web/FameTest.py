"""The board's own page beside the web terminal: the Wall of Fame read live
from the characters, well formed, for a visitor without JavaScript."""

import os
import sys
import unittest
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))
from board import (Board, BoardTest, Page, TIMEOUT,  # noqa: E402
                   enter_as_new_player, register)


def fetch(board, target):
    url = "http://127.0.0.1:%d%s" % (board.web_port, target)
    with urllib.request.urlopen(url, timeout=TIMEOUT) as response:
        return response.status, response.headers, response.read()


class FameTest(BoardTest):
    def setUp(self):
        self.board = Board(ways=("web",))
        self.board.start()

    def test_fame_lists_the_characters_with_their_levels(self):
        for name in ("Ash", "Birch"):
            caller = self.board.call()
            register(caller, name)
            enter_as_new_player(caller, name)
            caller.send("q")
            caller.expect_exact("Your choice: ")

        status, headers, body = fetch(self.board, "/fame")
        self.assertEqual(200, status)
        self.assertEqual("text/html; charset=utf-8",
                         headers["Content-Type"])
        page = Page()
        page.feed(body.decode("utf-8"))
        page.close()
        self.assertEqual([], page.open, "every element is closed")
        self.assertEqual(["Name", "Level", "Weapon", "Armor"], page.rows[0])
        self.assertEqual({("Ash", "1"), ("Birch", "1")},
                         {(row[0], row[1]) for row in page.rows[1:]})
        text = body.decode("utf-8")
        self.assertIn('<a href="/">', text)
        self.assertIn('href="/manifest.webmanifest"', text)
        self.assertNotIn("<script", text)

    def test_a_name_made_of_markup_is_shown_as_text(self):
        name = "Ab<i>&c\"'"
        caller = self.board.call()
        register(caller, name)
        enter_as_new_player(caller, name)
        caller.send("q")
        caller.expect_exact("Your choice: ")
        _, _, body = fetch(self.board, "/fame")
        text = body.decode("utf-8")
        self.assertNotIn("<i>", text)
        page = Page()
        page.feed(text)
        page.close()
        self.assertEqual([], page.open)
        self.assertEqual(name, page.rows[1][0])


if __name__ == "__main__":
    unittest.main()
