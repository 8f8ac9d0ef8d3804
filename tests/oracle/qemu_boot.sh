#!/bin/bash
# Boots a disk image under qemu-system-i386 and reports what it showed.
#
# usage: qemu_boot.sh [-t SECONDS] [-r START:COUNT] [-k TEXT=KEYS]... [-u TEXT] {fda|hda} IMAGE
#
#   fda    boot IMAGE as floppy drive A: (720K, 1.2M and 1.44M images)
#   hda    boot IMAGE as the first hard disk (BIOS drive 80h)
#   -t     give up after SECONDS (default 10)
#   -r     the drive holds only COUNT sectors of IMAGE from sector START (a
#          floppy block where it lies on its disk)
#   -k     type KEYS (lower-case letters, digits, space, "." and "\n" for Enter)
#          once TEXT shows on the screen; several -k are worked through in turn
#   -u     stop as soon as TEXT appears on the serial port or the text screen
#          (after every -k has been typed)
#
# QEMU runs without a display, with COM1 captured and an isa-debug-exit device
# at port F4h (a guest write there ends QEMU). Output: the serial text, a line
# "----- screen -----", then the non-blank lines of the 80x25 text screen.
# Exit status: 0 when the guest ended QEMU through port F4h or TEXT was seen,
# 1 on timeout or a QEMU failure, 2 on bad usage, 77 when QEMU is missing.

timeout=10
until_text=
keys=()
range=
while getopts "t:u:k:r:" opt; do
  case $opt in
    r) range=$OPTARG ;;
    t) timeout=$OPTARG ;;
    u) until_text=$OPTARG ;;
    k) keys+=("$OPTARG") ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -ne 2 ] || { [ "$1" != fda ] && [ "$1" != hda ]; } || [ ! -f "$2" ]; then
  echo "usage: qemu_boot.sh [-t SECONDS] [-r START:COUNT] [-k TEXT=KEYS]... [-u TEXT] {fda|hda} IMAGE" >&2
  exit 2
fi
command -v qemu-system-i386 >/dev/null || { echo "qemu-system-i386 not found" >&2; exit 77; }
# PYTHON may name the interpreter directly (callers set it to skip wrappers).
PYTHON=${PYTHON:-python3}
command -v "$PYTHON" >/dev/null || { echo "python3 not found" >&2; exit 77; }

exec "$PYTHON" - "$1" "$2" "$timeout" "$until_text" "$range" "${keys[@]}" <<'PY'
import json, os, shutil, socket, subprocess, sys, tempfile, time

media, image, timeout, until_text, sector_range = sys.argv[1:6]
timeout = float(timeout)
steps = [arg.partition("=")[::2] for arg in sys.argv[6:]]
work = tempfile.mkdtemp(prefix="korvane-qemu-")
serial_path = os.path.join(work, "serial.txt")
screen_path = os.path.join(work, "screen.bin")
qmp_path = os.path.join(work, "qmp.sock")

part = ""
if sector_range:
    start, count = (int(v) for v in sector_range.split(":"))
    part = ",offset=%d,size=%d" % (start * 512, count * 512)
if media == "fda":
    drive = ["-drive", "file=%s,if=floppy,format=raw%s" % (image, part), "-boot", "a"]
else:
    drive = ["-drive", "file=%s,if=ide,format=raw%s" % (image, part), "-boot", "c"]
# Work on a snapshot: the guest never changes the caller's image.
cmd = ["qemu-system-i386", "-nodefaults", "-vga", "std", "-display", "none", "-no-reboot", "-snapshot", "-m", "16",
       "-serial", "file:" + serial_path, "-qmp", "unix:%s,server=on,wait=off" % qmp_path,
       "-nic", "none", "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04"] + drive
qemu = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class Qmp:
    def __init__(self):
        self.sock = None
        self.file = None

    def connect(self):
        if self.file:
            return True
        try:
            sock = socket.socket(socket.AF_UNIX)
            sock.settimeout(2)
            sock.connect(qmp_path)
        except OSError:
            return False
        self.sock = sock
        self.file = sock.makefile("rw")
        self.file.readline()
        self.call("qmp_capabilities")
        return True

    def call(self, name, **args):
        msg = {"execute": name}
        if args:
            msg["arguments"] = args
        self.file.write(json.dumps(msg) + "\n")
        self.file.flush()
        while True:
            line = self.file.readline()
            if not line:
                raise OSError("QMP closed")
            reply = json.loads(line)
            if "return" in reply or "error" in reply:
                return reply


qmp = Qmp()


def screen_lines():
    """Text of the 80x25 screen at B8000h, or None when QEMU cannot be asked."""
    try:
        if not qmp.connect():
            return None
        if os.path.exists(screen_path):
            os.remove(screen_path)
        qmp.call("pmemsave", val=0xB8000, size=4000, filename=screen_path)
        data = open(screen_path, "rb").read()
    except (OSError, ValueError):
        return None
    rows = []
    for r in range(25):
        row = bytes(data[r * 160 + c * 2] for c in range(80) if r * 160 + c * 2 < len(data))
        rows.append(row.decode("cp437").rstrip(" \0"))
    return rows


def serial_text():
    try:
        return open(serial_path, "rb").read().decode("latin-1")
    except OSError:
        return ""


KEY_NAMES = {" ": "spc", ".": "dot", "\n": "ret"}


def type_keys(text):
    text = text.replace("\\n", "\n")
    for ch in text:
        qmp.call("send-key", keys=[{"type": "qcode", "data": KEY_NAMES.get(ch, ch)}])
        time.sleep(0.05)


deadline = time.monotonic() + timeout
found = False
screen = None
while True:
    if qemu.poll() is not None:
        break
    if steps:
        lines = screen_lines()
        if lines is not None:
            screen = lines
            if any(steps[0][0] in l for l in screen):
                type_keys(steps.pop(0)[1])
    elif until_text:
        lines = screen_lines()
        if lines is not None:
            screen = lines
        if until_text in serial_text() or (screen and any(until_text in l for l in screen)):
            found = True
            break
    if time.monotonic() > deadline:
        break
    time.sleep(0.2)

if qemu.poll() is None:
    lines = screen_lines()
    if lines is not None:
        screen = lines
    try:
        qmp.call("quit")
    except (OSError, ValueError, AttributeError):
        pass
    try:
        qemu.wait(timeout=5)
    except subprocess.TimeoutExpired:
        qemu.kill()
        qemu.wait()
    guest_exit = False
else:
    # isa-debug-exit ends QEMU with status (value << 1) | 1.
    guest_exit = qemu.returncode % 2 == 1

sys.stdout.write(serial_text())
print("----- screen -----")
for line in screen or []:
    if line:
        print(line)
if not guest_exit and not found:
    err = qemu.stderr.read().decode(errors="replace").strip()
    if err:
        print("qemu: " + err, file=sys.stderr)
shutil.rmtree(work, ignore_errors=True)
sys.exit(0 if guest_exit or found else 1)
PY
