// The read-only audit. Three checks that fail when anything could write to a
// drive or send it a command outside the reviewed set:
// - the source tree: raw ioctl calls, opens and writes, device request names
//   and started programs appear only where a rule below allows them;
// - the allow-list holds exactly the reviewed requests and commands, and the
//   transport refuses everything else before the kernel sees it;
// - the report tool run over this machine under strace opens no device for
//   writing and sends no request outside the list.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QStandardPaths>
#include <QTemporaryDir>
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

#include "platform/linux/Allowlist.h"
#include "platform/linux/Commands.h"
#include "platform/linux/Reader.h"

using namespace Services::Nodes::Linux;

namespace {

// ---- the source scan ------------------------------------------------------------

// Folders whose programs write temporary files, disk images and trees as their
// job (tests, demo tools, fuzz and benchmark programs) and never run inside
// the program: the open, write and program-start rules do not apply there.
// The raw ioctl rule does; the request-name rule spares only tests/, which
// build refused requests to prove the refusal.
const char *const kHelperFolders[] = {"tests/", "tools/demo/", "fuzz/", "benchmarks/"};

struct Allowed {
    const char *file;
    const char *kind;    // the finding it allows
    const char *detail;  // the call's first argument, or "" for any
    const char *reason;
};

const Allowed kAllowed[] = {
    {"platform/linux/Reader.cpp", "raw ioctl", "",
     "Reader::ioctl is the one gate: it asks the allow-list before every request"},
    {"platform/linux/Reader.h", "raw ioctl", "", "declaration of that gate"},
    {"platform/linux/Reader.cpp", "raw open", "", "Reader::openDevice, the one device open, read-only"},
    {"platform/sim/SimBackend.cpp", "raw open", "", "the simulator's disk image file, read-only"},
    {"platform/Proc.cpp", "raw open", "", "texts of /proc, read-only"},
    {"platform/Log.cpp", "raw write", "STDOUT_FILENO", "the log printer writes standard output"},
    {"report/Report.cpp", "raw write", "STDERR_FILENO", "the report tool's log goes to standard error"},
    {"crash/CrashHandler.cpp", "raw write", "STDERR_FILENO", "the crash report goes to standard error"},
    {"platform/linux/Hotplug.cpp", "raw write", "m_wake", "the eventfd that wakes a waiting watcher"},
    {"platform/disks/FilesysNames.cpp", "raw write", "m_fd",
     "the memfd_create copy of a partition's first blocks that libblkid probes"},
    {"platform/disks/FilesysNames.cpp", "file size change", "file.fd()", "sizes that same memory file"},
    {"tools/crashdump/main.cpp", "write open", "", "writes the crash log file, NewOnly: never an existing file"},
    {"report/Snapshot.cpp", "write open", "",
     "the snapshot file and its images, the user's output; refused when the path is not a regular file"},
    {"app/MainWindowActions.cpp", "write open", "",
     "Save report: the file the user chose, through QSaveFile; refused when it is not a regular file"},
    {"report/Metrics.cpp", "write open", "",
     "the metrics file, the user's output: a new temporary file renamed over it; refused when the path is not a "
     "regular file"},
    {"report/Metrics.cpp", "raw write", "fd", "fills that new temporary file"},
    {"platform/Binary.cpp", "program start", "", "Binary::create, used only to start the crash dump helper"},
    {"platform/Binary.cpp", "helper start", "", "the definition of Binary::create"},
    {"crash/CrashHandler.cpp", "helper start", "\"drivescope-crashdump\"", "starts the crash dump helper"},
};

// Requests and commands that change a device (or its kernel view), by name;
// none may be named in the program.
const char *const kWriteRequests =
    "\\b(BLKRRPART|BLKPG|BLKDISCARD|BLKSECDISCARD|BLKZEROOUT|BLKFLSBUF|BLKROSET|BLKBSZSET|BLKRASET|BLKFRASET|"
    "BLKRESETZONE|BLKOPENZONE|BLKCLOSEZONE|BLKFINISHZONE|HDIO_DRIVE_CMD|HDIO_DRIVE_TASK|HDIO_DRIVE_TASKFILE|"
    "HDIO_DRIVE_RESET|HDIO_SET_\\w+|HDIO_SCAN_HWIF|HDIO_UNREGISTER_HWIF|SG_DXFER_TO_DEV|SG_DXFER_TO_FROM_DEV|"
    "SG_SCSI_RESET|SG_SET_\\w+|SCSI_IOCTL_SEND_COMMAND|NVME_IOCTL_IO_CMD|NVME_IOCTL_IO64_CMD|"
    "NVME_IOCTL_SUBMIT_IO|NVME_IOCTL_RESET|NVME_IOCTL_SUBSYS_RESET|NVME_IOCTL_RESCAN|NVME_IOCTL_ADMIN64_CMD|"
    "NVME_URING_CMD_\\w+|MMC_IOC_MULTI_CMD|LOOP_SET_\\w+|LOOP_CLR_FD|LOOP_CONFIGURE|LOOP_CTL_\\w+|"
    "_IO|_IOR|_IOW|_IOWR)\\b";

// Comments removed (strings kept), line breaks kept so line numbers hold.
QString stripComments(const QString &code)
{
    QString out;
    out.reserve(code.size());
    enum { Code, Line, Block, String, Char } state = Code;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        const QChar next = i + 1 < code.size() ? code.at(i + 1) : QChar();
        switch (state) {
        case Code:
            if (c == QLatin1Char('/') && next == QLatin1Char('/')) {
                state = Line;
                continue;
            }
            if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
                state = Block;
                ++i;
                continue;
            }
            if (c == QLatin1Char('"'))
                state = String;
            else if (c == QLatin1Char('\''))
                state = Char;
            out += c;
            break;
        case Line:
            if (c == QLatin1Char('\n')) {
                state = Code;
                out += c;
            }
            break;
        case Block:
            if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                state = Code;
                ++i;
            } else if (c == QLatin1Char('\n')) {
                out += c;
            }
            break;
        case String:
        case Char:
            out += c;
            if (c == QLatin1Char('\\') && i + 1 < code.size()) {
                out += next;
                ++i;
            } else if ((state == String && c == QLatin1Char('"')) || (state == Char && c == QLatin1Char('\''))) {
                state = Code;
            }
            break;
        }
    }
    return out;
}

// The same text with the contents of string and character literals blanked
// (same length), so names inside literals are not taken for code.
QString blankLiterals(const QString &code)
{
    QString out = code;
    QChar quote;
    for (int i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (quote.isNull()) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\''))
                quote = c;
        } else if (c == QLatin1Char('\\')) {
            out[i] = QLatin1Char(' ');
            if (i + 1 < out.size() && out.at(i + 1) != QLatin1Char('\n'))
                out[++i] = QLatin1Char(' ');
        } else if (c == quote) {
            quote = QChar();
        } else if (c != QLatin1Char('\n')) {
            out[i] = QLatin1Char(' ');
        }
    }
    return out;
}

// A call's argument text, from just after its '(' to the matching ')'.
QString arguments(const QString &code, int open)
{
    int depth = 0;
    for (int i = open; i < code.size(); ++i) {
        if (code.at(i) == QLatin1Char('('))
            ++depth;
        else if (code.at(i) == QLatin1Char(')') && --depth == 0)
            return code.mid(open + 1, i - open - 1);
    }
    return code.mid(open + 1);
}

// True when the name at `at` is a free function call: not a member (". ->")
// and not qualified by a class or namespace ("Nodes::open"); "::open" counts.
bool freeCall(const QString &code, int at)
{
    int i = at - 1;
    while (i >= 0 && code.at(i).isSpace())
        --i;
    if (i < 0)
        return true;
    if (code.at(i) == QLatin1Char('.') || (code.at(i) == QLatin1Char('>') && i > 0 && code.at(i - 1) == QLatin1Char('-')))
        return false;
    if (code.at(i) == QLatin1Char(':') && i > 0 && code.at(i - 1) == QLatin1Char(':')) {
        const int before = i - 2;
        return before < 0 || !(code.at(before).isLetterOrNumber() || code.at(before) == QLatin1Char('_'));
    }
    return true;
}

struct Finding {
    QString kind;
    QString detail;  // first argument of a call
    int line = 0;
    QString text;
};

int lineOf(const QString &code, int at)
{
    return int(QStringView(code).left(at).count(QLatin1Char('\n'))) + 1;
}

QString firstArgument(const QString &args)
{
    int depth = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QChar c = args.at(i);
        if (c == QLatin1Char('(') || c == QLatin1Char('['))
            ++depth;
        else if (c == QLatin1Char(')') || c == QLatin1Char(']'))
            --depth;
        else if (c == QLatin1Char(',') && depth == 0)
            return args.left(i).trimmed();
    }
    return args.trimmed();
}

// Everything in one file that could write or command a device.
QList<Finding> scanCode(const QString &source)
{
    // Matching runs on `bare`; arguments are read from `code` at the same places.
    const QString code = stripComments(source);
    const QString bare = blankLiterals(code);
    QList<Finding> found;
    auto add = [&](const QString &kind, const QString &detail, int at, const QString &text) {
        found.append({kind, detail, lineOf(code, at), text.simplified().left(120)});
    };
    static const QRegularExpression call(QStringLiteral(
        "\\b(ioctl|open|open64|openat|openat64|creat|write|pwrite|pwrite64|writev|pwritev|pwritev2|truncate|"
        "ftruncate|fopen|freopen|popen|system|fork|vfork|posix_spawnp?|exec[lv]p?e?|Binary::create)\\s*\\("));
    static const QRegularExpression writeFlag(QStringLiteral("\\bO_(RDWR|WRONLY|CREAT|TRUNC|APPEND)\\b"));
    static const QRegularExpression anyFlag(QStringLiteral("\\bO_[A-Z]+\\b"));
    static const QRegularExpression writeMode(QStringLiteral(
        "\\b(QIODevice|QFile|QFileDevice)::(WriteOnly|ReadWrite|Append|Truncate|NewOnly)\\b|\\bstd::(o|)fstream\\b|"
        "\\bQSaveFile\\b|\\bmkstemps?\\b|\\bmkostemps?\\b"));
    static const QRegularExpression writeRequest(QString::fromLatin1(kWriteRequests));
    static const QRegularExpression qprocess(QStringLiteral("\\bQProcess\\b"));

    for (auto it = call.globalMatch(bare); it.hasNext();) {
        const auto m = it.next();
        const QString name = m.captured(1);
        const int at = int(m.capturedStart(1));
        const int paren = int(m.capturedEnd(0)) - 1;
        // "std::system" and "::system" are the C library's; a class's own system() is not.
        const bool qualifiedSystem = name == QLatin1String("system") &&
                                     (bare.mid(at - 2, 2) == QLatin1String("::"));
        if (name != QLatin1String("Binary::create") && !qualifiedSystem && !freeCall(bare, at))
            continue;
        const QString bareArgs = arguments(bare, paren);
        const QString args = code.mid(paren + 1, bareArgs.size());
        const QString first = firstArgument(args);
        const QString text = code.mid(at, paren - at + 1) + args + QLatin1Char(')');
        if (name == QLatin1String("ioctl")) {
            add(QStringLiteral("raw ioctl"), first, at, text);
        } else if (name.startsWith(QLatin1String("open")) || name == QLatin1String("creat")) {
            // Only calls with O_ flags are the system's open; "open(path)" is some class's own.
            if (name == QLatin1String("creat") || writeFlag.match(bareArgs).hasMatch())
                add(QStringLiteral("write open"), first, at, text);
            else if (anyFlag.match(bareArgs).hasMatch())
                add(QStringLiteral("raw open"), first, at, text);
        } else if (name.contains(QLatin1String("write"))) {
            // A call has a plain first argument and a comma; "bool write(quint64 offset, ..." is a declaration.
            static const QRegularExpression plainFirst(QStringLiteral("^[A-Za-z_][\\w.>()-]*$|^\\d+$"));
            if (plainFirst.match(first).hasMatch() && args.contains(QLatin1Char(',')))
                add(QStringLiteral("raw write"), first, at, text);
        } else if (name.contains(QLatin1String("truncate"))) {
            if (args.contains(QLatin1Char(',')))
                add(QStringLiteral("file size change"), first, at, text);
        } else if (name == QLatin1String("fopen") || name == QLatin1String("freopen")) {
            static const QRegularExpression modeArg(QStringLiteral(",\\s*\"([^\"]*)\""));
            const auto mode = modeArg.match(args);
            if (!mode.hasMatch() || mode.captured(1).contains(QRegularExpression(QStringLiteral("[wa+]"))))
                add(QStringLiteral("write open"), first, at, text);
        } else if (name == QLatin1String("Binary::create")) {
            add(QStringLiteral("helper start"), first, at, text);
        } else if (name == QLatin1String("system")) {
            if (qualifiedSystem)
                add(QStringLiteral("program start"), first, at, text);
        } else {
            add(QStringLiteral("program start"), first, at, text);
        }
    }
    for (auto it = writeMode.globalMatch(bare); it.hasNext();) {
        const auto m = it.next();
        add(QStringLiteral("write open"), QString(), int(m.capturedStart()), m.captured());
    }
    for (auto it = qprocess.globalMatch(bare); it.hasNext();) {
        const auto m = it.next();
        add(QStringLiteral("program start"), QString(), int(m.capturedStart()), m.captured());
    }
    for (auto it = writeRequest.globalMatch(bare); it.hasNext();) {
        const auto m = it.next();
        add(QStringLiteral("device request"), QString(), int(m.capturedStart()), m.captured());
    }
    return found;
}

bool inHelperFolder(const QString &path)
{
    for (const char *folder : kHelperFolders)
        if (path.startsWith(QLatin1String(folder)))
            return true;
    return false;
}

// The findings of one file that no rule allows, as "path:line: kind: text".
QStringList violations(const QString &path, const QString &source)
{
    QStringList out;
    for (const Finding &f : scanCode(source)) {
        bool ok = false;
        if (inHelperFolder(path))
            ok = f.kind != QLatin1String("raw ioctl") &&
                 (f.kind != QLatin1String("device request") || path.startsWith(QLatin1String("tests/")));
        for (const Allowed &a : kAllowed) {
            if (path == QLatin1String(a.file) && f.kind == QLatin1String(a.kind) &&
                (!*a.detail || f.detail == QLatin1String(a.detail)))
                ok = true;
        }
        if (!ok)
            out << QStringLiteral("%1:%2: %3: %4").arg(path).arg(f.line).arg(f.kind, f.text);
    }
    return out;
}

// ---- the allow-list ---------------------------------------------------------------

using Allowlist::Channel;
using Allowlist::Payload;

QByteArray cdb(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (int b : bytes)
        out.append(char(b));
    return out;
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

struct Sent {
    unsigned long request = 0;
    QByteArray cdb;  // SG_IO
    int direction = SG_DXFER_NONE;
    nvme_passthru_cmd nvme {};
    mmc_ioc_cmd mmc {};
    quint64 scratch[4] = {0, 0, 0, 0};

    void *argument(sg_io_hdr &io, QByteArray &data)
    {
        if (request == SG_IO) {
            io = sg_io_hdr {};
            io.interface_id = 'S';
            io.cmd_len = quint8(cdb.size());
            io.cmdp = reinterpret_cast<unsigned char *>(cdb.data());
            io.dxfer_direction = direction;
            if (direction != SG_DXFER_NONE) {
                data = QByteArray(512, '\0');
                io.dxfer_len = 512;
                io.dxferp = data.data();
            }
            return &io;
        }
        if (request == NVME_IOCTL_ADMIN_CMD)
            return &nvme;
        if (request == MMC_IOC_CMD)
            return &mmc;
        return scratch;
    }
};

Sent scsi(const QByteArray &c, int direction)
{
    Sent s;
    s.request = SG_IO;
    s.cdb = c;
    s.direction = direction;
    return s;
}

Sent nvmeAdmin(quint8 opcode, quint32 cdw10)
{
    Sent s;
    s.request = NVME_IOCTL_ADMIN_CMD;
    s.nvme.opcode = opcode;
    s.nvme.cdw10 = cdw10;
    return s;
}

Sent mmcCommand(quint32 opcode, bool write)
{
    Sent s;
    s.request = MMC_IOC_CMD;
    s.mmc.opcode = opcode;
    s.mmc.write_flag = write ? 1 : 0;
    return s;
}

Sent plain(unsigned long request)
{
    Sent s;
    s.request = request;
    return s;
}

// ---- the traced run -----------------------------------------------------------------

// "openat(-100</x>, \"/dev/sda\", 0x80800) = 3</dev/sda>" and
// "ioctl(3</dev/sda>, 0x2285, 0x7ffd...) = 0" as strace -y -X raw prints them.
QStringList traceViolations(const QString &trace, QSet<unsigned long> allowed, int *deviceCalls)
{
    static const QRegularExpression openLine(
        QStringLiteral("\\bopen(?:at)?\\((?:[^,]*,\\s*)?\"(/dev/[^\"]*)\",\\s*(0x[0-9a-f]+|\\d+)"));
    static const QRegularExpression ioctlLine(QStringLiteral("\\bioctl\\(\\d+<(/dev/[^>]*)>,\\s*(0x[0-9a-f]+|\\d+)"));
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
            if (!ok || !allowed.contains(request))
                out << line;
        }
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Sent)

class TestReadOnly : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The scanner itself: what it must catch and what it must let pass, so
    // that a clean tree means something.
    void scanner_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("kinds");
        const QString app = QStringLiteral("platform/linux/Other.cpp");
        const QStringList none;
        QTest::newRow("raw ioctl") << app << "int r = ::ioctl(fd, BLKGETSIZE64, &size);" << QStringList{"raw ioctl"};
        QTest::newRow("bare ioctl") << app << "ioctl(fd, req, arg);" << QStringList{"raw ioctl"};
        QTest::newRow("ioctl through the reader") << app << "m_reader.ioctl(m_fd, SG_IO, &io);" << none;
        QTest::newRow("ioctl in a test") << "tests/x/tst_x.cpp" << "::ioctl(fd, SG_IO, &io);" << QStringList{"raw ioctl"};
        QTest::newRow("read-write open") << app << "int fd = ::open(path, O_RDWR | O_CLOEXEC);" << QStringList{"write open"};
        QTest::newRow("creating open") << app << "int fd = openat(dir, name, O_WRONLY|O_CREAT, 0644);" << QStringList{"write open"};
        QTest::newRow("read-only open elsewhere") << app << "int fd = open(path, O_RDONLY);" << QStringList{"raw open"};
        QTest::newRow("node open is no system call") << app << "auto n = Client::Nodes::open(path); file.open(QIODevice::ReadOnly);" << none;
        QTest::newRow("QFile for writing") << app << "f.open(QIODevice::WriteOnly | QIODevice::Truncate);" << QStringList{"write open", "write open"};
        QTest::newRow("QFile read-write") << app << "f.open(QFile::ReadWrite);" << QStringList{"write open"};
        QTest::newRow("fopen for appending") << app << "FILE *f = fopen(name, \"a+\");" << QStringList{"write open"};
        QTest::newRow("fopen for reading") << app << "FILE *f = fopen(name, \"rb\");" << none;
        QTest::newRow("stream") << app << "std::ofstream out(name);" << QStringList{"write open"};
        QTest::newRow("write to a descriptor") << app << "::write(fd, buffer, 512);" << QStringList{"raw write"};
        QTest::newRow("pwrite") << app << "pwrite(fd, buffer, 512, 0);" << QStringList{"raw write"};
        QTest::newRow("a write method") << app << "void write(const char *data, size_t length) override;" << none;
        QTest::newRow("member write") << app << "file.write(data); SysLog::write(0, 1, text);" << none;
        QTest::newRow("request name") << app << "unsigned long r = BLKRRPART;" << QStringList{"device request"};
        QTest::newRow("hand-made request") << app << "#define MY_REQ _IOW('x', 1, int)" << QStringList{"device request"};
        QTest::newRow("request name in a comment") << app << "// never BLKRRPART here\n/* nor O_RDWR */" << none;
        QTest::newRow("request name in a test") << "tests/x/tst_x.cpp" << "io.dxfer_direction = SG_DXFER_TO_DEV;" << none;
        QTest::newRow("request name in a fuzz program") << "fuzz/fuzz_x.cpp" << "x = BLKDISCARD;" << QStringList{"device request"};
        QTest::newRow("started program") << app << "QProcess p; p.start(\"dd\");" << QStringList{"program start"};
        QTest::newRow("std::system") << app << "std::system(\"sync\");" << QStringList{"program start"};
        QTest::newRow("method named system") << app << "system(value, src);" << none;
        QTest::newRow("helper other than crashdump") << "crash/CrashHandler.cpp" << "Binary::create(\"sfdisk\", a, 2);" << QStringList{"helper start"};
        QTest::newRow("crash dump helper") << "crash/CrashHandler.cpp" << "Binary::create(\"crashdump\", a, 2);" << none;
        QTest::newRow("log printer") << "platform/Log.cpp" << "ssize_t n = ::write(STDOUT_FILENO, data, length);" << none;
        QTest::newRow("log printer to another fd") << "platform/Log.cpp" << "::write(fd, data, length);" << QStringList{"raw write"};
        QTest::newRow("gate opens read-write") << "platform/linux/Reader.cpp" << "::open(p, O_RDWR | O_NONBLOCK);" << QStringList{"write open"};
        QTest::newRow("test writes a temp file") << "tests/x/tst_x.cpp" << "f.open(QIODevice::WriteOnly);" << none;
    }

    void scanner()
    {
        QFETCH(QString, path);
        QFETCH(QString, code);
        QFETCH(QStringList, kinds);
        QStringList found;
        for (const QString &v : violations(path, code))
            found << v.section(QLatin1String(": "), 1, 1);
        QCOMPARE(found, kinds);
    }

    // Every C++ file of the program, its tools, tests, fuzz and benchmark programs.
    void sourceTree()
    {
        const QDir root(QStringLiteral(SOURCE_DIR));
        QStringList bad;
        int files = 0;
        for (const char *folder : {"platform", "model", "report", "app", "crash", "tools", "tests", "fuzz", "benchmarks"}) {
            QDirIterator it(root.filePath(QLatin1String(folder)), {"*.cpp", "*.h", "*.c", "*.cc", "*.hpp"},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString file = it.next();
                QFile f(file);
                QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file));
                bad << violations(root.relativeFilePath(file), QString::fromUtf8(f.readAll()));
                ++files;
            }
        }
        QVERIFY2(files > 50, "the source tree was not found");
        QVERIFY2(bad.isEmpty(), qPrintable(QStringLiteral("\n") + bad.join(QLatin1Char('\n'))));
    }

    // The one device open hands out a descriptor that cannot write, and stays
    // below the device root.
    void deviceOpenIsReadOnly()
    {
        QTemporaryDir dev;
        QVERIFY(dev.isValid());
        QFile node(dev.filePath(QStringLiteral("sdz")));
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.write("data");
        node.close();
        const Reader reader(QStringLiteral("/nonexistent"), dev.path());
        int error = -1;
        const int fd = reader.openDevice(QStringLiteral("sdz"), &error);
        QVERIFY2(fd >= 0, strerror(error));
        QCOMPARE(fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
        QCOMPARE(::write(fd, "x", 1), ssize_t(-1));
        QCOMPARE(errno, EBADF);
        ::close(fd);
        QCOMPARE(reader.openDevice(QStringLiteral("../sdz"), &error), -1);
        QCOMPARE(error, EINVAL);
    }

    // The list holds exactly what was reviewed: a new entry must come with a
    // change to this test.
    void allowListIsTheReviewedSet()
    {
        const auto request = [](unsigned long r, Payload p) {
            return QStringLiteral("%1 payload %2").arg(r, 0, 16).arg(int(p));
        };
        const auto command = [](Channel c, int opcode, int sub) {
            return QStringLiteral("channel %1 opcode %2 sub %3").arg(int(c)).arg(opcode, 0, 16).arg(sub);
        };
        QStringList reviewedRequests = {
            request(SG_IO, Payload::ScsiCommand),                     // INQUIRY and ATA PASS-THROUGH
            request(SG_GET_VERSION_NUM, Payload::Nothing),            // is this an sg-capable node
            request(NVME_IOCTL_ID, Payload::Nothing),                 // the namespace id of an NVMe node
            request(NVME_IOCTL_ADMIN_CMD, Payload::NvmeAdminCommand), // Identify
            request(MMC_IOC_CMD, Payload::MmcCommand),                // SEND_EXT_CSD
            request(BLKGETSIZE64, Payload::Nothing),                  // size
            request(BLKSSZGET, Payload::Nothing),                     // logical block size
        };
        QStringList reviewedCommands = {
            command(Channel::Scsi, 0x12, -1),   // INQUIRY (+VPD)
            command(Channel::Scsi, 0x85, -1),   // ATA PASS-THROUGH (16)
            command(Channel::Scsi, 0xA1, -1),   // ATA PASS-THROUGH (12)
            command(Channel::Ata, 0xEC, -1),    // IDENTIFY DEVICE
            command(Channel::Ata, 0xA1, -1),    // IDENTIFY PACKET DEVICE (the IDENTIFY of ATAPI devices)
            command(Channel::Ata, 0xE5, -1),    // CHECK POWER MODE
            command(Channel::Ata, 0xB0, 0xD0),  // SMART READ DATA
            command(Channel::Ata, 0xB0, 0xD1),  // SMART READ THRESHOLDS
            command(Channel::Ata, 0xB0, 0xDA),  // SMART RETURN STATUS
            command(Channel::Nvme, 0x06, 0x00), // Identify Namespace
            command(Channel::Nvme, 0x06, 0x01), // Identify Controller
            command(Channel::Nvme, 0x02, 0x02), // Get Log Page, SMART / Health Information
            command(Channel::Mmc, 8, -1),       // SEND_EXT_CSD
        };
        int count = 0;
        const Allowlist::Request *requests = Allowlist::requests(&count);
        QStringList listedRequests;
        for (int i = 0; i < count; ++i)
            listedRequests << request(requests[i].request, requests[i].payload);
        const Allowlist::Command *commands = Allowlist::commands(&count);
        QStringList listedCommands;
        for (int i = 0; i < count; ++i)
            listedCommands << command(commands[i].channel, commands[i].opcode, commands[i].sub);
        for (QStringList *l : {&reviewedRequests, &reviewedCommands, &listedRequests, &listedCommands})
            l->sort();
        QCOMPARE(listedRequests, reviewedRequests);
        QCOMPARE(listedCommands, reviewedCommands);
    }

    // Through the transport's gate: allowed requests reach the kernel (which
    // answers /dev/null with ENOTTY), all others stop at the gate with EPERM.
    void gate_data()
    {
        using namespace Commands;
        QTest::addColumn<Sent>("sent");
        QTest::addColumn<bool>("allowed");
        const int in = SG_DXFER_FROM_DEV, none = SG_DXFER_NONE, out = SG_DXFER_TO_DEV;
        // What the program builds.
        for (AtaCommand c : {AtaCommand::Identify, AtaCommand::IdentifyPacket, AtaCommand::SmartReadData,
                             AtaCommand::SmartReadThresholds, AtaCommand::SmartReturnStatus, AtaCommand::CheckPowerMode}) {
            for (int length : {16, 12})
                QTest::addRow("built ATA %d/%d", int(c), length)
                    << scsi(ataPassThrough(c, length), ataCommandReadsData(c) ? in : none) << true;
        }
        QTest::newRow("built INQUIRY") << scsi(inquiryCdb(false, 0, 96), in) << true;
        QTest::newRow("built INQUIRY VPD 89") << scsi(inquiryCdb(true, 0x89, 572), in) << true;
        QTest::newRow("NVMe Identify controller") << nvmeAdmin(0x06, 1) << true;
        QTest::newRow("NVMe Identify namespace") << nvmeAdmin(0x06, 0) << true;
        QTest::newRow("built NVMe health log") << nvmeAdmin(0x02, nvmeSmartLogCommand().cdw10) << true;
        QTest::newRow("SEND_EXT_CSD") << mmcCommand(8, false) << true;
        QTest::newRow("BLKGETSIZE64") << plain(BLKGETSIZE64) << true;
        // Block layer requests that change the device or the kernel's view of it.
        QTest::newRow("BLKRRPART") << plain(BLKRRPART) << false;
        QTest::newRow("BLKPG") << plain(BLKPG) << false;
        QTest::newRow("BLKDISCARD") << plain(BLKDISCARD) << false;
        QTest::newRow("BLKZEROOUT") << plain(BLKZEROOUT) << false;
        QTest::newRow("BLKSECDISCARD") << plain(BLKSECDISCARD) << false;
        QTest::newRow("BLKFLSBUF") << plain(BLKFLSBUF) << false;
        QTest::newRow("BLKROSET") << plain(BLKROSET) << false;
        QTest::newRow("HDIO_DRIVE_CMD") << plain(HDIO_DRIVE_CMD) << false;
        QTest::newRow("HDIO_DRIVE_TASK") << plain(HDIO_DRIVE_TASK) << false;
        QTest::newRow("NVMe I/O command") << plain(NVME_IOCTL_IO_CMD) << false;
        QTest::newRow("NVMe reset") << plain(NVME_IOCTL_RESET) << false;
        QTest::newRow("MMC multi command") << plain(MMC_IOC_MULTI_CMD) << false;
        QTest::newRow("SG reserved size") << plain(SG_SET_RESERVED_SIZE) << false;
        // SCSI commands that write, or are simply not reviewed.
        QTest::newRow("WRITE(10)") << scsi(cdb({0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}), out) << false;
        QTest::newRow("WRITE(16)") << scsi(cdb({0x8A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}), out) << false;
        QTest::newRow("FORMAT UNIT") << scsi(cdb({0x04, 0, 0, 0, 0, 0}), none) << false;
        QTest::newRow("UNMAP") << scsi(cdb({0x42, 0, 0, 0, 0, 0, 0, 0, 24, 0}), out) << false;
        QTest::newRow("WRITE SAME(16)") << scsi(cdb({0x93, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}), out) << false;
        QTest::newRow("MODE SELECT(10)") << scsi(cdb({0x55, 0x10, 0, 0, 0, 0, 0, 0, 24, 0}), out) << false;
        QTest::newRow("START STOP UNIT") << scsi(cdb({0x1B, 0, 0, 0, 0, 0}), none) << false;
        QTest::newRow("SYNCHRONIZE CACHE") << scsi(cdb({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}), none) << false;
        QTest::newRow("SECURITY PROTOCOL OUT") << scsi(cdb({0xB5, 0xEF, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}), out) << false;
        QTest::newRow("READ(10), not reviewed") << scsi(cdb({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}), in) << false;
        QTest::newRow("INQUIRY sending data") << scsi(inquiryCdb(false, 0, 96), out) << false;
        // ATA commands inside ATA PASS-THROUGH.
        QTest::newRow("ATA WRITE DMA") << scsi(ata16(6, false, 0, 0xCA), out) << false;
        QTest::newRow("ATA SECURITY ERASE UNIT") << scsi(ata16(5, false, 0, 0xF4), out) << false;
        QTest::newRow("ATA SECURITY FREEZE LOCK") << scsi(ata16(3, false, 0, 0xF5), none) << false;
        QTest::newRow("ATA SET FEATURES") << scsi(ata16(3, false, 0x02, 0xEF), none) << false;
        QTest::newRow("ATA DOWNLOAD MICROCODE") << scsi(ata16(5, false, 0x07, 0x92), out) << false;
        QTest::newRow("ATA DATA SET MANAGEMENT") << scsi(ata16(6, false, 1, 0x06), out) << false;
        QTest::newRow("ATA STANDBY IMMEDIATE") << scsi(ata16(3, false, 0, 0xE0), none) << false;
        QTest::newRow("SMART ENABLE OPERATIONS") << scsi(ata16(3, false, 0xD8, 0xB0), none) << false;
        QTest::newRow("SMART EXECUTE OFF-LINE") << scsi(ata16(3, false, 0xD4, 0xB0), none) << false;
        QTest::newRow("SMART WRITE LOG") << scsi(ata16(5, false, 0xD6, 0xB0), out) << false;
        QTest::newRow("SMART READ LOG, not reviewed") << scsi(ata16(4, true, 0xD5, 0xB0), in) << false;
        QTest::newRow("IDENTIFY as PIO data-out") << scsi(ata16(5, false, 0, 0xEC), out) << false;
        QTest::newRow("IDENTIFY as DMA") << scsi(ata16(6, true, 0, 0xEC), in) << false;
        QTest::newRow("IDENTIFY claiming no data") << scsi(ata16(4, false, 0, 0xEC), in) << false;
        // NVMe admin commands.
        QTest::newRow("NVMe Format NVM") << nvmeAdmin(0x80, 0) << false;
        QTest::newRow("NVMe Sanitize") << nvmeAdmin(0x84, 0) << false;
        QTest::newRow("NVMe Firmware Commit") << nvmeAdmin(0x10, 0) << false;
        QTest::newRow("NVMe Firmware Download") << nvmeAdmin(0x11, 0) << false;
        QTest::newRow("NVMe Set Features") << nvmeAdmin(0x09, 0) << false;
        QTest::newRow("NVMe Namespace Management") << nvmeAdmin(0x0D, 0) << false;
        QTest::newRow("NVMe Get Log Page, not reviewed") << nvmeAdmin(0x02, 0) << false;
        QTest::newRow("NVMe error log, not reviewed") << nvmeAdmin(0x02, 0x01) << false;
        QTest::newRow("NVMe firmware slot log, not reviewed") << nvmeAdmin(0x02, 0x03) << false;
        QTest::newRow("NVMe Identify CNS 2, not reviewed") << nvmeAdmin(0x06, 2) << false;
        // MMC commands.
        QTest::newRow("SEND_EXT_CSD flagged as write") << mmcCommand(8, true) << false;
        QTest::newRow("MMC SWITCH") << mmcCommand(6, false) << false;
        QTest::newRow("MMC WRITE_BLOCK") << mmcCommand(24, true) << false;
        QTest::newRow("MMC ERASE") << mmcCommand(38, false) << false;
        QTest::newRow("MMC opcode 8 + 256") << mmcCommand(8 + 256, false) << false;
    }

    void gate()
    {
        QFETCH(Sent, sent);
        QFETCH(bool, allowed);
        sg_io_hdr io {};
        QByteArray data;
        void *argument = sent.argument(io, data);
        QString why;
        QCOMPARE(Allowlist::permits(sent.request, argument, &why), allowed);
        QCOMPARE(why.isEmpty(), allowed);

        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const Reader reader(QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
        errno = 0;
        const int result = reader.ioctl(fd, sent.request, argument);
        const int error = errno;
        ::close(fd);
        QCOMPARE(result, -1);
        if (allowed)
            QVERIFY2(error != EPERM, "an allowed request was stopped");
        else
            QCOMPARE(error, EPERM);
    }

    // The trace check on recorded lines, so its rules are known to bite.
    void traceRules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("bad");
        QTest::newRow("read-only device open") << "1 openat(-100</>, \"/dev/sda\", 0x80800) = 3</dev/sda>" << false;
        QTest::newRow("read-write device open") << "1 openat(-100</>, \"/dev/sda\", 0x80802) = 3</dev/sda>" << true;
        QTest::newRow("write-only device open") << "1 open(\"/dev/sdb\", 0x1) = -1 EACCES" << true;
        QTest::newRow("creating open under /dev") << "1 openat(-100</>, \"/dev/x\", 0x40) = 4</dev/x>" << true;
        QTest::newRow("read-write open elsewhere") << "1 openat(-100</>, \"/tmp/x\", 0x2) = 3</tmp/x>" << false;
        QTest::newRow("listed ioctl") << QStringLiteral("1 ioctl(3</dev/sda>, %1, 0x7ffd) = 0").arg(SG_IO) << false;
        QTest::newRow("BLKRRPART") << QStringLiteral("1 ioctl(3</dev/sda>, %1, 0) = 0").arg(BLKRRPART) << true;
        QTest::newRow("terminal ioctl") << "1 ioctl(1</dev/pts/0>, 0x5401, 0x7ffd) = 0" << false;
        QTest::newRow("pipe ioctl") << "1 ioctl(1<pipe:[123]>, 0x5401, 0x7ffd) = -1 ENOTTY" << false;
    }

    void traceRules()
    {
        QFETCH(QString, line);
        QFETCH(bool, bad);
        int count = 0;
        QCOMPARE(traceViolations(line, {SG_IO}, &count).size(), bad ? 1 : 0);
    }

    // The report tool over this machine, traced: no device opened for
    // writing, no request outside the list.
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
        env.remove(QStringLiteral("DRIVESCOPE_NODES"));  // the real machine, not a simulated one
        env.remove(QStringLiteral("DRIVESCOPE_SYSFS_ROOT"));
        env.remove(QStringLiteral("DRIVESCOPE_DEV_ROOT"));
        // LeakSanitizer stops threads with ptrace, which a traced process cannot do.
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        run.setProcessEnvironment(env);
        run.start(strace, {"-f", "-y", "-X", "raw", "-qq", "-e", "trace=open,openat,ioctl", "-o", log, report,
                           "--all", "--json"});
        QVERIFY(run.waitForFinished(240000));
        const QByteArray err = run.readAllStandardError();
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly) || file.size() == 0 ||
            err.contains("PTRACE_TRACEME") || err.contains("ptrace(PTRACE"))
            QSKIP(qPrintable(QStringLiteral("strace cannot trace here: ") + QString::fromLocal8Bit(err.left(200))));
        const QString trace = QString::fromLocal8Bit(file.readAll());
        QVERIFY2(trace.contains(QLatin1String("drivescope-report")) || trace.contains(QLatin1String("openat(")),
                 "the trace holds no calls");
        QSet<unsigned long> allowed;
        int count = 0;
        const Allowlist::Request *requests = Allowlist::requests(&count);
        for (int i = 0; i < count; ++i)
            allowed.insert(requests[i].request);
        int deviceCalls = 0;
        const QStringList bad = traceViolations(trace, allowed, &deviceCalls);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(QLatin1Char('\n'))));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        qInfo("report traced: %d device opens and requests, all read-only and listed", deviceCalls);
    }
};

QTEST_GUILESS_MAIN(TestReadOnly)
#include "tst_readonly.moc"
