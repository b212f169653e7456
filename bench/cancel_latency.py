#!/usr/bin/python3
"""How long the webcopy tool takes to end after Ctrl-C, at each stage of an FTP run, while an
FTPS or SFTP connect waits for a server that never answers its handshake, and while a copy from
a network share waits for a server that does not answer.

For every stage the script starts the test FTP server (tests/fixtures/ftp_server.py) on
127.0.0.1 with a rule that holds the client in that stage (a server that never accepts, never
greets, never answers PASS or CWD, drips a reply, opens a transfer and sends nothing, ...), runs
`webcopy --json --no-progress JOB` against it, waits until the server has seen the stage's command
(or a short settling time where there is no command to see), sends SIGINT, and measures the time
until the process has exited. It checks that the run ended as cancelled (exit 130, the item
"Cancelled") and reports, per stage, the median and the worst of ROUNDS rounds against the goal.

The time includes everything the program does after the signal: stopping the wait, closing the
connection, printing the events and the summary, and exiting.

usage: bench/cancel_latency.py BUILD_DIR        (ROUNDS=N, default 7; GOAL_MS, default 100)
Exit status: 0 when every stage's median meets the goal, 1 otherwise, 2 for a setup problem.
BENCH_SMOKE=1 (the smoke mode): one round per stage by default, and the goal is not judged; a
stage whose run does not end as cancelled still fails.
"""
import json
import os
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "tests", "fixtures", "ftp_server.py")
USER, PASSWORD = "bench", "bench"
SETTLE = 0.3  # seconds the client is given to settle into a wait before the signal


class Blackhole:
    """A listening socket whose backlog is full, so a new connection hangs in the kernel's
    handshake: a client stuck in connect()."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(0)
        self.port = self.listener.getsockname()[1]
        self.fillers = []
        for _ in range(4):
            s = socket.socket()
            s.setblocking(False)
            try:
                s.connect(("127.0.0.1", self.port))
            except BlockingIOError:
                pass
            self.fillers.append(s)

    def close(self):
        for s in self.fillers:
            s.close()
        self.listener.close()


class Silent:
    """A listener that accepts every connection and never says a word: a client stuck waiting
    for the server's first answer."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.held = []
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        try:
            while True:
                self.held.append(self.listener.accept()[0])
        except OSError:
            pass

    def close(self):
        self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        for s in self.held:
            s.close()


class Server:
    def __init__(self, work, rules):
        self.root = os.path.join(work, "root")
        self.log = os.path.join(work, "commands.log")
        os.makedirs(self.root, exist_ok=True)
        open(self.log, "w").close()
        args = ["/usr/bin/python3", SERVER, "--root", self.root, "--log", self.log, "--user", USER,
                "--password", PASSWORD, "--anonymous-perm", ""]
        for rule in rules:
            args += ["--rule", rule]
        self.out = open(os.path.join(work, "server.out"), "w+")
        self.proc = subprocess.Popen(args, stdout=self.out, stderr=subprocess.DEVNULL,
                                     start_new_session=True)
        deadline = time.monotonic() + 10
        self.port = None
        while time.monotonic() < deadline and self.port is None:
            self.out.seek(0)
            for line in self.out.read().splitlines():
                if line.startswith("PORT "):
                    self.port = int(line.split()[1])
            time.sleep(0.02)
        if self.port is None:
            self.close()
            raise RuntimeError("the FTP server did not start")

    def saw(self, verb):
        with open(self.log, encoding="utf8", errors="replace") as f:
            return any(line.split()[:1] == [verb] for line in f)

    def close(self):
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()
        self.out.close()


def item(protocol, url, port, **extra):
    fields = {"Protocol": protocol, "URL": url, "FTPHost": "127.0.0.1", "FTPPort": port,
              "FTPUserID": USER, "FTPPassword": PASSWORD}
    fields.update(extra)
    return fields


def share_items(port, local):
    return [{"Protocol": "wpFile", "URL": "data.bin", "TargetDir": local,
             "FTPHost": "smb://127.0.0.1:%d/files" % port, "FTPUserID": USER, "FTPPassword": PASSWORD}]


# name, server rules (None: the blackhole listener, "silent": a listener that never answers),
# the command that shows the stage has been reached (None: wait SETTLE after the start), and the
# job's items (given the port and a folder).
STAGES = [
    ("connect", None, None,
     lambda port, local: [item("wpFtpTest", "", port)]),
    ("greeting", ["greeting stall"], None,
     lambda port, local: [item("wpFtpTest", "", port)]),
    ("login", ["PASS stall"], "PASS",
     lambda port, local: [item("wpFtpTest", "", port)]),
    ("reply drip", ["PWD drip 0.05"], "PWD",
     lambda port, local: [item("wpFtpUpload", os.path.join(local, "up.bin"), port,
                               TargetDir="incoming")]),
    ("folder", ["CWD stall"], "CWD",
     lambda port, local: [item("wpFtpUpload", os.path.join(local, "up.bin"), port,
                               TargetDir="incoming")]),
    ("date check", ["MDTM stall", "MLSD stall", "LIST stall"], None,
     lambda port, local: [item("wpFtp", "data.bin", port, TargetDir=local, CopyNewerOnly=True)]),
    ("listing", ["MLSD stalldata", "LIST stalldata"], None,
     lambda port, local: [item("wpFtpList", "*", port)]),
    ("download, no data", ["RETR stalldata"], "RETR",
     lambda port, local: [item("wpFtp", "data.bin", port, TargetDir=local)]),
    ("multi-file upload", [], "STOR",
     lambda port, local: [item("wpMultiFtpUpload", os.path.join(local, "multi", "*.bin"), port,
                               TargetDir="many")]),
    ("FTPS handshake", "silent", None,
     lambda port, local: [item("wpFtpTest", "", port, FTPSecurity="fsFtpsImplicit")]),
    ("SFTP key exchange", "silent", None,
     lambda port, local: [item("wpFtpTest", "", port, FTPSecurity="fsSftp")]),
    ("share connect", None, None, share_items),
    ("share, no answer", "silent", None, share_items),
]


def prepare_local(local):
    os.makedirs(os.path.join(local, "multi"), exist_ok=True)
    # Large enough that a loopback upload is still moving when the signal comes.
    with open(os.path.join(local, "up.bin"), "wb") as f:
        f.truncate(64 * 1024 * 1024)
    for n in range(4):
        with open(os.path.join(local, "multi", "part%d.bin" % n), "wb") as f:
            f.truncate(256 * 1024 * 1024)


def run_once(tool, work, stage):
    name, rules, trigger, items = stage
    local = os.path.join(work, "local")
    blackhole = server = None
    try:
        if rules is None or rules == "silent":
            blackhole = Blackhole() if rules is None else Silent()
            port = blackhole.port
        else:
            server = Server(os.path.join(work, "server"), rules)
            port = server.port
            with open(os.path.join(server.root, "data.bin"), "wb") as f:
                f.write(os.urandom(1 << 20))
        job = {"ShowDialog": False, "FTPPassive": True, "Items": items(port, local)}
        job_path = os.path.join(work, "job.json")
        with open(job_path, "w") as f:
            json.dump(job, f)
        out_path = os.path.join(work, "out.json")
        with open(out_path, "w") as out:
            proc = subprocess.Popen([tool, "--json", "--no-progress", job_path], stdout=out,
                                    stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            deadline = time.monotonic() + 10
            if trigger:
                while not server.saw(trigger):
                    if time.monotonic() > deadline or proc.poll() is not None:
                        proc.kill()
                        proc.wait()
                        raise RuntimeError("%s: the client never sent %s" % (name, trigger))
                    time.sleep(0.005)
            time.sleep(SETTLE if not trigger else 0.1)
            if proc.poll() is not None:
                raise RuntimeError("%s: the run ended before the signal (exit %d)"
                                   % (name, proc.returncode))
            start = time.monotonic()
            proc.send_signal(signal.SIGINT)
            try:
                rc = proc.wait(timeout=60)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                raise RuntimeError("%s: still running 60 s after SIGINT" % name)
            elapsed = time.monotonic() - start
        with open(out_path) as f:
            lines = [json.loads(line) for line in f if line.strip()]
        done = [line for line in lines if line.get("event") == "done"]
        statuses = [it.get("Status") for it in done[0]["items"]] if done else []
        if rc != 130 or statuses[:1] != ["Cancelled"]:
            raise RuntimeError("%s: expected exit 130 and a cancelled item, got exit %d and %s"
                               % (name, rc, statuses or "no summary"))
        return elapsed * 1000.0
    finally:
        if server:
            server.close()
        if blackhole:
            blackhole.close()


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-2], file=sys.stderr)
        return 2
    tool = os.path.join(os.path.abspath(sys.argv[1]), "tools", "webcopy")
    if not os.access(tool, os.X_OK):
        print("missing %s: build the webcopy target first" % tool, file=sys.stderr)
        return 2
    smoke = os.environ.get("BENCH_SMOKE", "0") == "1"
    rounds = int(os.environ.get("ROUNDS", "1" if smoke else "7"))
    goal = float(os.environ.get("GOAL_MS", "100"))
    met = True
    broken = False
    with tempfile.TemporaryDirectory(prefix="cancel-latency-") as work:
        prepare_local(os.path.join(work, "local"))
        print("%-20s %10s %10s   (ms from SIGINT to exit, %d rounds)" % ("stage", "median",
                                                                       "worst", rounds))
        for stage in STAGES:
            try:
                times = [run_once(tool, work, stage) for _ in range(rounds)]
            except RuntimeError as e:
                print("%-20s FAILED: %s" % (stage[0], e))
                met = False
                broken = True
                continue
            median = statistics.median(times)
            ok = median <= goal
            met = met and ok
            print("%-20s %10.1f %10.1f   %s" % (stage[0], median, max(times),
                                               "ok" if ok else "over the %.0f ms goal" % goal))
    if smoke:
        print("smoke mode: the goal is not judged")
        return 1 if broken else 0
    print("goal (median <= %.0f ms at every stage): %s" % (goal, "met" if met else "NOT met"))
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
