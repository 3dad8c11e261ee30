// Feeds each file named on the command line to the fuzz target once, as
// libFuzzer would, naming it first; a violated property aborts.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s INPUT...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        FILE *f = fopen(argv[i], "rb");
        if (f == nullptr) {
            perror(argv[i]);
            return 1;
        }
        uint8_t data[4096];
        const size_t size = fread(data, 1, sizeof data, f);
        fclose(f);
        fprintf(stderr, "%s\n", argv[i]);
        LLVMFuzzerTestOneInput(data, size);
    }
    printf("%d inputs replayed, no property violated\n", argc - 1);
    return 0;
}
