#pragma once
// Two users in one test: run as root, the test plants files as `nobody` in a
// child process that switched its ids with setresuid, as another person on a
// shared machine would. Without root the two-user cases skip, saying why.

#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace OtherUser {

inline uid_t uid()
{
    const passwd *pw = ::getpwnam("nobody");
    return pw ? pw->pw_uid : 65534;
}

inline gid_t gid()
{
    const passwd *pw = ::getpwnam("nobody");
    return pw ? pw->pw_gid : 65534;
}

// Runs `plant` as nobody in a child; true when it returned true there.
inline bool run(const std::function<bool()> &plant)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const bool switched = ::setgroups(0, nullptr) == 0 && ::setresgid(gid(), gid(), gid()) == 0
                              && ::setresuid(uid(), uid(), uid()) == 0;
        ::_exit(switched && plant() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace OtherUser

// Skips the test unless it can act as two users.
#define QUELMAR_REQUIRE_TWO_USERS()                                                                                    \
    do {                                                                                                               \
        if (::geteuid() != 0)                                                                                          \
            QSKIP("two-user case: runs as root, planting as nobody; this run is not root");                           \
    } while (false)
