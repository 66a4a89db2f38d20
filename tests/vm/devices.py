"""The guest's drives: how QEMU attaches them, what their images hold, and
what each is expected to be. Shared by the runner and the comparison."""

MiB = 1024 * 1024

# role: unique key; image: (size in MiB, sfdisk script or None, [(partition or 0, fs)]);
# qemu: -device arguments ({node} is the drive's block node); hot: hot-plugged by QMP.
DRIVES = [
    dict(role="sata-ssd", kind="ata", serial="DSSSD0001", model="DS SATA SSD 120", fw="SF1.0",
         wwn="5000c500a1b2c3d4", rpm=1,
         image=(40, "label: gpt\n,16M,L\n,,U\n", [(1, "ext4"), (2, "vfat")]),
         qemu=["ide-hd,bus=ahci.0,drive={node},model=DS SATA SSD 120,serial=DSSSD0001,ver=SF1.0,"
               "rotation_rate=1,wwn=0x5000c500a1b2c3d4"]),
    dict(role="sata-hdd", kind="ata", serial="DSHDD0002", model="DS SATA HDD 7200", fw="HF2.0", rpm=7200,
         image=(40, "label: dos\n,12M,83\n,,5\n,10M,b\n,,83\n", [(1, "ext4"), (5, "vfat"), (6, "ext4")]),
         qemu=["ide-hd,bus=ahci.1,drive={node},model=DS SATA HDD 7200,serial=DSHDD0002,ver=HF2.0,"
               "rotation_rate=7200"]),
    dict(role="pata", kind="ata", serial="DSPATA0003", model="DS PATA DISK 40", fw="PF3.0",
         image=(16, "label: dos\n,,c\n", [(1, "vfat")]),
         qemu=["ide-hd,bus=ide.0,unit=0,drive={node},model=DS PATA DISK 40,serial=DSPATA0003,ver=PF3.0"]),
    dict(role="atapi-cd", kind="atapi", serial="DSCD0004", model="DS ATAPI CDROM", fw="CF4.0",
         image=(4, None, [(0, "vfat")]), media="cdrom",
         qemu=["ide-cd,bus=ide.1,unit=0,drive={node},model=DS ATAPI CDROM,serial=DSCD0004,ver=CF4.0"]),
    dict(role="nvme-ns1", kind="nvme", serial="DSNVME0005", nsid=1, eui="0011223344556677",
         image=(24, "label: gpt\n,,L\n", [(1, "ext4")]),
         qemu=["nvme-ns,bus=nvme0,drive={node},nsid=1,eui64=0x0011223344556677"]),
    dict(role="nvme-ns2", kind="nvme", serial="DSNVME0005", nsid=2, eui="a0b1c2d3e4f50617",
         image=(16, None, [(0, "vfat")]),
         qemu=["nvme-ns,bus=nvme0,drive={node},nsid=2,eui64=0xa0b1c2d3e4f50617"]),
    # QEMU 7.2's NVMe bus takes no hot-plugged namespace: the namespace comes
    # and goes with a controller of its own, through ACPI PCI hot-plug.
    dict(role="nvme-hot", kind="nvme", serial="DSNVME0012", nsid=1, hot="nvme1",
         image=(16, "label: gpt\n,,L\n", [(1, "vfat")]),
         qemu=["nvme,id=nvme1,serial=DSNVME0012,drive={node}"]),
    dict(role="virtio-scsi", kind="scsi", serial="DSVSCSI0006", vendor="DSVENDOR", product="VSCSI DISK",
         fw="V6.0", image=(16, "label: gpt\n,,L\n", [(1, "vfat")]),
         qemu=["scsi-hd,bus=vscsi.0,drive={node},vendor=DSVENDOR,product=VSCSI DISK,ver=V6.0,serial=DSVSCSI0006,"
               "wwn=0x5001405a0b0c0d0e"]),
    dict(role="megaraid", kind="scsi", serial="DSMEGA0007", vendor="DSMEGA", product="RAID DISK", fw="M7.0",
         image=(16, "label: dos\n,,83\n", [(1, "ext4")]),
         qemu=["scsi-hd,bus=mega.0,drive={node},vendor=DSMEGA,product=RAID DISK,ver=M7.0,serial=DSMEGA0007"]),
    dict(role="lsi", kind="scsi", serial="DSLSI0008", vendor="DSLSI", product="SYM DISK", fw="L8.0",
         image=(16, None, []),
         qemu=["scsi-hd,bus=lsi.0,drive={node},vendor=DSLSI,product=SYM DISK,ver=L8.0,serial=DSLSI0008"]),
    dict(role="usb-stick", kind="usb", serial="DSSTICK0009", hot="stick",
         image=(16, "label: dos\n,,c\n", [(1, "vfat")]),
         qemu=["usb-storage,id=stick,bus=xhci.0,drive={node},serial=DSSTICK0009"]),
    dict(role="usb-uas", kind="usb", serial="DSUAS0010", vendor="DSUAS", product="UAS DISK", fw="U10",
         image=(16, "label: gpt\n,,L\n", [(1, "ext4")]),
         qemu=["usb-uas,id=uas,bus=xhci.0", "scsi-hd,bus=uas.0,scsi-id=0,lun=0,drive={node},vendor=DSUAS,"
               "product=UAS DISK,ver=U10,serial=DSUAS0010"]),
    dict(role="usb-optical", kind="usb-optical", serial="DSUCD0011", vendor="DSUCD", product="USB DVD", fw="D11",
         image=(4, None, [(0, "vfat")]), media="cdrom",
         qemu=["usb-bot,id=ubot,bus=xhci.0,serial=DSUCD0011",
               "scsi-cd,bus=ubot.0,scsi-id=0,lun=0,drive={node},vendor=DSUCD,product=USB DVD,ver=D11,serial=DSUCD0011"]),
    dict(role="sd", kind="sd", image=(32, "label: dos\n,,c\n", [(1, "vfat")]),
         qemu=["sd-card,drive={node}"]),
]

CONTROLLERS = ["ahci,id=ahci", "nvme,id=nvme0,serial=DSNVME0005", "virtio-scsi-pci,id=vscsi",
               "megasas,id=mega", "lsi53c895a,id=lsi", "qemu-xhci,id=xhci", "sdhci-pci,id=sdhci"]


def hot_device(name):
    for d in DRIVES:
        if d.get("hot") == name:
            return d
    raise KeyError(name)
