// drivescope-helper: the privileged half of "Full drive access". Started by
// the window through pkexec, it answers requests for the raw data of named
// drives on standard input and output (platform/linux/HelperProtocol.h) and
// ends when its input closes. It lists nothing by itself, sends only the
// allow-listed read-only commands, writes no file and logs nothing.
#include "platform/Log.h"
#include "platform/linux/HelperProtocol.h"

#include <cstdio>
#include <cstring>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Keeps only what the commands need: CAP_SYS_RAWIO for SCSI and ATA
// pass-through, CAP_SYS_ADMIN for the NVMe admin and MMC ioctls. Children
// (there are none) and exec would get nothing.
bool keepOnlyNeededCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    for (int cap : {CAP_SYS_RAWIO, CAP_SYS_ADMIN}) {
        data[cap / 32].effective |= 1u << (cap % 32);
        data[cap / 32].permitted |= 1u << (cap % 32);
    }
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        std::fprintf(stderr, "%s takes no arguments: the window starts it through pkexec.\n", argv[0]);
        return 2;
    }
    ::umask(077);
    if (::chdir("/") != 0)
        return 1;
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    // Running as root, it gives away nothing beyond the two capabilities.
    if (::geteuid() == 0 && !keepOnlyNeededCapabilities()) {
        std::fprintf(stderr, "drivescope-helper: capabilities could not be limited: %s\n", std::strerror(errno));
        return 1;
    }
    SysLogFilter::setLevel(int(LogLevel::Off));
    // The machine itself: no environment variable chooses other roots here.
    const Services::Nodes::Linux::Reader reader(QStringLiteral("/sys"), QStringLiteral("/dev"));
    return Services::Nodes::Linux::Helper::serve(reader, STDIN_FILENO, STDOUT_FILENO);
}
