#include "process.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace
{

std::vector<char *> pointers(Strings &strings)
{
    std::vector<char *> p;
    for (std::string &s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int run(const std::string &path, const Strings &argv, const Strings &env, const std::string &dir)
{
    Strings argv_text = argv, env_text = env;
    const std::vector<char *> args = pointers(argv_text), vars = pointers(env_text);
    const std::string out = dir + "/stdout", err = dir + "/stderr";

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&files, dir.c_str());
    pid_t pid;
    const int spawned = posix_spawn(&pid, path.c_str(), &files, nullptr, args.data(), vars.data());
    posix_spawn_file_actions_destroy(&files);

    int status;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot run " << path << ": " << strerror(spawned);
        return -1;
    }
    if (waitpid(pid, &status, 0) != pid) {
        ADD_FAILURE() << "waitpid: " << strerror(errno);
        return -1;
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

} // namespace

Strings environment()
{
    Strings env;
    for (char **e = environ; *e; ++e)
        env.push_back(*e);
    return env;
}

Outcome run_in_scratch(const std::string &path, const Strings &argv, const Strings &env,
                       const char *kept)
{
    char dir[] = "scratch.XXXXXX"; // in the test's working directory, in the build tree
    if (!mkdtemp(dir)) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return {};
    }
    Outcome outcome;
    outcome.status = run(path, argv, env, dir);
    const std::string base = std::string(dir) + "/";
    outcome.out = read_file(base + "stdout");
    outcome.err = read_file(base + "stderr");
    outcome.kept = read_file(base + kept);
    std::error_code error;
    EXPECT_GT(std::filesystem::remove_all(dir, error), 0u) << "removing " << dir << ": " << error;
    return outcome;
}
