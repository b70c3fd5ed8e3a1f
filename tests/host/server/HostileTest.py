"""A stranger on the network against the whole host, telnet, SSH and the
web terminal together: connections that never finish, callers who never
read, compressed floods, bytes meant for the sysop's terminal. Each case
shows that the host stays small, its log short and clean, and the other
callers served; a happy caller stands beside each attack."""

import os
import re
import resource
import socket
import sys
import time
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "support"))

from board import (IAC, PASSWORD, SB, SE, TTYPE, WILL, WONT,  # noqa: E402
                   Board, BoardTest, enter_as_new_player, register,
                   register_over_ssh)

COMPRESS2 = 86
STAMP = re.compile(rb"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d zenbo: ")


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for %d" % pid)


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime, the 14th and 15th fields of the whole line.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def log_bytes(board):
    with open(board.log_path, "rb") as log:
        return log.read()


def connect(port, source, timeout=2):
    line = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    line.settimeout(timeout)
    line.bind((source, 0))
    try:
        line.connect(("127.0.0.1", port))
    except OSError:
        line.close()
        return None
    return line


def open_web_terminal(port, source="127.0.0.1"):
    """A WebSocket of the page's own origin, over a plain socket."""
    line = connect(port, source, timeout=10)
    host = "127.0.0.1:%d" % port
    line.sendall(("GET /ws HTTP/1.1\r\nHost: %s\r\nUpgrade: websocket\r\n"
                  "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                  "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                  "Origin: http://%s\r\n\r\n" % (host, host)).encode())
    answer = b""
    while b"\r\n\r\n" not in answer:
        answer += line.recv(4096)
    assert answer.startswith(b"HTTP/1.1 101"), answer
    return line


def frame(opcode, payload):
    """A masked frame of the page's (a zero mask keeps it plain)."""
    assert len(payload) < 126
    return bytes([0x80 | opcode, 0x80 | len(payload), 0, 0, 0, 0]) + payload


class WebLine:
    """A web terminal's page over a plain socket: keys as binary frames,
    the host's frames read back as text."""

    def __init__(self, port, source="127.0.0.1", receive_buffer=None):
        self.line = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer is not None:
            self.line.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF,
                                 receive_buffer)
        self.line.settimeout(10)
        self.line.bind((source, 0))
        self.line.connect(("127.0.0.1", port))
        host = "127.0.0.1:%d" % port
        self.line.sendall((
            "GET /ws HTTP/1.1\r\nHost: %s\r\nUpgrade: websocket\r\n"
            "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
            "Origin: http://%s\r\n\r\n" % (host, host)).encode())
        self.pending = b""
        while b"\r\n\r\n" not in self.pending:
            self.pending += self.line.recv(4096)
        head, self.pending = self.pending.split(b"\r\n\r\n", 1)
        assert head.startswith(b"HTTP/1.1 101"), head
        self.text = b""

    def send(self, keys):
        keys = keys.encode("latin-1") if isinstance(keys, str) else keys
        for at in range(0, len(keys), 125):
            self.line.sendall(frame(0x2, keys[at:at + 125]))

    def _frames(self):
        while True:
            if len(self.pending) < 2:
                return
            size = self.pending[1] & 0x7f
            at = 2
            if size == 126:
                if len(self.pending) < 4:
                    return
                size = int.from_bytes(self.pending[2:4], "big")
                at = 4
            elif size == 127:
                if len(self.pending) < 10:
                    return
                size = int.from_bytes(self.pending[2:10], "big")
                at = 10
            if len(self.pending) < at + size:
                return
            self.text += self.pending[at:at + size]
            self.pending = self.pending[at + size:]

    def expect(self, wanted, timeout=20):
        wanted = wanted.encode("latin-1")
        deadline = time.time() + timeout
        self._frames()
        while wanted not in self.text:
            if time.time() > deadline:
                raise AssertionError("no %r in %r" % (wanted,
                                                      self.text[-300:]))
            data = self.line.recv(65536)
            if not data:
                raise AssertionError("closed before %r" % wanted)
            self.pending += data
            self._frames()
        self.text = self.text[self.text.index(wanted) + len(wanted):]

    def close(self):
        self.line.close()


def raise_own_descriptor_limit(wanted):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if hard != resource.RLIM_INFINITY and hard < wanted:
        raise unittest.SkipTest("this test needs %d descriptors" % wanted)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, wanted), hard))


class DescriptorTest(unittest.TestCase):
    def start(self, *options, ways=()):
        self.board = Board(*options, ways=ways)
        self.addCleanup(self.board.stop)
        self.board.start()
        return self.board

    def hold(self, lines):
        self.addCleanup(lambda: [line.close() for line in lines])
        return lines

    def test_half_open_web_requests_leave_a_caller_room(self):
        raise_own_descriptor_limit(1500)
        board = self.start(ways=("web",))
        pid = board.process.pid
        resource.prlimit(pid, resource.RLIMIT_NOFILE, (1024, 1024))
        lines_before = log_bytes(board).count(b"\n")
        cpu_before = cpu_seconds(pid)
        started = time.time()

        # Requests whose header never ends, from twenty addresses.
        flood = self.hold([])
        for number in range(1200):
            line = connect(board.web_port, "127.0.3.%d" % (number % 20 + 1),
                           timeout=0.5)
            if line is None:
                continue
            try:
                line.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n")
            except OSError:
                pass
            flood.append(line)

        caller = board.dial()
        caller.expect("Name: ", timeout=3)
        self.assertLess(time.time() - started, 3 + 10)
        time.sleep(max(0, started + 3 - time.time()))
        self.assertLess(cpu_seconds(pid) - cpu_before, 1.0)
        self.assertLess(descriptors(pid), 1024)
        register(caller, "Ash")
        self.assertLess(log_bytes(board).count(b"\n") - lines_before, 100)
        board.wait_for_log("connections have not logged in yet")

    def test_a_caller_takes_the_place_of_a_flood_short_of_descriptors(self):
        board = self.start("--max-prelogin", "1000",
                           "--max-prelogin-per-address", "1000",
                           ways=("web",))
        pid = board.process.pid
        resource.prlimit(pid, resource.RLIMIT_NOFILE, (96, 96))
        playing = board.dial("127.0.0.1")
        playing.expect("Name: ")
        register(playing, "Ash")

        # Requests that never end, as many as the limits let in.
        flood = self.hold([])
        for _ in range(150):
            line = connect(board.web_port, "127.0.4.1")
            if line is not None:
                line.sendall(b"GET / HTTP/1.1\r\n")
                flood.append(line)
        board.wait_for_log("too few descriptors are left")
        self.assertLess(descriptors(pid), 96)
        # A caller from elsewhere gets in in place of the flood's oldest,
        # and the one logged in is never dropped.
        caller = board.dial("127.0.0.2")
        caller.expect("Name: ", timeout=5)
        register(caller, "Birch")
        playing.send("w")
        playing.expect("Birch")
        for line in flood:
            line.close()
        newcomer = board.dial("127.0.0.3")
        newcomer.expect("Name: ", timeout=5)
        board.wait_for_log(r"descriptors are free again; \d+ callers met")


class SettingsTest(unittest.TestCase):
    def test_a_limit_too_low_for_the_settings_is_told(self):
        board = Board("--max-callers", "1000000")
        self.addCleanup(board.stop)
        board.start()
        board.wait_for_log(r"the descriptor limit \(\d+\) is too low for"
                           r" --max-callers 1000000 and --max-prelogin 128:"
                           r" about \d+ are needed")
        # A board that fits its limit says nothing of it.
        hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
        if hard != resource.RLIM_INFINITY and hard < 1024:
            return
        fitting = Board()
        self.addCleanup(fitting.stop)
        fitting.start()
        self.assertNotIn("descriptor limit", fitting.log())


class MemoryTest(BoardTest):
    def assertGrowsLittle(self, before):
        # A sanitizer's host keeps what it frees in quarantine and shadows
        # what it holds: its size says nothing of the host's. The plain
        # build weighs it; a sanitizer's runs the floods for their faults.
        if os.environ.get("DRELMOOR_SANITIZE"):
            return
        growth = rss_kib(self.board.process.pid) - before
        self.assertLess(growth, 16 * 1024,
                        "the host grew by %d KiB" % growth)

    def test_caller_who_asks_who_is_online_without_reading_is_cut_off(self):
        happy = self.board.dial("127.0.0.2")
        happy.expect("Name: ")
        register(happy, "Birch")
        flooder = self.board.dial("127.0.0.3", receive_buffer=4096)
        flooder.expect("Name: ")
        register(flooder, "Ash")
        before = rss_kib(self.board.process.pid)
        flooder.line.settimeout(0.5)
        try:
            for _ in range(400):
                flooder.line.sendall(b"w" * 4096)
        except OSError:
            pass
        self.board.wait_for_log(r"telnet caller from 127\.0\.0\.3 did not"
                                r" read more than \d+ bytes")
        self.assertGrowsLittle(before)
        happy.send("w")
        happy.expect("Birch")

    def test_web_caller_who_does_not_read_is_cut_off(self):
        self.board.stop()
        self.board = Board(ways=("web",))
        self.board.start()
        happy = self.board.dial("127.0.0.2")
        happy.expect("Name: ")
        register(happy, "Birch")
        flooder = WebLine(self.board.web_port, "127.0.0.3",
                          receive_buffer=4096)
        self.addCleanup(flooder.close)
        flooder.expect("Name: ")
        flooder.send("Ash\r")
        flooder.expect("Choose a password")
        flooder.send(PASSWORD + "\r")
        flooder.expect("again: ")
        flooder.send(PASSWORD + "\r")
        flooder.expect("Your choice: ")
        before = rss_kib(self.board.process.pid)
        flooder.line.settimeout(0.5)
        try:
            for _ in range(3000):
                flooder.send("w" * 125)
        except OSError:
            pass
        self.board.wait_for_log(r"web 127\.0\.0\.3: the caller did not"
                                r" read \d+ bytes of output")
        self.assertGrowsLittle(before)
        happy.send("w")
        happy.expect("Birch")

    def test_ssh_caller_who_does_not_read_holds_little(self):
        self.board.stop()
        self.board = Board(ways=("ssh",))
        self.board.start()
        caller = register_over_ssh(self.board, "Ash")
        before = rss_kib(self.board.process.pid)
        # The client's terminal is never read: the client stops taking the
        # host's output and then the keys; whatever waits in the host is
        # under its cap.
        os.set_blocking(caller.child_fd, False)
        deadline = time.time() + 5
        while time.time() < deadline:
            try:
                os.write(caller.child_fd, b"w" * 100)
            except BlockingIOError:
                time.sleep(0.05)
        self.assertGrowsLittle(before)
        self.board.dial().expect("Name: ")

    def test_terminal_type_asked_over_and_over_before_login(self):
        flooder = self.board.dial("127.0.0.3", receive_buffer=4096)
        flooder.expect("Name: ")
        before = rss_kib(self.board.process.pid)
        flooder.line.settimeout(0.5)
        try:
            for _ in range(2000):
                flooder.line.sendall(bytes([IAC, WILL, TTYPE, IAC, WONT,
                                            TTYPE]) * 1000)
        except OSError:
            pass
        self.board.wait_for_log(r"telnet caller from 127\.0\.0\.3 did not"
                                r" read")
        self.assertGrowsLittle(before)
        self.board.dial("127.0.0.4").expect("Name: ")

    def test_compressed_keys_are_never_inflated(self):
        caller = self.board.dial("127.0.0.3")
        caller.expect("Name: ")
        register(caller, "Ash")
        enter_as_new_player(caller, "Ash")
        before = rss_kib(self.board.process.pid)
        deflated = zlib.compress(b"s" * (64 * 1024 * 1024), 9)
        self.assertLess(len(deflated), 70 * 1024)
        caller.send(bytes([IAC, SB, COMPRESS2, IAC, SE]) + deflated)
        caller.settle(2)
        self.assertGrowsLittle(before)
        # The line goes on, uncompressed, for the one who sent it.
        other = self.board.dial("127.0.0.4")
        other.expect("Name: ")
        register(other, "Birch")
        other.send("w")
        other.expect("Ash")


class LogTest(BoardTest):
    def setUp(self):
        self.board = Board(ways=("ssh", "web"))
        self.board.start()

    def assertLogClean(self):
        log = log_bytes(self.board)
        self.assertNotIn(b"\x1b", log)
        self.assertNotIn(b"\x07", log)
        self.assertIsNone(re.search(rb"[\x80-\x9f]", log), log[-2000:])

    def test_bytes_from_peers_reach_the_log_escaped(self):
        ssh = connect(self.board.ssh_port, "127.0.0.1", timeout=5)
        ssh.sendall(b"SSH-2.0-Evil\x1b]0;owned\x07\x9b31m\r\n"
                    + b"\x00\x00\x00\x0c\x0a\x14" + b"\x1b" * 40)
        ssh.settimeout(5)
        try:
            while ssh.recv(4096):
                pass
        except OSError:
            pass
        ssh.close()
        self.board.wait_for_log(r"ssh 127\.0\.0\.1: key exchange failed")

        web = connect(self.board.web_port, "127.0.0.1", timeout=5)
        web.sendall(b"GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n"
                    % self.board.web_port +
                    b"Upgrade: websocket\r\nConnection: Upgrade\r\n"
                    b"Sec-WebSocket-Version: 13\r\n"
                    b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                    b"Origin: http://evil\x9b31m\xc2\x9b.example\r\n\r\n")
        self.assertIn(b"403", web.recv(4096))
        web.close()
        self.board.wait_for_log(r"refused a terminal from origin"
                                r" \"http://evil\\x9b31m\\xc2\\x9b")

        telnet = self.board.dial()
        telnet.expect("Name: ")
        telnet.send(bytes([IAC, WILL, TTYPE, IAC, SB, TTYPE, 0])
                    + b"XT\x1b[31mERM\x07" + bytes([IAC, SE]))
        # The line discipline takes the controls out of what is typed.
        telnet.send(b"Ash\x1b[2J\x9b\x07\r")
        telnet.expect("Choose a password")
        self.assertLogClean()

    def test_every_line_starts_with_the_local_time(self):
        happy = self.board.dial()
        happy.expect("Name: ")
        register(happy, "Ash")
        lines = log_bytes(self.board).splitlines()
        self.assertGreater(len(lines), 3)
        for line in lines:
            self.assertRegex(line, STAMP)

    def test_a_hundred_thousand_bad_frames_log_a_few_lines(self):
        before = log_bytes(self.board).count(b"\n")
        web = open_web_terminal(self.board.web_port)
        bad = frame(0x1, b"x") * 1000
        for _ in range(100):
            web.sendall(bad)
        web.sendall(frame(0x8, b"\x03\xe8"))
        web.shutdown(socket.SHUT_WR)
        web.settimeout(20)
        while web.recv(65536):
            pass
        found = self.board.wait_for_log(
            r"ignored (\d+) control messages in all")
        self.assertEqual(100000, int(found.group(1)))
        self.assertLessEqual(log_bytes(self.board).count(b"\n") - before, 5)
        web.close()


class JournalTest(unittest.TestCase):
    def test_lines_to_the_journal_are_not_stamped_twice(self):
        board = Board()
        self.addCleanup(board.stop)
        # The journal's stream is the host's standard error: its log file.
        open(board.log_path, "wb").close()
        info = os.stat(board.log_path)
        board.environment["JOURNAL_STREAM"] = "%d:%d" % (info.st_dev,
                                                          info.st_ino)
        # Board.start truncates the file, which keeps its inode.
        board.start()
        lines = log_bytes(board).splitlines()
        self.assertTrue(lines)
        for line in lines:
            self.assertTrue(line.startswith(b"zenbo: "), line)


if __name__ == "__main__":
    unittest.main()
