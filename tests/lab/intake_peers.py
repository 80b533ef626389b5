#!/usr/bin/env python3
"""A hostile peer against one node, in the lab (bench/intake_lab.sh, lab_intake.sh).

  intake_peers.py drive SCENARIO CLI [key=value...]   (inside `netlab.sh run`)
  intake_peers.py attack KIND TARGET [key=value...]   (inside one lab host)

drive starts the victim on host 2, an honest node on host 3 that sends one
message a second throughout, and the attacker of SCENARIO (flood, big, trickle,
offers) on host 1, then prints key=value lines. attack is the attacker itself;
it refuses to run outside a lab host and to send outside 10.77.0.0/16.
"""
import os
import re
import socket
import statistics
import struct
import subprocess
import sys
import threading
import time

LAB_PORT = 7709
VICTIM_HOST, HONEST_HOST, ATTACK_HOST = 2, 3, 1
HONEST_MARK = "HONEST-"
MIB = 1024 * 1024


# --- the attackers (run inside a lab host) --------------------------------

def check_lab_host(target):
    """The lab's second net: a namespace of the lab, a lab address."""
    try:
        name = subprocess.run(["ip", "netns", "identify", str(os.getpid())], capture_output=True, text=True,
                              timeout=5).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        name = ""
    if not re.fullmatch(r"qlmlab-\d+-h\d+", name):
        sys.exit("intake_peers: attack refused: not inside a lab host (namespace %r)" % name)
    if not target.startswith("10.77."):
        sys.exit("intake_peers: attack refused: %s is no lab address" % target)


def head_fields(kind, nick, computer):
    return [kind.encode(), b"2", b"1033", nick.encode(), computer.encode()]


def broadcast_datagram(seq):
    fields = head_fields("QLM_BROADCAST", "flooder", "FLOODBOX") + [b"_NULL_"] * 5
    fields += [b"flood %07d" % seq, b"flood broadcast body %07d, a line of ordinary length" % seq]
    return b"\t".join(fields)


def message_header(nick, summary):
    fields = head_fields("QLM_MESSAGE", nick, nick.upper()) + [b"{ATTACK-%s}" % nick.encode()]
    fields += [b"_NULL_"] * 4 + [summary.encode()]
    return b"\t".join(fields) + b"\r\n"


def attack_flood(target, rate, seconds):
    """rate datagrams a second for seconds, paced by the clock; the rate made is printed."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 * MIB)
    dest = (target, LAB_PORT)
    sent = failed = 0
    start = time.monotonic()
    end = start + seconds
    while True:
        now = time.monotonic()
        if now >= end:
            break
        due = int((now - start) * rate)
        if sent + failed >= due:
            time.sleep(0.0005)
            continue
        for _ in range(min(due - sent - failed, 200)):
            try:
                s.sendto(broadcast_datagram(sent + failed), dest)
                sent += 1
            except OSError:
                failed += 1
    took = time.monotonic() - start
    print("sent=%d failed=%d seconds=%.2f rate=%.0f" % (sent, failed, took, sent / took if took else 0), flush=True)


def rtf_body(size, tag):
    head = b"{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil\\fcharset0 ;}}\r\n{\\colortbl ;}\r\n\\pard\\plain\r\n"
    line = b"{\\f0\\fs24 " + tag + b" the quick brown fox jumps over the lazy dog 0123456789}\\par\r\n"
    tail = b"}\r\n"
    fill = size - len(head) - len(tail)
    body = head + line * (fill // len(line))
    return body + b" " * (size - len(body) - len(tail)) + tail


def attack_big(target, count, size, parallel):
    """count messages of size bytes, parallel connections at once."""
    body = rtf_body(size, b"BIG")
    lock = threading.Lock()
    state = {"next": 0, "done": 0, "reset": 0, "failed": 0}

    def worker():
        while True:
            with lock:
                if state["next"] >= count:
                    return
                n = state["next"]
                state["next"] += 1
            try:
                with socket.create_connection((target, LAB_PORT), timeout=60) as c:
                    c.sendall(message_header("bigsender", "big %d" % n) + struct.pack(">i", len(body)))
                    c.sendall(body)
                    c.shutdown(socket.SHUT_WR)
                    c.recv(1)  # until the node closes: read (EOF) or refused (reset)
                key = "done"
            except ConnectionResetError:
                key = "reset"
            except OSError:
                key = "failed"
            with lock:
                state[key] += 1

    start = time.monotonic()
    threads = [threading.Thread(target=worker) for _ in range(parallel)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    took = time.monotonic() - start
    print("sent=%d reset=%d failed=%d seconds=%.2f MiB=%.0f" % (state["done"], state["reset"], state["failed"], took,
                                                                 count * len(body) / MIB), flush=True)


def attack_trickle(target, addrs, per_addr, length, seconds):
    """per_addr connections from each address: a header, a length, then a byte a second."""
    conns = []
    refused = 0
    for addr in addrs:
        for i in range(per_addr):
            try:
                c = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                c.bind((addr, 0))
                c.settimeout(5)
                c.connect((target, LAB_PORT))
                c.sendall(message_header("trickle", "trickle %s %d" % (addr, i)) + struct.pack(">i", length))
                c.setblocking(False)
                conns.append(c)
            except OSError:
                refused += 1
    opened = len(conns)
    print("opened=%d refused_at_open=%d" % (opened, refused), flush=True)
    start = time.monotonic()
    closed_at = []
    sent_bytes = 0
    while time.monotonic() - start < seconds and conns:
        alive = []
        for c in conns:
            try:
                c.send(b"x")
                sent_bytes += 1
                alive.append(c)
            except OSError:
                closed_at.append(time.monotonic() - start)
                c.close()
        conns = alive
        time.sleep(1)
    for c in conns:
        c.close()
    first = "%.1f" % min(closed_at) if closed_at else "-"
    print("opened=%d refused_at_open=%d closed_by_node=%d first_closed_s=%s still_open_at_end=%d bytes=%d" %
          (opened, refused, len(closed_at), first, len(conns), sent_bytes), flush=True)


def attack_offers(target, count):
    """count file offers, each with a handle of its own, as fast as they go."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 * MIB)
    sent = failed = 0
    start = time.monotonic()
    for n in range(count):
        fields = [b"QLM_FILEREQUEST", b"2", b"1033", b"%d" % (100000 + n), b"0", b"offerer", b"OFFERBOX",
                  b"{OFFER-FLOOD}"] + [b"_NULL_"] * 4
        try:
            s.sendto(b"\t".join(fields), (target, LAB_PORT))
            sent += 1
        except OSError:
            failed += 1
    took = time.monotonic() - start
    print("sent=%d failed=%d seconds=%.2f rate=%.0f" % (sent, failed, took, sent / took if took else 0), flush=True)


def attack_main(argv):
    kind, target = argv[0], argv[1]
    opts = dict(a.split("=", 1) for a in argv[2:])
    check_lab_host(target)
    if kind == "flood":
        attack_flood(target, int(opts.get("rate", 50000)), float(opts.get("seconds", 12)))
    elif kind == "big":
        attack_big(target, int(opts.get("count", 12)), int(opts.get("size", 60_000_000)), int(opts.get("parallel", 4)))
    elif kind == "trickle":
        addrs = [a for a in open(opts["addrs"]).read().split() if a][:int(opts.get("addresses", 9))]
        attack_trickle(target, addrs, int(opts.get("per_addr", 8)), int(opts.get("length", 100000)),
                       float(opts.get("seconds", 20)))
    elif kind == "offers":
        attack_offers(target, int(opts.get("count", 20000)))
    else:
        sys.exit("intake_peers: unknown attack %s" % kind)


# --- the driver (runs in the calling namespace of `netlab.sh run`) ---------

def netns_cmd(host, *cmd):
    return ["ip", "netns", "exec", "%sh%d" % (os.environ["QLM_LAB_PREFIX"], host)] + list(cmd)


def lab_addr(host):
    return "10.77.0.%d" % host


class Victim:
    """The node on host 2: its log stamped as it grows, its RSS every 100 ms."""

    def __init__(self, cli, home, extra):
        self.dir = os.path.dirname(home)
        self.home = home
        self.tag = os.path.basename(home)
        os.makedirs(home, exist_ok=True)
        self.log_path = os.path.join(self.dir, self.tag + ".log")
        env = dict(os.environ, QUILLMATE_TIMINGS="counts=1000")
        self.proc = subprocess.Popen(netns_cmd(VICTIM_HOST, cli, "--home", home, "listen", "--json", "--nickname",
                                               "victim", *extra),
                                     stdin=subprocess.PIPE, stdout=open(self.log_path, "wb"),
                                     stderr=open(os.path.join(self.dir, self.tag + ".err"), "wb"), env=env)
        self.lock = threading.Lock()
        self.arrivals = {}  # honest seq -> time
        self.broadcasts = 0
        self.events = {}
        self.confirmed = False
        self.listener_last = ""
        self.listener_peak = {"open": 0, "running": 0, "waiting": 0}
        self.stopped_line = ""
        self.rss = []  # (time, KiB)
        self.running = True
        self.threads = [threading.Thread(target=self._tail, daemon=True),
                        threading.Thread(target=self._sample, daemon=True)]
        for t in self.threads:
            t.start()

    def _line(self, line, now):
        if b'"event":"WM_PEER_BROADCAST"' in line:
            self.broadcasts += 1
            return
        m = re.search(rb'"event":"(WM_[A-Z_]+)"', line)
        if m:
            self.events[m.group(1).decode()] = self.events.get(m.group(1).decode(), 0) + 1
        at = line.find(HONEST_MARK.encode())
        if at >= 0 and b'"event":"WM_PEER_MESSAGE"' in line:
            m = re.match(rb"\d+", line[at + len(HONEST_MARK):])
            if m:
                self.arrivals.setdefault(int(m.group()), now)
            return
        if line.startswith(b'{"event":"network-confirmed"'):
            self.confirmed = True
        elif b'"event":"listener"' in line:
            self.listener_last = line.decode(errors="replace")
            for k in self.listener_peak:
                m = re.search(rb'"%s":(\d+)' % k.encode(), line)
                if m:
                    self.listener_peak[k] = max(self.listener_peak[k], int(m.group(1)))
        elif b'"event":"stopped"' in line:
            self.stopped_line = line.decode(errors="replace")

    def _tail(self):
        with open(self.log_path, "rb") as f:
            rest = b""
            while True:
                chunk = f.read(8 * MIB)
                if not chunk:
                    if not self.running and self.proc.poll() is not None:
                        break
                    time.sleep(0.02)
                    continue
                now = time.time()
                lines = (rest + chunk).split(b"\n")
                rest = lines.pop()
                with self.lock:
                    for line in lines:
                        self._line(line, now)

    def _sample(self):
        path = "/proc/%d/status" % self.proc.pid
        while self.running:
            try:
                with open(path) as f:
                    for row in f:
                        if row.startswith("VmRSS:"):
                            self.rss.append((time.time(), int(row.split()[1])))
                            break
            except OSError:
                break
            time.sleep(0.1)

    def cpu_seconds(self):
        """User and system time of the node so far."""
        try:
            with open("/proc/%d/stat" % self.proc.pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except (OSError, IndexError, ValueError):
            return -1.0

    def rss_now(self):
        return self.rss[-1][1] if self.rss else 0

    def quit(self, limit):
        try:
            self.proc.stdin.write(b"quit\n")
            self.proc.stdin.flush()
        except OSError:
            pass
        try:
            rc = self.proc.wait(limit)
        except subprocess.TimeoutExpired:
            self.proc.terminate()
            try:
                rc = self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                rc = self.proc.wait()
            rc = "killed(%s)" % rc
        self.running = False
        self.threads[0].join(30)
        return rc


class Honest:
    """One message a second from host 3 through `quillmate-cli send`."""

    def __init__(self, cli, home):
        self.cli, self.home = cli, home
        os.makedirs(home, exist_ok=True)
        self.sent = {}  # seq -> time the send started
        self.failed = []
        self.lock = threading.Lock()
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.pending = []

    def start(self):
        self.thread.start()

    def _one(self, seq):
        text = "%s%06d an ordinary message" % (HONEST_MARK, seq)
        with self.lock:
            self.sent[seq] = time.time()
        try:
            out = subprocess.run(netns_cmd(HONEST_HOST, self.cli, "--home", self.home, "send", "--to",
                                           lab_addr(VICTIM_HOST), "--nickname", "honest", text),
                                 capture_output=True, text=True, timeout=60)
            ok = out.returncode == 0 and "\tOK" in out.stdout
            why = (out.stdout + out.stderr).strip().replace("\n", " ")
        except subprocess.TimeoutExpired:
            ok, why = False, "send timed out after 60 s"
        if not ok:
            with self.lock:
                self.failed.append((seq, why))

    def _run(self):
        seq = 0
        start = time.monotonic()
        while self.running:
            seq += 1
            t = threading.Thread(target=self._one, args=(seq,), daemon=True)
            t.start()
            self.pending.append(t)
            nxt = start + seq
            while self.running and time.monotonic() < nxt:
                time.sleep(0.05)

    def stop(self, limit):
        self.running = False
        self.thread.join()
        end = time.monotonic() + limit
        for t in self.pending:
            t.join(max(0.1, end - time.monotonic()))


def udp_counters(host):
    """InDatagrams and RcvbufErrors of a host's kernel (/proc/net/snmp is per namespace)."""
    try:
        text = subprocess.run(netns_cmd(host, "cat", "/proc/net/snmp"), capture_output=True, text=True,
                              timeout=10).stdout
        rows = [r.split() for r in text.splitlines() if r.startswith("Udp:")]
        row = dict(zip(rows[0][1:], map(int, rows[1][1:])))
        return row["InDatagrams"], row["RcvbufErrors"]
    except (OSError, subprocess.SubprocessError, IndexError, KeyError, ValueError):
        return 0, 0


def du_bytes(path):
    total = 0
    for root, _, files in os.walk(path):
        for name in files:
            try:
                total += os.lstat(os.path.join(root, name)).st_blocks * 512
            except OSError:
                pass
    return total


def pct(values, p):
    if not values:
        return -1
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p / 100.0 * (len(s) - 1))))]


SCENARIOS = {"flood": "a", "big": "b", "trickle": "c", "offers": "d"}


def drive(argv):
    scenario, cli = argv[0], argv[1]
    opts = dict(a.split("=", 1) for a in argv[2:])
    if scenario not in SCENARIOS:
        sys.exit("intake_peers: unknown scenario %s (flood, big, trickle, offers)" % scenario)
    lab = os.environ["QLM_LAB_DIR"]
    me = os.path.abspath(__file__)
    idle_s = float(opts.get("idle", 4))
    after_s = float(opts.get("after", 30))

    def emit(key, value):
        print("%s=%s" % (key, value), flush=True)

    extra = ["--no-auto-files", "--accept-files"] if scenario == "offers" else []
    tag = "victim-" + scenario
    victim = Victim(cli, os.path.join(lab, tag), extra)
    t0 = time.time()
    while not victim.confirmed and time.time() - t0 < 30 and victim.proc.poll() is None:
        time.sleep(0.05)
    if not victim.confirmed:
        print("intake_peers: the victim did not start:", open(os.path.join(lab, tag + ".err")).read(), file=sys.stderr)
        return 1

    honest = Honest(cli, os.path.join(lab, "honest-" + scenario))
    honest.start()
    time.sleep(idle_s)
    idle_samples = [k for t, k in victim.rss if t >= time.time() - min(idle_s, 2)]
    idle_kib = int(statistics.median(idle_samples)) if idle_samples else victim.rss_now()
    chatdb = os.path.join(victim.home, "ChatDB")
    chatdb_before = du_bytes(chatdb)

    udp_before = udp_counters(VICTIM_HOST)
    cpu_before = victim.cpu_seconds()
    attack_start = time.time()
    if scenario == "flood":
        cmd = ["flood", lab_addr(VICTIM_HOST), "rate=%s" % opts.get("rate", 50000), "seconds=%s" % opts.get("seconds", 12)]
    elif scenario == "big":
        cmd = ["big", lab_addr(VICTIM_HOST), "count=%s" % opts.get("count", 12), "size=%s" % opts.get("size", 60_000_000),
               "parallel=%s" % opts.get("parallel", 4)]
    elif scenario == "trickle":
        cmd = ["trickle", lab_addr(VICTIM_HOST), "addrs=%s" % os.path.join(lab, "extra-addrs-h%d" % ATTACK_HOST),
               "addresses=%s" % opts.get("addresses", 9), "per_addr=%s" % opts.get("per_addr", 8),
               "length=100000", "seconds=%s" % opts.get("seconds", 20)]
    else:
        cmd = ["offers", lab_addr(VICTIM_HOST), "count=%s" % opts.get("count", 20000)]
    attack_limit = float(opts.get("attack_limit", 120))
    try:
        attack = subprocess.run(netns_cmd(ATTACK_HOST, sys.executable, me, "attack", *cmd), capture_output=True,
                                text=True, timeout=attack_limit)
        attack_out = (attack.stdout.strip().splitlines() or [""])[-1]
        if attack.returncode != 0:
            attack_out += " exit=%d %s" % (attack.returncode, attack.stderr.strip().replace("\n", " "))
    except subprocess.TimeoutExpired:
        attack_out = "timed out after %.0f s" % attack_limit
    attack_end = time.time()
    udp_after = udp_counters(VICTIM_HOST)
    cpu_attack = victim.cpu_seconds()

    # RSS while the node recovers; the honest peer keeps sending.
    recovered_at = None
    while time.time() < attack_end + after_s and victim.proc.poll() is None:
        time.sleep(0.1)
    honest.stop(30)
    # Arrivals of messages still on their way.
    deadline = time.time() + float(opts.get("drain", 10))
    while time.time() < deadline:
        with victim.lock:
            if all(s in victim.arrivals for s in honest.sent):
                break
        time.sleep(0.1)
    with victim.lock:
        rss = list(victim.rss)
        arrivals = dict(victim.arrivals)
        broadcasts = victim.broadcasts
        peak_listener = dict(victim.listener_peak)
    chatdb_after = du_bytes(chatdb)
    cpu_after = victim.cpu_seconds()
    later = [k for t, k in rss if t >= attack_end + after_s - 0.5]
    later_kib = later[0] if later else (rss[-1][1] if rss else 0)
    after_samples = [(t, k) for t, k in rss if t >= attack_start]
    peak_kib = max([k for _, k in after_samples] or [0])
    for t, k in rss:
        if t >= attack_end and k <= idle_kib + 20 * 1024:
            recovered_at = t - attack_end
            break
    rc = victim.quit(float(opts.get("quit_limit", 60)))
    with victim.lock:
        arrived_at_quit = {s: t for s, t in victim.arrivals.items() if s not in arrivals}

    lat = []
    lat_attack = []
    lost = []
    for seq, t in sorted(honest.sent.items()):
        if seq in arrivals:
            ms = (arrivals[seq] - t) * 1000
            lat.append(ms)
            if attack_start <= t <= attack_end + 2:
                lat_attack.append(ms)
        else:
            lost.append(seq)
    late = [ms for ms in lat if ms > 2000]

    emit("scenario", "%s(%s)" % (scenario, SCENARIOS[scenario]))
    emit("attack", attack_out.replace(" ", ","))
    emit("attack_seconds", "%.1f" % (attack_end - attack_start))
    emit("honest_sent", len(honest.sent))
    emit("honest_arrived", len(lat))
    emit("honest_lost", len(lost))
    emit("honest_lost_seqs", ",".join(map(str, lost)) or "-")
    # Shown only while the node was told to quit, long after the wait for them.
    emit("honest_lost_but_shown_at_quit", len(arrived_at_quit))
    if arrived_at_quit:
        emit("honest_shown_at_quit_max_ms", "%.0f" % max((t - honest.sent[s]) * 1000 for s, t in arrived_at_quit.items()
                                                          if s in honest.sent))
    emit("honest_send_failures", len(honest.failed))
    if honest.failed:
        emit("honest_first_failure", honest.failed[0][1].replace(" ", "_")[:160])
    emit("honest_p50_ms", "%.0f" % pct(lat, 50))
    emit("honest_max_ms", "%.0f" % (max(lat) if lat else -1))
    emit("honest_during_attack_p50_ms", "%.0f" % pct(lat_attack, 50))
    emit("honest_during_attack_max_ms", "%.0f" % (max(lat_attack) if lat_attack else -1))
    emit("honest_over_2s", len(late))
    emit("honest_over_2s_seqs", ",".join(str(q) for q, t in sorted(honest.sent.items())
                                         if q in arrivals and arrivals[q] - t > 2) or "-")
    # Two cores for the attacker, the node and the honest sender together.
    emit("victim_cpu_s_during_attack", "%.1f" % (cpu_attack - cpu_before))
    emit("victim_cpu_s_after_attack", "%.1f" % (cpu_after - cpu_attack))
    emit("rss_idle_mib", "%.1f" % (idle_kib / 1024))
    emit("rss_peak_mib", "%.1f" % (peak_kib / 1024))
    emit("rss_peak_over_idle_mib", "%.1f" % ((peak_kib - idle_kib) / 1024))
    emit("rss_after_s", "%.0f" % after_s)
    emit("rss_30s_after_mib", "%.1f" % (later_kib / 1024))
    emit("rss_30s_after_over_idle_mib", "%.1f" % ((later_kib - idle_kib) / 1024))
    emit("rss_back_within_20mib_after_s", "%.1f" % recovered_at if recovered_at is not None else "never")
    emit("chatdb_growth_mb", "%.1f" % ((chatdb_after - chatdb_before) / 1e6))
    emit("udp_delivered_to_sockets", udp_after[0] - udp_before[0])
    emit("udp_dropped_receive_buffer_full", udp_after[1] - udp_before[1])
    emit("broadcasts_shown", broadcasts)
    with victim.lock:
        for name in ("WM_PEER_FILEREQUEST", "WM_PEER_MESSAGE"):
            emit("events_%s" % name, victim.events.get(name, 0))
    emit("listener_peak_open", peak_listener["open"])
    emit("listener_peak_running", peak_listener["running"])
    emit("listener_peak_waiting", peak_listener["waiting"])
    final = victim.listener_last
    for group in ("refused", "intake-dropped"):
        m = re.search(r'"%s":\{([^}]*)\}' % group, final)
        for k, v in re.findall(r'"([^"]+)":(\d+)', m.group(1) if m else ""):
            emit("%s_%s" % (group.replace("-", "_"), k.replace("-", "_")), v)
    for k, v in re.findall(r'"(\w+)":(\d+)', victim.stopped_line):
        if k != "t":
            emit("router_%s" % k, v)
    emit("victim_exit", rc)

    # Targets beside the figures.
    ok_honest = not lost and not late
    emit("target_honest", "all_within_2000ms_none_lost:%s" % ("met" if ok_honest else "MISSED"))
    back = recovered_at is not None and recovered_at <= after_s
    emit("target_rss_recovery", "idle+20MiB_within_30s:%s" % ("met" if back else "MISSED"))
    if scenario == "big":
        emit("target_rss_peak", "under_idle+400MiB:%s" % ("met" if peak_kib - idle_kib < 400 * 1024 else "MISSED"))
    if scenario == "flood":
        emit("target_chatdb", "growth<=50MB:%s" % ("met" if chatdb_after - chatdb_before <= 50e6 else "MISSED"))
    keep = opts.get("keep") or os.environ.get("QLM_INTAKE_KEEP")
    if keep:
        os.makedirs(keep, exist_ok=True)
        subprocess.run(["cp", os.path.join(lab, tag + ".err"), keep])
        # Without the flood's own lines, and the 60 MB bodies cut short.
        subprocess.run(["sh", "-c", "grep -v WM_PEER_BROADCAST '%s' | cut -c1-2000 > '%s/%s.log'" %
                        (victim.log_path, keep, tag)])
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "attack":
        attack_main(sys.argv[2:])
    elif len(sys.argv) >= 4 and sys.argv[1] == "drive":
        sys.exit(drive(sys.argv[2:]))
    else:
        sys.exit(__doc__)
