// The read-only audit. It fails when anything could write to a drive or send
// a device a command outside the reviewed set for its class:
// - the allow-list holds exactly the reviewed requests and commands, and gives
//   ATA PASS-THROUGH only by the per-class rule below;
// - the gate refuses everything else before the kernel sees it;
// - the report tool run over this machine under strace opens no device for
//   writing and sends no request, and no CDB, that the rule forbids.
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <linux/blkpg.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <linux/mmc/ioctl.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "TestSupport.h"
#include "platform/linux/Allowlist.h"
#include "platform/linux/Commands.h"
#include "platform/linux/Reader.h"

using namespace Services::Nodes::Linux;
using Allowlist::Channel;
using Allowlist::DeviceClass;
using TestSupport::hex;

namespace {

// The rule, stated apart from the program: which SCSI opcodes a device of
// peripheral type `type` may get. 0xA1 is ATA PASS-THROUGH (12) for a disk but
// BLANK for an optical drive; libata answers ATA PASS-THROUGH (16) itself for
// ATAPI drives, bridges and SAS adapters pass it on unchanged.
bool ruleAllows(int type, bool libata, quint8 opcode)
{
    const bool disk = type == 0x00 || type == 0x0E;
    switch (opcode) {
    case 0x12: // INQUIRY
        return true;
    case 0x85:
        return disk || (type == 0x05 && libata);
    case 0xA1:
        return disk;
    default:
        return false;
    }
}

// An ATA PASS-THROUGH (16) CDB: protocol, direction and the ATA command.
QByteArray ata16(int protocol, bool fromDevice, quint8 feature, quint8 command)
{
    QByteArray c(16, '\0');
    c[0] = char(0x85);
    c[1] = char(protocol << 1);
    c[2] = char(protocol == 3 ? 0x20 : (fromDevice ? 0x0E : 0x06));
    c[4] = char(feature);
    c[6] = 1;
    c[14] = char(command);
    return c;
}

// One request as the gate sees it.
struct Sent {
    DeviceClass deviceClass = DeviceClass::ScsiDisk;
    unsigned long request = 0;
    QByteArray cdb;
    int direction = SG_DXFER_NONE;
    nvme_passthru_cmd nvme{};
    mmc_ioc_cmd mmc{};
    quint64 scratch[4] = {0, 0, 0, 0};
    sg_io_hdr io{};
    QByteArray data = QByteArray(512, '\0');

    void *argument()
    {
        if (request == SG_IO) {
            io.interface_id = 'S';
            io.cmd_len = quint8(cdb.size());
            io.cmdp = reinterpret_cast<unsigned char *>(cdb.data());
            io.dxfer_direction = direction;
            io.dxfer_len = direction == SG_DXFER_NONE ? 0 : 512;
            io.dxferp = direction == SG_DXFER_NONE ? nullptr : data.data();
            return &io;
        }
        return request == NVME_IOCTL_ADMIN_CMD ? static_cast<void *>(&nvme)
               : request == MMC_IOC_CMD        ? static_cast<void *>(&mmc)
                                               : static_cast<void *>(scratch);
    }
};

Sent scsi(const QByteArray &c, int direction, DeviceClass k = DeviceClass::ScsiDisk)
{
    Sent s;
    s.deviceClass = k;
    s.request = SG_IO;
    s.cdb = c;
    s.direction = direction;
    return s;
}

Sent other(unsigned long request, DeviceClass k, quint32 opcode = 0, quint32 sub = 0, bool write = false)
{
    Sent s;
    s.deviceClass = k;
    s.request = request;
    s.nvme.opcode = quint8(opcode);
    s.nvme.cdw10 = sub;
    s.mmc.opcode = opcode;
    s.mmc.write_flag = write ? 1 : 0;
    return s;
}

// Decodes strace's quoted string ("\x85\x08A...") into bytes.
QByteArray unquote(const QString &quoted)
{
    QByteArray out;
    for (int i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != QLatin1Char('\\') || i + 1 >= quoted.size()) {
            out.append(char(quoted[i].toLatin1()));
        } else if (quoted[i + 1] == QLatin1Char('x')) {
            out.append(char(quoted.mid(i + 2, 2).toInt(nullptr, 16)));
            i += 3;
        } else {
            static const QString from = QStringLiteral("ntrvf0"), to = QStringLiteral("\n\t\r\v\f");
            const int at = int(from.indexOf(quoted[i + 1]));
            out.append(at < 0 ? char(quoted[i + 1].toLatin1()) : at == 5 ? '\0' : char(to[at].toLatin1()));
            ++i;
        }
    }
    return out;
}

// "openat(-100</x>, \"/dev/sda\", 0x80800) = 3</dev/sda>" and
// "ioctl(3</dev/sda>, 0x2285, {... cmdp=\"\\x12...\" ...}) = 0" as strace -y -X raw prints them.
QStringList traceViolations(const QString &trace, const QSet<unsigned long> &allowed, int *deviceCalls)
{
    static const QRegularExpression openLine(
        QStringLiteral("\\bopen(?:at)?\\((?:[^,]*,\\s*)?\"(/dev/[^\"]*)\",\\s*(0x[0-9a-f]+|\\d+)"));
    static const QRegularExpression ioctlLine(QStringLiteral("\\bioctl\\(\\d+<(/dev/[^>]*)>,\\s*(0x[0-9a-f]+|\\d+)"));
    static const QRegularExpression cdbField(QStringLiteral("cmdp=\"((?:[^\"\\\\]|\\\\.)*)\""));
    // Terminals answer the runtime's own questions (isatty, window size); they hold no drive.
    static const QRegularExpression terminal(QStringLiteral("^/dev/(pts/|tty|console$|null$|ptmx$)"));
    QStringList out;
    *deviceCalls = 0;
    for (const QString &line : trace.split(QLatin1Char('\n'))) {
        if (const auto m = openLine.match(line); m.hasMatch()) {
            bool ok = false;
            const uint flags = m.captured(2).toUInt(&ok, 0);
            ++*deviceCalls;
            if (!ok || (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC | O_APPEND)))
                out << line;
        } else if (const auto i = ioctlLine.match(line); i.hasMatch() && !terminal.match(i.captured(1)).hasMatch()) {
            bool ok = false;
            const unsigned long request = i.captured(2).toULong(&ok, 0);
            ++*deviceCalls;
            if (!ok || !allowed.contains(request)) {
                out << line;
            } else if (request == SG_IO) {
                const QByteArray command = unquote(cdbField.match(line).captured(1));
                // The device's peripheral type and transport as sysfs tells them;
                // a device without a type is no SCSI device.
                const QString block = QStringLiteral("/sys/class/block/") + i.captured(1).section('/', -1);
                QFile type(block + QStringLiteral("/device/type"));
                const bool libata = QFileInfo(block).canonicalFilePath().contains(QRegularExpression("/ata\\d+/"));
                if (command.isEmpty() || !type.open(QIODevice::ReadOnly) ||
                    !ruleAllows(type.readAll().trimmed().toInt(), libata, quint8(command[0])))
                    out << line;
            }
        }
    }
    return out;
}

// Records the flags of every open; answers like a missing device.
class OpenRecorder : public DeviceIo {
public:
    QList<int> flags;
    int open(const char *, int f) override
    {
        flags << f;
        errno = ENOENT;
        return -1;
    }
};

} // namespace

Q_DECLARE_METATYPE(Sent)

class TestReadOnly : public QObject {
    Q_OBJECT
private slots:
    // ATA PASS-THROUGH per class: every type, both transports, each command
    // the program builds at both lengths, against the rule stated above.
    void perClassRule()
    {
        using namespace Commands;
        for (int type = 0; type < 0x20; ++type) {
            for (bool libata : {false, true}) {
                const DeviceClass k = Allowlist::scsiClass(type, libata);
                for (AtaCommand c : {AtaCommand::CheckPowerMode, AtaCommand::SmartReadData}) {
                    for (int length : {16, 12}) {
                        const QByteArray built = ataPassThrough(c, length);
                        const bool allowed = Allowlist::permitsCdb(k, reinterpret_cast<const quint8 *>(built.data()),
                                                                   int(built.size()), ataCommandReadsData(c));
                        QVERIFY2(allowed == ruleAllows(type, libata, quint8(built[0])),
                                 qPrintable(
                                     QStringLiteral("type %1 libata %2 length %3").arg(type).arg(libata).arg(length)));
                    }
                }
                QVERIFY(Allowlist::allows(k, Channel::Scsi, 0x12));
            }
        }
    }

    // The list holds exactly what was reviewed (tests/expected/audit/allowlist.txt):
    // a new entry must come with a change to that file. Class bits: 1 SCSI disk,
    // 10 libata optical, 100 other SCSI, 1000 NVMe, 10000 MMC, 100000 plain.
    void allowListIsTheReviewedSet()
    {
        QString listed;
        int count = 0;
        const Allowlist::Request *requests = Allowlist::requests(&count);
        for (int i = 0; i < count; ++i)
            listed += QStringLiteral("%1 %2\n").arg(QLatin1String(requests[i].name)).arg(requests[i].classes, 0, 2);
        const Allowlist::Command *commands = Allowlist::commands(&count);
        for (int i = 0; i < count; ++i)
            listed += QStringLiteral("channel %1 %2/%3 %4 %5\n")
                          .arg(int(commands[i].channel))
                          .arg(commands[i].opcode, 0, 16)
                          .arg(commands[i].sub)
                          .arg(commands[i].classes, 0, 2)
                          .arg(QLatin1String(commands[i].name));
        COMPARE_GOLDEN("audit/allowlist.txt", listed);
    }

    // Through the gate: allowed requests reach the kernel (which answers
    // /dev/null with ENOTTY), all others stop at the gate with EPERM.
    void gate_data()
    {
        using namespace Commands;
        QTest::addColumn<Sent>("sent");
        QTest::addColumn<bool>("allowed");
        const int in = SG_DXFER_FROM_DEV, none = SG_DXFER_NONE, out = SG_DXFER_TO_DEV;
        const DeviceClass disk = DeviceClass::ScsiDisk, nvme = DeviceClass::Nvme, mmc = DeviceClass::Mmc;
        QTest::newRow("INQUIRY") << scsi(inquiryCdb(false, 0, 96), in) << true;
        QTest::newRow("IDENTIFY 12 to a disk") << scsi(ataPassThrough(AtaCommand::Identify, 12), in) << true;
        QTest::newRow("12 to a libata optical drive")
            << scsi(ataPassThrough(AtaCommand::IdentifyPacket, 12), in, DeviceClass::LibataOptical) << false;
        QTest::newRow("16 to a USB optical drive")
            << scsi(ataPassThrough(AtaCommand::CheckPowerMode, 16), none, DeviceClass::OtherScsi) << false;
        QTest::newRow("SG_IO to NVMe") << scsi(inquiryCdb(false, 0, 96), in, nvme) << false;
        QTest::newRow("NVMe Identify") << other(NVME_IOCTL_ADMIN_CMD, nvme, 0x06, 1) << true;
        QTest::newRow("NVMe Identify to a SCSI disk") << other(NVME_IOCTL_ADMIN_CMD, disk, 0x06, 1) << false;
        QTest::newRow("SEND_EXT_CSD") << other(MMC_IOC_CMD, mmc, 8) << true;
        QTest::newRow("BLKGETSIZE64 to a plain disk") << other(BLKGETSIZE64, DeviceClass::Plain) << true;
        for (unsigned long request : std::initializer_list<unsigned long>{
                 BLKRRPART, BLKPG, BLKDISCARD, BLKZEROOUT, BLKSECDISCARD, BLKFLSBUF, BLKROSET, HDIO_DRIVE_CMD,
                 HDIO_DRIVE_TASK, NVME_IOCTL_IO_CMD, NVME_IOCTL_RESET, MMC_IOC_MULTI_CMD, SG_SET_RESERVED_SIZE})
            QTest::addRow("request %lx", request) << other(request, disk) << false;
        QTest::newRow("WRITE(10)") << scsi(hex("2A 00 00 00 00 00 00 00 01 00"), out) << false;
        QTest::newRow("FORMAT UNIT") << scsi(hex("04 00 00 00 00 00"), none) << false;
        QTest::newRow("UNMAP") << scsi(hex("42 00 00 00 00 00 00 00 18 00"), out) << false;
        QTest::newRow("START STOP UNIT") << scsi(hex("1B 00 00 00 00 00"), none) << false;
        QTest::newRow("READ(10), not reviewed") << scsi(hex("28 00 00 00 00 00 00 00 01 00"), in) << false;
        QTest::newRow("INQUIRY sending data") << scsi(inquiryCdb(false, 0, 96), out) << false;
        QTest::newRow("ATA WRITE DMA") << scsi(ata16(6, false, 0, 0xCA), out) << false;
        QTest::newRow("ATA SECURITY ERASE UNIT") << scsi(ata16(5, false, 0, 0xF4), out) << false;
        QTest::newRow("ATA SET FEATURES") << scsi(ata16(3, false, 0x02, 0xEF), none) << false;
        QTest::newRow("ATA DOWNLOAD MICROCODE") << scsi(ata16(5, false, 0x07, 0x92), out) << false;
        QTest::newRow("SMART ENABLE OPERATIONS") << scsi(ata16(3, false, 0xD8, 0xB0), none) << false;
        QTest::newRow("SMART WRITE LOG") << scsi(ata16(5, false, 0xD6, 0xB0), out) << false;
        QTest::newRow("IDENTIFY as DMA") << scsi(ata16(6, true, 0, 0xEC), in) << false;
        QTest::newRow("IDENTIFY claiming no data") << scsi(ata16(4, false, 0, 0xEC), in) << false;
        QTest::newRow("NVMe Format NVM") << other(NVME_IOCTL_ADMIN_CMD, nvme, 0x80) << false;
        QTest::newRow("NVMe Sanitize") << other(NVME_IOCTL_ADMIN_CMD, nvme, 0x84) << false;
        QTest::newRow("NVMe Set Features") << other(NVME_IOCTL_ADMIN_CMD, nvme, 0x09) << false;
        QTest::newRow("NVMe Identify CNS 2") << other(NVME_IOCTL_ADMIN_CMD, nvme, 0x06, 2) << false;
        QTest::newRow("built NVMe health log")
            << other(NVME_IOCTL_ADMIN_CMD, nvme, 0x02, nvmeSmartLogCommand().cdw10) << true;
        for (quint32 log : {0x00, 0x01, 0x03}) // other log pages are not reviewed
            QTest::addRow("NVMe Get Log Page %u", log) << other(NVME_IOCTL_ADMIN_CMD, nvme, 0x02, log) << false;
        QTest::newRow("SEND_EXT_CSD flagged as write") << other(MMC_IOC_CMD, mmc, 8, 0, true) << false;
        QTest::newRow("MMC SWITCH") << other(MMC_IOC_CMD, mmc, 6) << false;
        QTest::newRow("MMC opcode 8 + 256") << other(MMC_IOC_CMD, mmc, 8 + 256) << false;
    }

    void gate()
    {
        QFETCH(Sent, sent);
        QFETCH(bool, allowed);
        void *argument = sent.argument();
        QString why;
        QCOMPARE(Allowlist::permits(sent.deviceClass, sent.request, argument, &why), allowed);
        QCOMPARE(why.isEmpty(), allowed);

        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const Reader reader(QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
        errno = 0;
        const int result = reader.ioctl(fd, sent.deviceClass, sent.request, argument);
        const int error = errno;
        ::close(fd);
        QCOMPARE(result, -1);
        QCOMPARE(error == EPERM, !allowed);
    }

    // The one device open asks for read-only access and stays below the root.
    void deviceOpenIsReadOnly()
    {
        auto io = std::make_shared<OpenRecorder>();
        const Reader reader(QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"), io);
        int error = 0;
        QCOMPARE(reader.openDevice({QStringLiteral("sda"), QStringLiteral("/block/sda"), true}, &error), -1);
        QCOMPARE(reader.openDevice({QStringLiteral("../sda"), QStringLiteral("/block/sda"), true}, &error), -1);
        QCOMPARE(error, EINVAL);
        QCOMPARE(io->flags.size(), 1);
        QCOMPARE(io->flags[0] & (O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND), O_RDONLY);
    }

    // The trace check on recorded lines, so its rules are known to bite.
    void traceRules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("bad");
        QTest::newRow("read-only device open") << "1 openat(-100</>, \"/dev/sda\", 0x80800) = 3</dev/sda>" << false;
        QTest::newRow("read-write device open") << "1 openat(-100</>, \"/dev/sda\", 0x80802) = 3</dev/sda>" << true;
        QTest::newRow("creating open under /dev") << "1 openat(-100</>, \"/dev/x\", 0x40) = 4</dev/x>" << true;
        QTest::newRow("read-write open elsewhere") << "1 openat(-100</>, \"/tmp/x\", 0x2) = 3</tmp/x>" << false;
        QTest::newRow("BLKRRPART") << QStringLiteral("1 ioctl(3</dev/sda>, %1, 0) = 0").arg(BLKRRPART) << true;
        QTest::newRow("terminal ioctl") << "1 ioctl(1</dev/pts/0>, 0x5401, 0x7ffd) = 0" << false;
        // SG_IO to a device that is no SCSI device here: no CDB is right for it.
        QTest::newRow("CDB to a non-SCSI device")
            << QStringLiteral("1 ioctl(3</dev/zz9>, %1, {interface_id='S', cmd_len=6, "
                              "cmdp=\"\\x12\\x00\\x00\\x00\\x60\\x00\"}) = 0")
                   .arg(SG_IO)
            << true;
    }

    void traceRules()
    {
        QFETCH(QString, line);
        QFETCH(bool, bad);
        int count = 0;
        QCOMPARE(traceViolations(line, {SG_IO}, &count).size(), bad ? 1 : 0);
    }

    void cdbDecoding() { QCOMPARE(unquote(QStringLiteral("\\x85\\x08A\\0")), QByteArray::fromHex("85084100")); }

    // The report tool over this machine, traced: no device opened for writing,
    // no request outside the list, no CDB the rule forbids.
    void tracedReport()
    {
        const QString report = QStringLiteral(BUILD_DIR "/report/drivescope-report");
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QSKIP("strace is not installed (scripts/setup.sh installs it)");
        if (!QFileInfo(report).isExecutable())
            QSKIP("the report tool was not built");
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("trace"));
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DRIVESCOPE_NODES", "DRIVESCOPE_SYSFS_ROOT", "DRIVESCOPE_DEV_ROOT"})
            env.remove(QLatin1String(name)); // the real machine, not a simulated one
        // LeakSanitizer stops threads with ptrace, which a traced process cannot do.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        run.setProcessEnvironment(env);
        run.start(strace, {"-f", "-y", "-X", "raw", "-qq", "-e", "trace=open,openat,ioctl", "-o", log, report, "--all",
                           "--json"});
        QVERIFY(run.waitForFinished(240000));
        const QByteArray err = run.readAllStandardError();
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly) || file.size() == 0 || err.contains("ptrace(PTRACE") ||
            err.contains("PTRACE_TRACEME"))
            QSKIP(qPrintable(QStringLiteral("strace cannot trace here: ") + QString::fromLocal8Bit(err.left(200))));
        const QString trace = QString::fromLocal8Bit(file.readAll());
        QVERIFY2(trace.contains(QLatin1String("openat(")), "the trace holds no calls");
        QSet<unsigned long> allowed;
        int count = 0;
        const Allowlist::Request *requests = Allowlist::requests(&count);
        for (int i = 0; i < count; ++i)
            allowed.insert(requests[i].request);
        int deviceCalls = 0;
        const QStringList bad = traceViolations(trace, allowed, &deviceCalls);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(QLatin1Char('\n'))));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        qInfo("report traced: %d device opens and requests, all read-only and allowed", deviceCalls);
    }
};

QTEST_GUILESS_MAIN(TestReadOnly)
#include "tst_readonly.moc"
