#include "platform/Binary.h"

#include "platform/Error.h"
#include "platform/Sys.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <link.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {
// The loader names the program itself "", so its path comes from /proc once.
char programPath[PATH_MAX];
std::atomic<int> programPathState{0}; // 0 not read, 1 being read, 2 ready

const char *programName()
{
    int state = programPathState.load(std::memory_order_acquire);
    if (state == 0 && programPathState.compare_exchange_strong(state, 1)) {
        const ssize_t length = readlink("/proc/self/exe", programPath, sizeof programPath - 1);
        programPath[length > 0 ? length : 0] = '\0';
        programPathState.store(2, std::memory_order_release);
        state = 2;
    }
    if (state == 2 && programPath[0])
        return programPath;
    return program_invocation_name;
}

Binary::ModuleInfo moduleOf(const dl_phdr_info &info, bool first)
{
    quint64 low = ~quint64(0);
    quint64 high = 0;
    for (int i = 0; i < info.dlpi_phnum; ++i) {
        const ElfW(Phdr) &segment = info.dlpi_phdr[i];
        if (segment.p_type != PT_LOAD)
            continue;
        low = qMin<quint64>(low, segment.p_vaddr);
        high = qMax<quint64>(high, segment.p_vaddr + segment.p_memsz);
    }
    Binary::ModuleInfo module;
    if (high > low) {
        module.base = info.dlpi_addr + low;
        module.size = high - low;
    }
    if (info.dlpi_name && info.dlpi_name[0])
        module.name = info.dlpi_name;
    else if (first)
        module.name = programName();
    return module;
}

struct Walk {
    Binary::ModuleVisitor visit;
    void *user;
    size_t count;
    bool stopped;
};

int walkOne(dl_phdr_info *info, size_t, void *data)
{
    auto &walk = *static_cast<Walk *>(data);
    const Binary::ModuleInfo module = moduleOf(*info, walk.count == 0);
    ++walk.count;
    if (!walk.visit(module, walk.user)) {
        walk.stopped = true;
        return 1;
    }
    return 0;
}

struct Lookup {
    quint64 base;
    quint64 size;
};

int findByBase(dl_phdr_info *info, size_t, void *data)
{
    auto &lookup = *static_cast<Lookup *>(data);
    const Binary::ModuleInfo module = moduleOf(*info, false);
    if (module.base != lookup.base)
        return 0;
    lookup.size = module.size;
    return 1;
}
} // namespace

size_t Binary::moduleList(ModuleVisitor visit, void *user)
{
    Walk walk{visit, user, 0, false};
    dl_iterate_phdr(walkOne, &walk);
    return walk.count;
}

qint64 Binary::create(const char *name, const char *const *arguments, int count)
{
    const char *argv[16];
    if (!name || count < 0 || count > int(std::size(argv)) - 2) {
        Error::set(Error::BadArguments);
        return -1;
    }
    argv[0] = name;
    for (int i = 0; i < count; ++i)
        argv[i + 1] = arguments[i];
    argv[count + 1] = nullptr;

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // A program installed beside this one comes first: it is the one that
    // belongs to this build, and its folder need not be in PATH.
    char beside[PATH_MAX];
    const char *program = programName();
    const char *slash = strrchr(program, '/');
    const size_t folderLength = slash ? size_t(slash - program) + 1 : 0;
    const size_t nameLength = strlen(name);
    pid_t child = -1;
    int result = ENOENT;
    // Then the helper folder of an installed program (bin/../libexec/drivescope/).
    static const char helpers[] = "../libexec/drivescope/";
    for (const char *sub : {"", helpers}) {
        const size_t subLength = strlen(sub);
        if (result == 0 || !folderLength || strchr(name, '/') || folderLength + subLength + nameLength >= sizeof beside)
            continue;
        memcpy(beside, program, folderLength);
        memcpy(beside + folderLength, sub, subLength);
        memcpy(beside + folderLength + subLength, name, nameLength + 1);
        if (access(beside, X_OK) == 0)
            result = posix_spawn(&child, beside, nullptr, &attributes, const_cast<char *const *>(argv), environ);
    }
    if (result != 0)
        result = posix_spawnp(&child, name, nullptr, &attributes, const_cast<char *const *>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        Error::set(Error::NotFound);
        return -1;
    }
    return child;
}

bool Binary::waitFor(qint64 process, int timeoutMs)
{
    const timespec step = {0, 10 * 1000 * 1000};
    for (int waited = 0;; waited += 10) {
        int status = 0;
        const pid_t done = waitpid(pid_t(process), &status, WNOHANG);
        if (done == pid_t(process) || (done < 0 && errno != EINTR))
            return true;
        if (waited >= timeoutMs)
            return false;
        nanosleep(&step, nullptr);
    }
}

quint64 Sys::info(quint32 what, const void *address, void *result)
{
    if (what != InfoAddressModule || !result)
        return 0;
    Dl_info found = {};
    if (!dladdr(address, &found) || !found.dli_fbase)
        return 0;
    Lookup lookup{quint64(reinterpret_cast<quintptr>(found.dli_fbase)), 0};
    dl_iterate_phdr(findByBase, &lookup);
    auto &module = *static_cast<AddressModule *>(result);
    module.name = found.dli_fname && found.dli_fname[0] ? found.dli_fname : programName();
    module.base = lookup.base;
    module.size = lookup.size;
    return module.size ? 1 : 0;
}
