#!/usr/bin/env python3
"""Boots the test guest: disk images, an initramfs with drivescope-report and
the peer tools, QEMU with every emulated drive; answers the guest's hot-plug
requests over QMP and unpacks the guest's results into WORKDIR/out.

usage: rig.py BUILD_DIR WORKDIR
Exit status: 0 done, 1 failure, 77 skipped (QEMU or the kernel missing, not under CI).
"""
import base64, glob, gzip, hashlib, io, json, os, re, shutil, socket, subprocess, sys, tarfile, threading, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from devices import DRIVES, CONTROLLERS, MiB, hot_device  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77
MODULES = ["scsi_mod", "sd_mod", "sr_mod", "sg", "libata", "ahci", "ata_piix", "nvme", "virtio_pci",
           "virtio_scsi", "megaraid_sas", "sym53c8xx", "xhci_pci", "usb_storage", "uas", "sdhci_pci", "mmc_block"]
PARAMS = {"usb_storage": "delay_use=0"}
TOOLS = ["hdparm", "smartctl", "nvme", "sg_inq", "sg_vpd", "sfdisk", "blkid", "lsusb", "strace", "setpriv"]
GUEST_TIMEOUT = int(os.environ.get("VM_GUEST_TIMEOUT", "600"))


def fail_or_skip(message):
    if os.environ.get("CI", "").lower() in ("1", "true", "yes"):
        print("vm rig: " + message + " (required under CI)")
        sys.exit(1)
    print("vm rig: SKIPPED: " + message)
    sys.exit(SKIP)


def kernel():
    for vmlinuz in sorted(glob.glob("/boot/vmlinuz-*-amd64"), reverse=True):
        version = vmlinuz[len("/boot/vmlinuz-"):]
        if os.path.isdir("/lib/modules/" + version) and os.access(vmlinuz, os.R_OK):
            return vmlinuz, version
    return None, None


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw).stdout


def make_image(path, drive):
    size, table, filesystems = drive["image"]
    with open(path, "wb") as f:
        f.truncate(size * MiB)
    if table:
        subprocess.run(["sfdisk", "-q", path], input=table, text=True, check=True, stdout=subprocess.DEVNULL)
    parts = {}
    if table:
        for p in json.loads(run(["sfdisk", "--json", path]))["partitiontable"]["partitions"]:
            parts[int(re.search(r"(\d+)$", p["node"]).group(1))] = (p["start"], p["size"])
    for number, fs in filesystems:
        start, sectors = parts[number] if number else (0, size * MiB // 512)
        label = "%s%d" % (drive["role"].replace("-", "")[:8].upper(), number)
        if fs == "ext4":
            run(["mkfs.ext4", "-q", "-F", "-L", label.lower(), "-E", "offset=%d" % (start * 512), path,
                 "%dk" % (sectors // 2)])
        else:
            run(["mkfs.fat", "-n", label[:11], "--offset", str(start), path, str(sectors // 2)])


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def copy_into(root, path):
    dest = root + path
    if os.path.exists(dest):
        return
    os.makedirs(os.path.dirname(dest), exist_ok=True)
    shutil.copy2(os.path.realpath(path), dest)


def make_initramfs(build, work, version):
    root = os.path.join(work, "root")
    shutil.rmtree(root, ignore_errors=True)
    for d in ("bin", "sbin", "usr/bin", "usr/sbin", "proc", "sys", "dev", "tmp", "root", "etc"):
        os.makedirs(os.path.join(root, d), exist_ok=True)
    shutil.copy2(shutil.which("busybox"), root + "/bin/busybox")
    for applet in run(["busybox", "--list"]).split():
        if applet not in ("busybox", "setpriv") and not os.path.exists(root + "/bin/" + applet):
            os.symlink("busybox", root + "/bin/" + applet)
    elves = [os.path.join(build, "report", "drivescope-report"), os.path.join(build, "helper", "drivescope-helper")]
    shutil.copy2(elves[0], root + "/usr/bin/drivescope-report")
    # Full access for uid 1000: pkexec stands in as a plain start of the helper,
    # which is set-user-ID root here as pkexec itself is on a real system, with
    # a copy of the requests kept for the traced replay.
    os.makedirs(root + "/usr/libexec/drivescope", exist_ok=True)
    shutil.copy2(elves[1], root + "/usr/libexec/drivescope/drivescope-helper")
    os.chmod(root + "/usr/libexec/drivescope/drivescope-helper", 0o4755)
    os.makedirs(root + "/fakebin", exist_ok=True)
    with open(root + "/fakebin/pkexec", "w") as f:
        f.write('#!/bin/sh\ntee -a /tmp/helper-requests | "$@"\n')
    os.chmod(root + "/fakebin/pkexec", 0o755)
    for tool in TOOLS:
        path = shutil.which(tool, path="/usr/sbin:/usr/bin:/sbin:/bin")
        if not path:
            fail_or_skip("peer tool %s is not installed" % tool)
        copy_into(root, path)
        elves.append(path)
    for elf in elves:
        for m in re.finditer(r"(/\S+) \(0x", run(["ldd", elf])):
            copy_into(root, m.group(1))
    if os.path.isdir("/usr/lib/locale/C.utf8"):
        shutil.copytree("/usr/lib/locale/C.utf8", root + "/usr/lib/locale/C.utf8", dirs_exist_ok=True)
    with open(root + "/etc/passwd", "w") as f:
        f.write("root:x:0:0:root:/root:/bin/sh\nuser:x:1000:1000:user:/tmp:/bin/sh\n")
    order = []
    for module in MODULES:
        for line in run(["modprobe", "-S", version, "-D", module]).splitlines():
            if line.startswith("insmod "):
                path = line.split()[1]
                if path not in [o[0] for o in order]:
                    order.append((path, PARAMS.get(module, "") if path.endswith("/%s.ko" % module) else ""))
    with open(root + "/modules.order", "w") as f:
        for path, params in order:
            copy_into(root, path)
            f.write("%s %s\n" % (path, params))
    with open(root + "/expected-drives", "w") as f:
        f.write("%d\n" % len(DRIVES))
    shutil.copy2(os.path.join(HERE, "guest-init.sh"), root + "/init")
    image = os.path.join(work, "initramfs.cpio")
    files = run(["find", ".", "-mindepth", "1"], cwd=root)
    with open(image, "wb") as out:
        subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], input=files.encode(), cwd=root, stdout=out,
                       check=True)
    return image


def accelerators():
    """KVM only where it is ordinary hardware-assisted KVM; TCG otherwise, and as the fall-back."""
    if os.path.exists("/sys/module/kvm_pvm"):
        return [("tcg", "paravirtual KVM (kvm_pvm) cannot boot a normal guest")]
    if os.access("/dev/kvm", os.R_OK | os.W_OK):
        return [("kvm", "/dev/kvm usable"), ("tcg", "KVM did not boot the guest")]
    return [("tcg", "no usable /dev/kvm")]


def qemu_command(accel, vmlinuz, initrd, images, qmp):
    cmd = ["qemu-system-x86_64", "-machine", "pc", "-m", "1024", "-smp", "2", "-no-reboot", "-nographic",
           "-serial", "stdio", "-monitor", "none", "-net", "none", "-qmp", "unix:%s,server=on,wait=off" % qmp,
           "-kernel", vmlinuz, "-initrd", initrd, "-append", "console=ttyS0 panic=-1 quiet loglevel=3 no_timer_check"]
    cmd += ["-accel", "kvm", "-cpu", "host"] if accel == "kvm" else ["-accel", "tcg,thread=multi", "-cpu", "max"]
    for c in CONTROLLERS:
        cmd += ["-device", c]
    for d in DRIVES:
        node = "d_" + d["role"].replace("-", "_")
        if d.get("hot"):
            # -blockdev outlives device_del, so the device can be added again.
            cmd += ["-blockdev", "driver=raw,node-name=%s,file.driver=file,file.filename=%s" % (node, images[d["role"]])]
        else:
            cmd += ["-drive", "if=none,id=%s,format=raw,file=%s%s" % (node, images[d["role"]],
                                                                      ",media=cdrom" if d.get("media") else "")]
        for dev in d["qemu"]:
            cmd += ["-device", dev.format(node=node)]
    return cmd


class Qmp:
    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        for _ in range(100):
            try:
                self.sock.connect(path)
                break
            except OSError:
                time.sleep(0.1)
        self.file = self.sock.makefile("rw")
        self.events = []
        self.file.readline()
        self.command("qmp_capabilities")

    def command(self, name, **arguments):
        self.file.write(json.dumps({"execute": name, "arguments": arguments}) + "\n")
        self.file.flush()
        while True:
            reply = json.loads(self.file.readline())
            if "return" in reply or "error" in reply:
                return reply
            self.events.append(reply)

    def wait_deleted(self, device, seconds=60):
        """PCI hot-unplug ends when the guest has ejected the device: only then is its id free again."""
        self.sock.settimeout(seconds)
        try:
            while not any(e.get("event") == "DEVICE_DELETED" and e.get("data", {}).get("device") == device
                          for e in self.events):
                self.events.append(json.loads(self.file.readline()))
        finally:
            self.sock.settimeout(None)


def hotplug(qmp, step):
    kind, what = step.split("-")
    d = hot_device("stick" if what == "stick" else "nvme1")
    node = "d_" + d["role"].replace("-", "_")
    if kind == "del":
        return qmp.command("device_del", id=d["hot"])
    qmp.wait_deleted(d["hot"])
    spec = d["qemu"][0].format(node=node)
    driver, *props = spec.split(",")
    args = dict(p.split("=", 1) for p in props)
    return qmp.command("device_add", driver=driver, **args)


def boot(accel, cmd, log):
    """Runs the guest; returns (results tar bytes or None, wall seconds)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    qmp = None
    blob, inside, started = [], False, False
    watchdog = threading.Timer(GUEST_TIMEOUT, proc.kill)
    watchdog.start()
    try:
        for raw in proc.stdout:
            line = raw.decode("latin-1").rstrip("\r\n")
            if inside:
                if line.startswith("@@RESULTS-END@@"):
                    inside = False
                else:
                    blob.append(line.strip())
                continue
            log.write(line + "\n")
            log.flush()
            if "@@GUEST-START@@" in line:
                started = True
            m = re.search(r"@@QMP (\S+)@@", line)
            if m:
                qmp = qmp or Qmp(cmd[cmd.index("-qmp") + 1].split(",")[0][len("unix:"):])
                log.write("qmp %s: %s\n" % (m.group(1), json.dumps(hotplug(qmp, m.group(1)))))
            if line.startswith("@@RESULTS-BEGIN@@"):
                inside = True
    finally:
        watchdog.cancel()
        if proc.poll() is None:
            proc.kill()
        proc.wait()
    wall = time.monotonic() - start
    if wall >= GUEST_TIMEOUT:
        log.write("guest killed after %d s\n" % GUEST_TIMEOUT)
    if not blob:
        return None, wall, started
    return gzip.decompress(base64.b64decode("".join(blob))), wall, started


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    build, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    # No stale results for the checks when this run is skipped.
    shutil.rmtree(work, ignore_errors=True)
    if not shutil.which("qemu-system-x86_64"):
        fail_or_skip("qemu-system-x86_64 is not installed")
    vmlinuz, version = kernel()
    if not vmlinuz:
        fail_or_skip("no readable generic kernel (/boot/vmlinuz-*-amd64 with its modules)")
    for tool in ("busybox", "cpio", "sfdisk", "mkfs.ext4", "mkfs.fat", "modprobe"):
        if not shutil.which(tool, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin"):
            fail_or_skip(tool + " is not installed")
    for program in ("report/drivescope-report", "helper/drivescope-helper"):
        if not os.access(os.path.join(build, program), os.X_OK):
            print("vm rig: %s/%s is not built" % (build, program))
            return 1
    os.makedirs(work)
    images = {}
    for d in DRIVES:
        images[d["role"]] = os.path.join(work, d["role"] + ".img")
        make_image(images[d["role"]], d)
    before = {role: sha256(path) for role, path in images.items()}
    initrd = make_initramfs(build, work, version)

    with open(os.path.join(work, "console.log"), "w") as log:
        # A guest that never starts (a slow host can fail the kernel's early timer check) gets one more try.
        for accel, why in accelerators() + [("tcg", "the guest did not start: once more under TCG")]:
            qmp = os.path.join(work, "qmp.sock")
            cmd = qemu_command(accel, vmlinuz, initrd, images, qmp)
            log.write("accelerator %s: %s\n%s\n" % (accel, why, " ".join(cmd)))
            print("vm rig: accelerator %s (%s)" % (accel, why))
            results, wall, started = boot(accel, cmd, log)
            if results or started:
                break
    print("vm rig: guest wall time %.1f s" % wall)
    if not results:
        print("vm rig: no results from the guest; console log in " + os.path.join(work, "console.log"))
        return 1
    out = os.path.join(work, "out")
    with tarfile.open(fileobj=io.BytesIO(results)) as tar:
        tar.extractall(out)
    after = {role: sha256(path) for role, path in images.items()}
    with open(os.path.join(work, "run.json"), "w") as f:
        json.dump({"accelerator": accel, "wall_seconds": round(wall, 1), "sha256_before": before,
                   "sha256_after": after}, f, indent=1)
    changed = [role for role in images if before[role] != after[role]]
    if changed:
        print("vm rig: FAIL: disk images changed during the guest run: " + ", ".join(changed))
        return 1
    print("vm rig: SHA-256 of %d disk images unchanged" % len(images))
    return 0


if __name__ == "__main__":
    sys.exit(main())
