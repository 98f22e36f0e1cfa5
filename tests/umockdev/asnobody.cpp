// SPDX-License-Identifier: MIT
#include "asnobody.h"

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int kSkipped = 77;  // as CTest's SKIP_RETURN_CODE
}

ChildAnswer runAsNobody(const std::function<std::string(int& exitCode)>& work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {"no pipe", false};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        auto answer = [&](const std::string& s, int code) {
            (void)!::write(fds[1], s.data(), s.size());
            ::_exit(code);
        };
        if (::getuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
                answer("cannot become the user nobody", kSkipped);
        }
        int code = 1;
        const std::string text = work(code);
        answer(text, code);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[1024];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {out, WIFEXITED(status) && WEXITSTATUS(status) == kSkipped};
}
