// Permissions as an ordinary user meets them. The tests often run as root,
// for whom a folder's or a file's mode refuses nothing; the part of a test
// that must meet a refusal then runs in a child process that has become the
// user nobody.
#pragma once

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vt::normaluser {

inline constexpr uid_t Nobody = 65534;

// Runs body in a forked child, as nobody when this process is root, and
// returns what body returned (0 for success), or -1 when the child could
// not become nobody or did not end normally. Only the child's files and
// exit status reach the caller: check results in the parent, from them.
inline int runAsNormalUser(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(Nobody, Nobody, Nobody) != 0 ||
             ::setresuid(Nobody, Nobody, Nobody) != 0))
            ::_exit(255);
        ::_exit(body() & 0x7f);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace vt::normaluser
