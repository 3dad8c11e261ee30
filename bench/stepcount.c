/* stepcount: counts the user-mode instructions a program executes natively,
 * by single-stepping it under ptrace. callgrind counts on a synthetic CPU:
 * glibc's start-up then takes another branch (valgrind reports an Intel CPU,
 * and its cache description costs thousands of instructions to decode), so
 * this count is what the machine itself runs. Each iteration of a repeated
 * string instruction counts once, as in callgrind. One process only: the
 * program's children are not followed.
 *
 *   stepcount FILE command [args...]
 *
 * Writes the count to FILE and exits with the command's status.
 * Built with: cc -O2 -o stepcount stepcount.c */
#include <signal.h>
#include <stdio.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: stepcount FILE command [args...]\n");
        return 2;
    }
    pid_t child = fork();
    if (child < 0) {
        perror("stepcount: fork");
        return 2;
    }
    if (child == 0) {
        ptrace(PTRACE_TRACEME, 0, 0, 0);
        execvp(argv[2], argv + 2);
        perror("stepcount: exec");
        _exit(127);
    }

    int status;
    long steps = 0;
    /* The first stop is the exec: the count starts at the program's first
     * instruction (the loader's, for a dynamically linked one). */
    if (waitpid(child, &status, 0) < 0 || !WIFSTOPPED(status)) {
        fprintf(stderr, "stepcount: %s did not start\n", argv[2]);
        return 2;
    }
    for (;;) {
        /* A signal other than the step's own trap goes on to the program. */
        long deliver = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
        if (ptrace(PTRACE_SINGLESTEP, child, 0, (void *)deliver) < 0 ||
            waitpid(child, &status, 0) < 0) {
            perror("stepcount: ptrace");
            return 2;
        }
        if (WIFEXITED(status) || WIFSIGNALED(status))
            break;
        ++steps;
    }

    FILE *out = fopen(argv[1], "w");
    if (!out || fprintf(out, "%ld\n", steps) < 0 || fclose(out) != 0) {
        perror(argv[1]);
        return 2;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
