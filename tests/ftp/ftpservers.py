#!/usr/bin/python3
# FTP servers on 127.0.0.1 for the FTP client's tests: one pyftpdlib listener
# per scripted behaviour, all in one process and one I/O loop. Writes
# "<name> <port>" lines to STATE/ports.txt once every listener is up, and
# each command received to STATE/commands-<name>.log. Ends by itself after
# --lifetime seconds so that it never outlives a broken test run.
import argparse
import os
import random
import socket
import struct
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.ioloop import AsyncChat, IOLoop
from pyftpdlib.log import logger
from pyftpdlib.servers import FTPServer

STATE = None
DEAD_PORT = None  # bound, never listened on
USER, PASSWORD = "tk", "secret"


def append(name, text):
    with open(os.path.join(STATE, name), "a") as f:
        f.write(text + "\n")


class Recording(FTPHandler):
    scenario = "normal"
    banner = "tandemkeep test server ready."

    def pre_process_command(self, line, cmd, arg):
        append("commands-%s.log" % self.scenario, line)
        return super().pre_process_command(line, cmd, arg)


class Normal(Recording):
    pass


class Paced(Recording):
    """Sends its output in pieces, each in its own send after a pause."""
    piece = 1
    pause = 0.004

    def push(self, s):
        data = s.encode("utf8")
        if not hasattr(self, "_pending"):
            self._pending = bytearray()
        idle = not self._pending
        self._pending += data
        if idle:
            self.ioloop.call_later(self.pause, self._send_piece, _errback=self.handle_error)

    def _send_piece(self):
        if self._closed or not self._pending:
            return
        n = self.piece if self.piece else max(1, len(self._pending) // 2)
        chunk = bytes(self._pending[:n])
        del self._pending[:n]
        try:
            self.socket.send(chunk)
        except OSError:
            return
        if self._pending:
            self.ioloop.call_later(self.pause, self._send_piece, _errback=self.handle_error)


class OneByte(Paced):
    scenario = "onebyte"
    piece = 1


class Split(Paced):
    """Every reply leaves in two sends, 50 ms apart: half a line, then the rest."""
    scenario = "split"
    piece = 0
    pause = 0.05


class MultiLine(Recording):
    scenario = "multiline"

    def handle(self):
        self.on_connect()
        self.push("220-Welcome to the multi-line server\r\n"
                  "220-220 this line only looks like a greeting\r\n"
                  "123 neither does this one\r\n"
                  "220 ready\r\n"
                  "220 a repeated greeting\r\n")

    def ftp_USER(self, line):
        self.push("331-Password needed\r\n331-for %s\r\n" % line)
        super().ftp_USER(line)


class Many(Recording):
    """Forty lines and an overlong one in one send before the greeting ends."""
    scenario = "many"

    def handle(self):
        self.on_connect()
        text = "".join("220-line %d of a long greeting\r\n" % i for i in range(40))
        text += "220-" + "x" * 1500 + "\r\n"
        self.push(text + "220 ready\r\n")


class NoPass(Recording):
    scenario = "nopass"

    def ftp_USER(self, line):
        self.username = USER
        self.handle_auth_success(self.authorizer.get_home_dir(USER), PASSWORD,
                                 "Logged in without a password.")


class Nested(Recording):
    """Logs its users in to /home/user rather than to the root, so that
    "../www" is /home/www."""
    scenario = "nested"

    def on_login(self, username):
        os.makedirs(self.fs.ftp2fs("/home/user"), exist_ok=True)
        self.fs.cwd = "/home/user"


class Refuse421(Recording):
    scenario = "421"

    def handle(self):
        self.on_connect()
        self.respond("421 Service not available, closing control connection.")
        self.close_when_done()


class RefusePort(Recording):
    scenario = "refuseport"

    def ftp_PORT(self, line):
        self.respond("425 Can't build data connection: refused.")


class NoConnect(Recording):
    scenario = "noconnect"

    def ftp_PORT(self, line):
        self.respond("200 Active data connection established.")

    def ftp_STOR(self, file, mode="w"):
        self.respond("425 Can't open data connection.")


class NameNotAllowed(Recording):
    """Refuses names with "bad" in them, and the extension .tkp."""
    scenario = "553"

    def ftp_STOR(self, file, mode="w"):
        if "bad" in os.path.basename(file) or file.endswith(".tkp"):
            self.respond("553 File name not allowed.")
            return
        return super().ftp_STOR(file, mode)


class HoldRefuse(Recording):
    """While STATE/hold-<scenario> exists, answers STOR only once it is
    deleted, and then refuses the file; without it, stores as usual."""
    scenario = "holdrefuse"

    def ftp_STOR(self, file, mode="w"):
        if not os.path.exists(os.path.join(STATE, "hold-" + self.scenario)):
            return super().ftp_STOR(file, mode)
        self._hold()

    def _hold(self):
        if self._closed:
            return
        if os.path.exists(os.path.join(STATE, "hold-" + self.scenario)):
            self.ioloop.call_later(0.02, self._hold, _errback=self.handle_error)
        else:
            self._release()

    def _release(self):
        self.respond("550 Refused after all.")


class HoldDrop(HoldRefuse):
    """The same, but then drops the control connection alone, as a router
    does that times it out during a long upload."""
    scenario = "holddrop"

    def _release(self):
        self._kept, self.data_channel = self.data_channel, None
        if self._kept is not None:
            self._kept.del_channel()
        self.close()


class SlowCutDTP(ThrottledDTPHandler):
    read_limit = 1024 * 1024


class CloseMid(Recording):
    """Half a second into a STOR, drops the data and control connections
    without a reply."""
    scenario = "closemid"
    dtp_handler = SlowCutDTP

    def ftp_STOR(self, file, mode="w"):
        self.ioloop.call_later(0.5, self._cut, _errback=self.handle_error)
        return super().ftp_STOR(file, mode)

    def _cut(self):
        if self.data_channel is not None:
            self.data_channel._resp = None
            self.data_channel.close()
        self.close()


class DropDTP(DTPHandler):
    """Keeps the first 128 KiB of an upload, then resets the data connection."""
    def handle_read(self):
        super().handle_read()
        if not self._closed and self.tot_bytes_received >= 128 * 1024:
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self._resp = ("426 Connection reset; transfer aborted.", logger.warning)
            self.close()

    handle_read_event = handle_read


class DropMid(Recording):
    scenario = "dropmid"
    dtp_handler = DropDTP


class RenameOver(Recording):
    """Knows no SIZE, and renames onto no file that exists, as some servers do."""
    scenario = "renameover"

    def ftp_SIZE(self, path):
        self.respond("502 Command not implemented.")

    def ftp_RNTO(self, path):
        if self.fs.lexists(path):
            self._rnfr = None
            self.respond("553 Target file exists.")
            return
        return super().ftp_RNTO(path)


class NoRnfr(Recording):
    scenario = "nornfr"

    def ftp_RNFR(self, path):
        self.respond("502 Command not implemented.")


class BadSize(Recording):
    """Names a size of its own for every file."""
    scenario = "badsize"

    def ftp_SIZE(self, path):
        try:
            self.respond("213 %d" % (os.path.getsize(path) // 2))
        except OSError:
            self.respond("550 No such file.")


class SlowDTP(ThrottledDTPHandler):
    read_limit = 256 * 1024
    write_limit = 256 * 1024
    ac_in_buffer_size = 3000


class Throttled(Recording):
    scenario = "throttled"
    dtp_handler = SlowDTP


class Stranger(Recording):
    """Before the real data connection, a stranger from 127.0.0.2 connects
    to the announced port, writes junk and records whatever it receives."""
    scenario = "stranger"

    def ftp_PORT(self, line):
        try:
            parts = [int(x) for x in line.split(",")]
            port = parts[4] * 256 + parts[5]
            s = socket.socket()
            s.bind(("127.0.0.2", 0))
            s.connect(("127.0.0.1", port))
            s.sendall(b"JUNK FROM A STRANGER\r\n")
            threading.Thread(target=self._listen, args=(s,), daemon=True).start()
            time.sleep(0.3)
        except OSError as e:
            append("stranger.log", "connect failed: %s" % e)
        return super().ftp_PORT(line)

    @staticmethod
    def _listen(s):
        s.settimeout(5)
        got = b""
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                got += chunk
        except OSError:
            pass
        append("stranger.log", "received %d bytes" % len(got))
        s.close()


class ResetData(Recording):
    """Says 150 and 226 at once to STOR, waits a second without reading a
    byte, then resets the data connection: on loopback a few MiB fit into
    the socket buffers meanwhile, so every byte seems sent."""
    scenario = "resetdata"

    def ftp_STOR(self, file, mode="w"):
        self.push("150 Here it comes.\r\n226 Transfer complete.\r\n")
        channel = self.data_channel
        if channel is None:
            return
        self.data_channel = None
        channel.del_channel()  # nothing more is read from it

        def reset():
            channel.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            channel.socket.close()
        self.ioloop.call_later(1.0, reset, _errback=self.handle_error)


class No226DTP(DTPHandler):
    """Takes the whole file and closes the data connection, then the server
    hangs up without confirming it: the client has seen the file end first."""
    def handle_close(self):
        cmd = self.cmd_channel
        self.close()
        cmd.ioloop.call_later(0.3, cmd.close, _errback=cmd.handle_error)


class NoConfirm(Recording):
    scenario = "noconfirm"
    dtp_handler = No226DTP


class HeldDTP(DTPHandler):
    """Takes the whole file and closes the data connection, and never confirms it."""
    def handle_close(self):
        self.close()


class Held(Recording):
    scenario = "held"
    dtp_handler = HeldDTP


class PasvElsewhere(Recording):
    """Announces a private address of its own in its replies to PASV."""
    scenario = "pasvelsewhere"
    masquerade_address = "10.255.255.1"


class PasvRefused(Recording):
    scenario = "pasvrefused"

    def ftp_PASV(self, line):
        self.respond("502 Command not implemented.")


class PasvGarbled(Recording):
    scenario = "pasvgarbled"

    def ftp_PASV(self, line):
        self.respond("227 Entering Passive Mode (127,0,0,x,y,z).")


class PasvDead(Recording):
    """Announces a port on its own address that nobody listens on."""
    scenario = "pasvdead"

    def ftp_PASV(self, line):
        self.respond("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (DEAD_PORT >> 8, DEAD_PORT & 255))


class Noise(Recording):
    """Sends seeded random bytes before every reply, as further lines of a
    multi-line reply with its code: NUL and other control bytes and bytes
    above 127, never a CR LF. The seed is read from noise-seed.txt at each
    connection. noise-sent.log gets "N <count>" for a line of noise (its
    bytes other than CR and LF) and "R <reply>" for the reply itself."""
    scenario = "noise"
    ranges = [(0, 255), (0, 31), (128, 255)]

    def handle(self):
        try:
            with open(os.path.join(STATE, "noise-seed.txt")) as f:
                seed = int(f.read())
        except (OSError, ValueError):
            seed = 0
        self._noise = random.Random(seed)
        super().handle()

    def respond(self, resp, *args, **kwargs):
        rng = self._noise
        for _ in range(rng.randint(1, 3)):
            low, high = rng.choice(self.ranges)
            line = resp[:3].encode() + b"-"
            for _ in range(rng.randint(1, 80)):
                byte = rng.randint(low, high)
                if byte == 10 and line.endswith(b"\r"):
                    byte = 0
                line += bytes([byte])
            append("noise-sent.log", "N %d" % len(line.replace(b"\r", b"").replace(b"\n", b"")))
            AsyncChat.push(self, line + b"\r\n")
        append("noise-sent.log", "R " + resp)
        super().respond(resp, *args, **kwargs)


HANDLERS = [DropMid, RenameOver, NoRnfr, BadSize, HoldRefuse, HoldDrop, Nested, NoConfirm, Held, PasvElsewhere, PasvRefused, PasvGarbled, PasvDead, Normal, OneByte, Split, MultiLine, Many, NoPass, Refuse421, RefusePort, NoConnect,
            NameNotAllowed, CloseMid, Throttled, Stranger, ResetData, Noise]


class Tls(Recording, TLS_FTPHandler):
    """Explicit FTPS with the tests' certificate; nothing goes in clear."""
    scenario = "tls"
    cert = "tls-a.both.pem"
    ssl_context = None  # one per class: each has its own certificate
    tls_control_required = True
    tls_data_required = True


class TlsOther(Tls):
    """The same, with another certificate than the one the tests trust."""
    scenario = "tlsother"
    cert = "tls-b.both.pem"
    ssl_context = None


class TlsDrop(Tls):
    """Agrees to AUTH TLS, then hangs up instead of the handshake."""
    scenario = "tlsdrop"
    ssl_context = None

    def ftp_AUTH(self, line):
        self.respond("234 AUTH TLS successful.")
        self.close_when_done()


class BareCloseDTP(TLS_DTPHandler):
    """Ends each data connection without TLS's close_notify, as an attacker
    who cuts a transfer short would."""
    def close(self):
        self._error = True  # SSLConnection then skips its SSL shutdown
        super().close()


class TlsCut(Tls):
    scenario = "tlscut"
    ssl_context = None
    dtp_handler = BareCloseDTP


class SlowTlsDTP(TLS_DTPHandler, ThrottledDTPHandler):
    read_limit = 256 * 1024

    def __init__(self, sock, cmd_channel):
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8192)  # no room to hide in
        super().__init__(sock, cmd_channel)


class TlsSlow(Tls):
    """Reads uploads slowly, so that the client's socket fills."""
    scenario = "tlsslow"
    ssl_context = None
    dtp_handler = SlowTlsDTP


TLS_HANDLERS = [Tls, TlsOther, TlsDrop, TlsCut, TlsSlow]


def silent_server():
    """Accepts connections and never says a word."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    held = []

    def run():
        while True:
            conn, _ = listener.accept()
            held.append(conn)

    threading.Thread(target=run, daemon=True).start()
    return listener.getsockname()[1]


def dead_port(held):
    """A port bound but never listened on: every connect is refused."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    held.append(s)
    return s.getsockname()[1]


def main():
    global STATE
    ap = argparse.ArgumentParser()
    ap.add_argument("state")
    ap.add_argument("--lifetime", type=int, default=2400)
    args = ap.parse_args()
    STATE = os.path.abspath(args.state)
    if os.environ.get("TK_FTP_DEBUG"):
        import logging
        logging.basicConfig(filename=os.path.join(STATE, "pyftpd.log"), level=logging.DEBUG)
    global DEAD_PORT
    held = []
    DEAD_PORT = dead_port(held)
    root = os.path.join(STATE, "pyroot")
    os.makedirs(root, exist_ok=True)
    # A restore folder on a full disk: the part file of full.bin takes no byte.
    full = os.path.join(STATE, "fulldisk")
    os.makedirs(full, exist_ok=True)
    if not os.path.lexists(os.path.join(full, "full.bin.tkpart")):
        os.symlink("/dev/full", os.path.join(full, "full.bin.tkpart"))

    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elradfmwMT")
    ioloop = IOLoop()
    lines = []
    for handler in TLS_HANDLERS:
        handler.certfile = handler.keyfile = os.path.join(STATE, handler.cert)
    for handler in HANDLERS + TLS_HANDLERS:
        handler.authorizer = authorizer
        handler.permit_foreign_addresses = False
        handler.timeout = 120
        server = FTPServer(("127.0.0.1", 0), handler, ioloop=ioloop)
        lines.append("%s %d" % (handler.scenario, server.address[1]))
    lines.append("silent %d" % silent_server())
    lines.append("dead %d" % DEAD_PORT)
    deadline = time.time() + args.lifetime
    ioloop.call_every(5, lambda: time.time() > deadline and os._exit(0))
    tmp = os.path.join(STATE, "ports.tmp")
    with open(tmp, "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, os.path.join(STATE, "ports.txt"))
    ioloop.loop()


if __name__ == "__main__":
    sys.exit(main())
