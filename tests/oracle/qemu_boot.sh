#!/bin/bash
# Boots a disk image under qemu-system-i386 and reports what it showed.
#
# usage: qemu_boot.sh [-t SECONDS] [-r START:COUNT] [-u TEXT] {fda|hda} IMAGE
#
#   fda    boot IMAGE as floppy drive A: (720K, 1.2M and 1.44M images)
#   hda    boot IMAGE as the first hard disk (BIOS drive 80h)
#   -t     give up after SECONDS (default 10)
#   -r     the drive holds only COUNT sectors of IMAGE from sector START (a
#          floppy block where it lies on its disk)
#   -u     stop as soon as TEXT appears in a whole line on the serial port or on the text screen
#
# QEMU runs without a display, with COM1 captured and an isa-debug-exit device
# at port F4h (a guest write there ends QEMU). Output: the serial text, a line
# "----- screen -----", then the non-blank lines of the 80x25 text screen.
# Exit status: 0 when the guest ended QEMU through port F4h or TEXT was seen,
# 1 on timeout or a QEMU failure, 2 on bad usage, 77 when QEMU is missing.

# PYTHON may name the interpreter directly (callers set it to skip wrappers).
PYTHON=${PYTHON:-python3}
command -v qemu-system-i386 >/dev/null || { echo "qemu-system-i386 not found" >&2; exit 77; }
command -v "$PYTHON" >/dev/null || { echo "python3 not found" >&2; exit 77; }

exec "$PYTHON" - "$@" <<'PY'
import getopt, json, os, shutil, socket, subprocess, sys, tempfile, time

try:
    options, args = getopt.getopt(sys.argv[1:], "t:u:r:")
except getopt.GetoptError:
    args = []
if len(args) != 2 or args[0] not in ("fda", "hda") or not os.path.isfile(args[1]):
    print("usage: qemu_boot.sh [-t SECONDS] [-r START:COUNT] [-u TEXT] {fda|hda} IMAGE", file=sys.stderr)
    sys.exit(2)
media, image = args
given = dict(options)
timeout, until_text = float(given.get("-t", 10)), given.get("-u", "")
work = tempfile.mkdtemp(prefix="korvane-qemu-")
serial_path = os.path.join(work, "serial.txt")
screen_path = os.path.join(work, "screen.bin")
qmp_path = os.path.join(work, "qmp.sock")

start, count = (int(v) for v in given.get("-r", "0:0").split(":"))
part = ",offset=%d,size=%d" % (start * 512, count * 512) if count else ""
floppy = media == "fda"
drive = ["-drive", "file=%s,if=%s,format=raw%s" % (image, "floppy" if floppy else "ide", part),
         "-boot", "a" if floppy else "c"]
# Work on a snapshot: the guest never changes the caller's image.
cmd = ["qemu-system-i386", "-nodefaults", "-vga", "std", "-display", "none", "-no-reboot", "-snapshot", "-m", "16",
       "-serial", "file:" + serial_path, "-qmp", "unix:%s,server=on,wait=off" % qmp_path,
       "-nic", "none", "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04"] + drive
qemu = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


qmp = None


def call(name, **args):
    qmp.write(json.dumps({"execute": name, "arguments": args} if args else {"execute": name}) + "\n")
    qmp.flush()
    while True:
        line = qmp.readline()
        if not line:
            raise OSError("QMP closed")
        reply = json.loads(line)
        if "return" in reply or "error" in reply:
            return reply


def screen_lines():
    """Text of the 80x25 screen at B8000h, or None when QEMU cannot be asked."""
    global qmp
    try:
        if not qmp:
            sock = socket.socket(socket.AF_UNIX)
            sock.settimeout(2)
            sock.connect(qmp_path)
            qmp = sock.makefile("rw")
            qmp.readline()
            call("qmp_capabilities")
        call("pmemsave", val=0xB8000, size=4000, filename=screen_path)
        data = open(screen_path, "rb").read()
    except (OSError, ValueError):
        return None
    return [bytes(data[r * 160:r * 160 + 160:2]).decode("cp437").rstrip(" \0") for r in range(25)]


def serial_text():
    try:
        return open(serial_path, "rb").read().decode("latin-1")
    except OSError:
        return ""


deadline = time.monotonic() + timeout
found = False
screen = None
while qemu.poll() is None:
    screen = (screen_lines() if until_text else None) or screen
    # On the serial port only whole lines count, so a report is never cut off while the guest still writes it.
    if until_text and (until_text in serial_text().rpartition("\n")[0] or any(until_text in l for l in screen or [])):
        found = True
        break
    if time.monotonic() > deadline:
        break
    time.sleep(0.2)

if qemu.poll() is None:
    screen = screen_lines() or screen
    qemu.kill()  # it works on a snapshot: nothing of the image is lost
# isa-debug-exit ends QEMU with status (value << 1) | 1: never 1, which is QEMU's own failure, nor a killed QEMU's
# negative status.
guest_exit = qemu.wait() > 1 and qemu.returncode % 2 == 1

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
