"""The web terminal answers only under the names it is served by and opens
only for the page's own origin: a DNS rebinding's Host, or a page of
another scheme, host or port, is refused; the page's own origin and the
one named by --web-origin work."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import Board, WebSocketLine, web_request  # noqa: E402


class WebOriginTest(unittest.TestCase):
    options = ()

    def setUp(self):
        self.board = Board(*self.options, ways=("web",))
        self.board.start()
        self.port = self.board.web_port

    def tearDown(self):
        self.board.stop()

    def page_status(self, host):
        line, status, _, _ = web_request(self.port, headers=[("Host", host)])
        line.close()
        return status

    def socket_status(self, origin, host=None):
        headers = [("Host", host)] if host is not None else []
        page = WebSocketLine(self.port, origin=origin, headers=headers)
        page.close()
        return page.status

    def test_dns_rebinding_and_other_origins_are_refused(self):
        own = "127.0.0.1:%d" % self.port
        self.assertEqual(421, self.page_status("evil.example"))
        self.assertEqual(421, self.page_status("evil.example:%d" % self.port))
        # The rebinding's page opens a socket under its own name: the same
        # origin as its Host, but not a name of the board's.
        self.assertEqual(421, self.socket_status(
            "http://evil.example:%d" % self.port,
            "evil.example:%d" % self.port))
        self.assertEqual(403, self.socket_status("https://" + own))
        self.assertEqual(403, self.socket_status(
            "http://127.0.0.1:%d" % (self.port + 1)))
        log = self.board.log()
        self.assertEqual(3, log.count("refused a request for the host"))
        self.assertEqual(2, log.count("refused a terminal from origin"))
        self.assertIn('"evil.example:%d"' % self.port, log)

    def test_the_pages_own_names_and_origin_work(self):
        for host in ("127.0.0.1:%d" % self.port,
                     "localhost:%d" % self.port,
                     "LOCALHOST:%d" % self.port):
            self.assertEqual(200, self.page_status(host), host)
        page = WebSocketLine(self.port)
        self.assertEqual(101, page.status, page.head)
        page.expect("Name: ")
        page.close()
        self.assertEqual(101, self.socket_status(
            "http://localhost:%d" % self.port, "localhost:%d" % self.port))


class WebOriginBehindAProxyTest(WebOriginTest):
    options = ("--web-origin", "https://board.example")

    def test_the_proxys_public_origin_works(self):
        self.assertEqual(200, self.page_status("board.example"))
        self.assertEqual(101, self.socket_status("https://board.example",
                                                 "board.example"))
        # Another site's page, under the proxy's name or the board's own.
        self.assertEqual(403, self.socket_status("https://evil.example",
                                                 "board.example"))
        self.assertEqual(403, self.socket_status(
            "https://board.example.evil.example", "board.example"))
        self.assertEqual(421, self.page_status("board.example.evil.example"))


if __name__ == "__main__":
    unittest.main()
