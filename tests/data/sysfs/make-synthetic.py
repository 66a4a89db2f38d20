#!/usr/bin/env python3
"""Writes the synthetic sysfs tree of tests/data/sysfs/synthetic: one machine
with a SATA disk (cached IDENTIFY), an NVMe namespace, a USB disk with two
alternate settings and a BOS, an SD card, an eMMC with general purpose and boot
areas, a SAS disk, a bound and an unbound loop device, a hidden NVMe path
device and an empty card reader. Run it from this folder after changing it."""
import os, shutil, struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "synthetic", "sys")


def write(path, data):
    full = ROOT + path
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data if isinstance(data, bytes) else (data + "\n").encode())


def link(path, target):
    full = ROOT + path
    os.makedirs(os.path.dirname(full), exist_ok=True)
    os.symlink(os.path.relpath(ROOT + target, os.path.dirname(full)), full)


def disk(folder, name, size, removable=0, lbs=512, extra=None):
    write(folder + "/size", str(size))
    write(folder + "/removable", str(removable))
    write(folder + "/queue/logical_block_size", str(lbs))
    write(folder + "/uevent", "MAJOR=8\nMINOR=0\nDEVNAME=%s\nDEVTYPE=disk" % name)
    write(folder + "/dev", "8:0")
    link("/block/" + name, folder)
    for key, value in (extra or {}).items():
        write(folder + "/" + key, value)


def pci(folder, cls, vendor, device, subvendor, subdevice, speed=None, width=None):
    for key, value in (("class", cls), ("vendor", vendor), ("device", device),
                       ("subsystem_vendor", subvendor), ("subsystem_device", subdevice)):
        write(folder + "/" + key, "0x%0*x" % (6 if key == "class" else 4, value))
    if speed:
        write(folder + "/current_link_speed", speed)
        write(folder + "/current_link_width", str(width))
    link("/bus/pci/devices/" + folder.rsplit("/", 1)[1], folder)


def ata_string(text, words):
    text = text.ljust(2 * words)
    return b"".join(bytes([ord(text[i + 1]), ord(text[i])]) for i in range(0, 2 * words, 2))


def identify():
    words = [0] * 256
    block = bytearray(512)
    block[20:40] = ata_string("AC1234567890", 10)
    block[46:54] = ata_string("1.0", 4)
    block[54:94] = ata_string("ACME SSD 500GB", 20)
    words = list(struct.unpack("<256H", bytes(block)))
    words[0] = 0x0040
    words[82] = 0x0001          # S.M.A.R.T. supported
    words[83] = 0x4000
    words[85] = 0x0001          # ... and enabled
    words[87] = 0x4000
    words[255] = 0x00A5
    raw = struct.pack("<256H", *words)
    words[255] = 0x00A5 | ((-sum(raw[:511])) & 0xFF) << 8
    return words


def scsi_strings(vendor, model, rev):
    inquiry = bytes([0, 0, 6, 2, 91, 0, 0, 2]) + vendor.ljust(8).encode() + model.ljust(16).encode() + rev.ljust(4).encode()
    return inquiry.ljust(96, b"\0")


def vpd(page, payload):
    return bytes([0, page]) + struct.pack(">H", len(payload)) + payload


def main():
    shutil.rmtree(os.path.dirname(ROOT), ignore_errors=True)
    os.makedirs(ROOT + "/block")

    # SATA disk on an AHCI controller, IDENTIFY cached by libata.
    ahci = "/devices/pci0000:00/0000:00:17.0"
    pci(ahci, 0x010601, 0x8086, 0xa352, 0x1028, 0x0869)
    scsi = ahci + "/ata3/host2/target2:0:0/2:0:0:0"
    write(scsi + "/vendor", "ATA     ")
    write(scsi + "/model", "ACME SSD 500GB  ")
    write(scsi + "/rev", "1.0 ")
    write(scsi + "/type", "0")
    write(scsi + "/scsi_level", "6")
    write(scsi + "/inquiry", scsi_strings("ATA", "ACME SSD 500GB", "1.0"))
    write(scsi + "/vpd_pg80", vpd(0x80, b"        AC1234567890"))
    words = identify()
    write(ahci + "/ata3/link3/dev3.0/ata_device/dev3.0/id",
          "\n".join(" ".join("%04x" % w for w in words[i:i + 8]) for i in range(0, 256, 8)))
    write(ahci + "/ata3/link3/ata_link/link3/sata_spd", "6.0 Gbps")
    disk(scsi + "/block/sda", "sda", 976773168)
    link(scsi + "/block/sda/device", scsi)
    write(scsi + "/block/sda/sda1/partition", "1")
    write(scsi + "/block/sda/sda1/size", "2048")

    # NVMe namespace behind a PCIe 4 x4 link.
    nvme_pci = "/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0"
    pci(nvme_pci, 0x010802, 0x144d, 0xa80a, 0x144d, 0xa801, "16.0 GT/s PCIe", 4)
    ctrl = nvme_pci + "/nvme/nvme0"
    for key, value in (("model", "ACME NVMe 1TB                           "), ("serial", "S6B0NL0T123456      "),
                       ("firmware_rev", "2B2QEXM7"), ("transport", "pcie"), ("state", "live")):
        write(ctrl + "/" + key, value)
    ns = ctrl + "/nvme0n1"
    disk(ns, "nvme0n1", 1953525168, extra={"nsid": "1", "nguid": "0025385b-a1b2-c3d4-e5f6-000000000001",
                                          "eui": "00 25 38 5b 21 b0 3a 77", "wwid": "eui.0025385ba1b2c3d4e5f6000000000001"})
    link(ns + "/device", ctrl)
    # A hidden multipath path device must not be listed.
    disk(ctrl + "/nvme0c0n1", "nvme0c0n1", 1953525168, extra={"hidden": "1"})

    # A multipath NVMe namespace: the head sits under its subsystem, which
    # links the controller.
    mp_pci = "/devices/pci0000:00/0000:00:1c.0/0000:04:00.0"
    pci(mp_pci, 0x010802, 0x1e0f, 0x0007, 0x1e0f, 0x0001, "8.0 GT/s PCIe", 4)
    mp_ctrl = mp_pci + "/nvme/nvme1"
    for key, value in (("model", "ACME DUAL PORT"), ("serial", "DP0001"), ("firmware_rev", "1.2"),
                       ("transport", "pcie")):
        write(mp_ctrl + "/" + key, value)
    subsys = "/devices/virtual/nvme-subsystem/nvme-subsys1"
    for key, value in (("model", "ACME DUAL PORT"), ("serial", "DP0001"), ("firmware_rev", "1.2")):
        write(subsys + "/" + key, value)
    link(subsys + "/nvme1", mp_ctrl)
    disk(subsys + "/nvme1n1", "nvme1n1", 2097152, extra={"nsid": "1"})
    link(subsys + "/nvme1n1/device", subsys)

    # USB disk: a bridge with BOT and UAS alternate settings.
    xhci = "/devices/pci0000:00/0000:00:14.0"
    pci(xhci, 0x0c0330, 0x8086, 0xa36d, 0x1028, 0x0869)
    usb = xhci + "/usb2/2-1"
    endpoints = bytes.fromhex("0705810200020007050202000200")
    interfaces = (bytes.fromhex("090400000208065000") + endpoints +
                  bytes.fromhex("090400010408066200") + endpoints + bytes.fromhex("04240100") + endpoints)
    config = bytes.fromhex("0902") + struct.pack("<H", 9 + len(interfaces)) + bytes.fromhex("0101008032") + interfaces
    device = bytes.fromhex("12012003000000092b1a810700010102030101".replace(" ", ""))[:18]
    write(usb + "/descriptors", device + config)
    container = bytes(range(0x10, 0x20))
    caps = bytes.fromhex("0710020200000000"[:14]) + bytes.fromhex("0a1003000e00010aff07") + bytes.fromhex("14100400") + container
    write(usb + "/bos_descriptors", bytes([5, 0x0F]) + struct.pack("<H", 5 + len(caps)) + bytes([3]) + caps)
    for key, value in (("idVendor", "1a2b"), ("idProduct", "0781"), ("bcdDevice", "0100"), ("speed", "480"),
                       ("manufacturer", "Acme"), ("product", "Acme Portable SSD"), ("serial", "0123456789AB"),
                       ("version", " 3.20"), ("bNumConfigurations", "1")):
        write(usb + "/" + key, value)
    uscsi = usb + "/2-1:1.0/host4/target4:0:0/4:0:0:0"
    write(uscsi + "/vendor", "Acme    ")
    write(uscsi + "/model", "Portable SSD    ")
    write(uscsi + "/rev", "0100")
    write(uscsi + "/type", "0")
    write(uscsi + "/inquiry", scsi_strings("Acme", "Portable SSD", "0100"))
    disk(uscsi + "/block/sdb", "sdb", 1000215216)
    link(uscsi + "/block/sdb/device", uscsi)

    # SD card in a PCI SD host controller.
    sdhci = "/devices/pci0000:00/0000:00:1e.6"
    pci(sdhci, 0x080501, 0x8086, 0xa375, 0x1028, 0x0869)
    card = sdhci + "/mmc_host/mmc0/mmc0:aaaa"
    for key, value in (("type", "SD"), ("name", "SD64G"), ("serial", "0x12345678"), ("date", "06/2021"),
                       ("cid", "035344534436344780123456780156a5"), ("csd", "400e00325b590001d8a77f800a400000"),
                       ("scr", "0235800300000000"), ("manfid", "0x000003"), ("oemid", "0x5344")):
        write(card + "/" + key, value)
    disk(card + "/block/mmcblk0", "mmcblk0", 124735488, removable=1)
    link(card + "/block/mmcblk0/device", card)

    # eMMC on a platform host: general purpose area, boot areas, RPMB.
    emmc = "/devices/platform/soc/fe340000.mmc/mmc_host/mmc1/mmc1:0001"
    for key, value in (("type", "MMC"), ("name", "BJTD4R"), ("serial", "0x0a1b2c3d"), ("date", "10/2019"),
                       ("cid", "150100424a54443452000a1b2c3d9a00"), ("csd", "d02701320f5903fff6dbffef8e40400d"),
                       ("rev", "0x8"), ("life_time", "0x01 0x02"), ("pre_eol_info", "0x01")):
        write(emmc + "/" + key, value)
    disk(emmc + "/block/mmcblk1", "mmcblk1", 61071360)
    link(emmc + "/block/mmcblk1/device", emmc)
    for area in ("mmcblk1boot0", "mmcblk1boot1", "mmcblk1rpmb"):
        disk(emmc + "/block/" + area, area, 8192)
    disk(emmc + "/block/mmcblk1gp0", "mmcblk1gp0", 16384)

    # SAS disk on a SAS HBA.
    hba = "/devices/pci0000:00/0000:00:03.0/0000:02:00.0"
    pci(hba, 0x010700, 0x1000, 0x0097, 0x1000, 0x3090)
    port = hba + "/host0/port-0:0"
    write(hba + "/host0/phy-0:0/sas_phy/phy-0:0/negotiated_linkrate", "12.0 Gbit")
    link(port + "/phy-0:0", hba + "/host0/phy-0:0")
    sas = port + "/end_device-0:0/target0:0:0/0:0:0:0"
    write(sas + "/vendor", "SEAGATE ")
    write(sas + "/model", "ST600MM0006     ")
    write(sas + "/rev", "B001")
    write(sas + "/type", "0")
    write(sas + "/inquiry", scsi_strings("SEAGATE", "ST600MM0006", "B001"))
    write(sas + "/vpd_pg0", vpd(0x00, bytes([0x00, 0x80, 0x83])))
    write(sas + "/vpd_pg80", vpd(0x80, b"S0M1ABCD"))
    write(sas + "/vpd_pg83", vpd(0x83, bytes.fromhex("0103000850000c5012345678")))
    disk(sas + "/block/sdc", "sdc", 1172123568)
    link(sas + "/block/sdc/device", sas)

    # Loop devices: one bound to a file, one free; an empty card reader.
    disk("/devices/virtual/block/loop0", "loop0", 204800, extra={"loop/backing_file": "/var/tmp/disk.img"})
    disk("/devices/virtual/block/loop1", "loop1", 0)
    reader = xhci + "/usb2/2-2/2-2:1.0/host5/target5:0:0/5:0:0:0"
    write(reader + "/type", "0")
    disk(reader + "/block/sdd", "sdd", 0, removable=1)
    # A USB stick on a kernel without the `descriptors` file: only the
    # interface in use is known.
    stick = xhci + "/usb1/1-4"
    for key, value in (("idVendor", "0781"), ("idProduct", "5567"), ("bcdDevice", "0127"), ("speed", "12"),
                       ("version", " 2.00"), ("bNumConfigurations", "1"), ("bDeviceClass", "00"),
                       ("bDeviceSubClass", "00"), ("bDeviceProtocol", "00")):
        write(stick + "/" + key, value)
    for key, value in (("bInterfaceNumber", "00"), ("bAlternateSetting", " 0"), ("bInterfaceClass", "08"),
                       ("bInterfaceSubClass", "06"), ("bInterfaceProtocol", "50")):
        write(stick + "/1-4:1.0/" + key, value)
    sscsi = stick + "/1-4:1.0/host6/target6:0:0/6:0:0:0"
    write(sscsi + "/vendor", "SanDisk ")
    write(sscsi + "/model", "Cruzer Blade    ")
    write(sscsi + "/type", "0")
    disk(sscsi + "/block/sde", "sde", 31266816, removable=1)
    link(sscsi + "/block/sde/device", sscsi)
    os.makedirs(ROOT + "/bus/pci/drivers", exist_ok=True)


if __name__ == "__main__":
    main()
