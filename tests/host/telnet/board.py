"""A board for the telnet tests (and those of the other ways in): a boot
volume of its own in a temporary folder, the host serving it on free
loopback ports, and callers that dial in with Debian's telnet under pexpect
or over a plain socket, or with OpenSSH's client."""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

import pexpect

ZENBO = os.environ.get("ZENBO", "zenbo")
DRELMOOR = os.environ.get("DRELMOOR", "Drelmoor")
TIMEOUT = 20

IAC = 255


class Board:
    def __init__(self, *options, accounts=None, ways=()):
        self.folder = tempfile.mkdtemp(prefix="zenbo-telnet-")
        self.volume = os.path.join(self.folder, "boot")
        self.environment = dict(os.environ, BOOT_VOLUME=self.volume,
                                TERM="xterm")
        subprocess.run([ZENBO, "--make-volume", "--volume", self.volume],
                       check=True, capture_output=True)
        if accounts is not None:
            self.write("home/Zenbo/accounts", accounts)
        self.log_path = os.path.join(self.folder, "host.log")
        self.process = None
        self.port = None
        self.options = list(options)
        # Beside telnet: "ssh", "web".
        self.ways = list(ways)
        self.ssh_port = None
        self.web_port = None
        self.callers = []

    def start(self):
        log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            [ZENBO, "--telnet", "127.0.0.1:0", "--volume", self.volume,
             "--door", DRELMOOR]
            + [word for way in self.ways for word in ("--" + way, "127.0.0.1:0")]
            + self.options,
            stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            env=self.environment)
        log.close()
        found = self.wait_for_log(r"taking telnet callers at \S+ port (\d+)")
        self.port = int(found.group(1))
        if "ssh" in self.ways:
            found = self.wait_for_log(
                r"taking SSH callers at \S+ port (\d+) \(host key (\S+)\)")
            self.ssh_port = int(found.group(1))
            self.ssh_fingerprint = found.group(2)
        if "web" in self.ways:
            found = self.wait_for_log(
                r"serving the web terminal at \S+ port (\d+)")
            self.web_port = int(found.group(1))
        return self

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode("latin-1")

    def wait_for_log(self, pattern, timeout=TIMEOUT, count=1):
        deadline = time.time() + timeout
        while True:
            found = list(re.finditer(pattern, self.log()))
            if len(found) >= count:
                return found[count - 1]
            if self.process.poll() is not None or time.time() > deadline:
                raise AssertionError("no %r in the host's log:\n%s"
                                     % (pattern, self.log()))
            time.sleep(0.02)

    def path(self, boot_path):
        return os.path.join(self.volume, boot_path)

    def write(self, boot_path, content):
        path = self.path(boot_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as output:
            output.write(content if isinstance(content, bytes)
                         else content.encode("latin-1"))

    def read(self, boot_path):
        with open(self.path(boot_path), "rb") as source:
            return source.read().decode("latin-1")

    def call(self):
        """A caller through Debian's telnet client."""
        caller = pexpect.spawn("telnet", ["127.0.0.1", str(self.port)],
                               env=self.environment, encoding="latin-1",
                               timeout=TIMEOUT)
        self.callers.append(caller)
        caller.expect("Name: ")
        return caller

    def ssh(self, user, *arguments, methods="keyboard-interactive",
            command=(), dimensions=(24, 80)):
        """A caller through OpenSSH's client, which trusts only the host key
        that the host made in its folder of the volume."""
        known_hosts = os.path.join(self.folder, "known_hosts")
        if not os.path.exists(known_hosts):
            public = subprocess.run(
                ["ssh-keygen", "-y", "-f",
                 self.path("home/Zenbo/ssh_host_ed25519_key")],
                check=True, capture_output=True, text=True).stdout
            with open(known_hosts, "w") as known:
                known.write("[127.0.0.1]:%d %s" % (self.ssh_port, public))
        caller = pexpect.spawn(
            "ssh", ["-F", "/dev/null", "-p", str(self.ssh_port),
                    "-o", "UserKnownHostsFile=" + known_hosts,
                    "-o", "GlobalKnownHostsFile=/dev/null",
                    "-o", "StrictHostKeyChecking=yes",
                    "-o", "PreferredAuthentications=" + methods,
                    "-o", "PubkeyAuthentication=no",
                    "-o", "NumberOfPasswordPrompts=3",
                    "-o", "ConnectTimeout=5",
                    *arguments, user + "@127.0.0.1", *command],
            env=dict(self.environment, HOME=self.folder),
            encoding="latin-1", timeout=TIMEOUT, dimensions=dimensions)
        self.callers.append(caller)
        return caller

    def dial(self, source="127.0.0.1", receive_buffer=None):
        """A caller over a plain socket that speaks just enough telnet, from
        a loopback address of its choice."""
        line = RawLine(self.port, source, receive_buffer)
        self.callers.append(line)
        return line

    def stop(self):
        """Stops the host as a sysop does; it must end cleanly."""
        for caller in self.callers:
            caller.close(force=True)
        problem = None
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                if self.process.wait(TIMEOUT) != 0:
                    problem = "the host ended with %d" % self.process.returncode
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                problem = "the host did not stop"
        log = self.log() if os.path.exists(self.log_path) else ""
        if "Sanitizer" in log:
            problem = "the sanitizer complained"
        shutil.rmtree(self.folder, ignore_errors=True)
        if problem is not None:
            raise AssertionError("%s:\n%s" % (problem, log))


class RawLine:
    """A telnet line over a socket: refuses every option the host offers
    and keeps the text it receives, so a test can send bytes exactly."""

    def __init__(self, port, source, receive_buffer=None):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer is not None:
            # Before the connection, so that the window stays small.
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF,
                                   receive_buffer)
        self.socket.settimeout(TIMEOUT)
        self.socket.bind((source, 0))
        self.socket.connect(("127.0.0.1", port))
        self.received = b""
        self.text = b""

    def _pump(self, timeout):
        self.socket.settimeout(timeout)
        try:
            data = self.socket.recv(65536)
        except socket.timeout:
            return True
        if not data:
            return False
        self.received += data
        i = 0
        while i < len(data):
            byte = data[i]
            if byte == IAC and i + 1 < len(data):
                command = data[i + 1]
                if command in (251, 252, 253, 254) and i + 2 < len(data):
                    option = data[i + 2]
                    answer = {251: 254, 253: 252}.get(command)
                    if answer is not None:
                        try:
                            self.socket.sendall(bytes([IAC, answer, option]))
                        except OSError:
                            pass
                    i += 3
                    continue
                if command == IAC:
                    self.text += bytes([IAC])
                i += 2
                continue
            self.text += bytes([byte])
            i += 1
        return True

    def expect(self, text, timeout=TIMEOUT):
        """Waits for the text after what was expected before; returns what
        came up to and including it."""
        wanted = text.encode("latin-1") if isinstance(text, str) else text
        deadline = time.time() + timeout
        while wanted not in self.text:
            left = deadline - time.time()
            if left <= 0 or not self._pump(min(left, 0.5)):
                if wanted in self.text:
                    break
                raise AssertionError("no %r in %r" % (wanted, self.text[-500:]))
        at = self.text.index(wanted) + len(wanted)
        seen, self.text = self.text[:at], self.text[at:]
        return seen

    def settle(self, seconds):
        """Everything that comes within the time."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            if not self._pump(max(0.01, deadline - time.time())):
                break
        seen, self.text = self.text, b""
        return seen

    def expect_closed(self, timeout=TIMEOUT):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if not self._pump(0.2):
                return
        raise AssertionError("the line stayed open")

    def send(self, data):
        self.socket.sendall(data.encode("latin-1")
                            if isinstance(data, str) else data)

    def close(self, force=False):
        try:
            self.socket.close()
        except OSError:
            pass
