#pragma once
// Two users in one test: run as root, the test plants files as `nobody` in a
// child that switched its ids with setresuid, as another person on a shared
// machine would. Without root the two-user cases skip, saying why.

#include <QTest>

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace OtherUser {

constexpr uid_t uid()
{
    return 65534;
} // nobody
constexpr gid_t gid()
{
    return 65534;
} // nogroup

// Runs `plant` as nobody in a child; true when it returned true there.
inline bool run(const std::function<bool()> &plant)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgroups(0, nullptr) == 0 && ::setresgid(gid(), gid(), gid()) == 0
                        && ::setresuid(uid(), uid(), uid()) == 0 && plant()
                    ? 0
                    : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace OtherUser

#define QUELMAR_REQUIRE_TWO_USERS()                                                                                    \
    do {                                                                                                               \
        if (::geteuid() != 0)                                                                                          \
            QSKIP("two-user case: runs as root, planting as nobody; this run is not root");                            \
    } while (false)
