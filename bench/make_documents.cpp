// Writes COUNT web-page documents "page 0".."page COUNT-1" located at URL_PREFIX0..., status
// Checked, into a data folder, for the pass benchmark script (bench/check_pass_bench.sh).
// Usage: make_documents DATA_FOLDER URL_PREFIX COUNT
#include <cstdio>
#include <cstdlib>

#include "bench_documents.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: make_documents DATA_FOLDER URL_PREFIX COUNT\n");
        return 64;
    }
    size_t count = std::strtoul(argv[3], nullptr, 10);
    if (!wardlet::bench::WritePassDocuments(argv[1], count, argv[2])) {
        fprintf(stderr, "make_documents: cannot write the documents\n");
        return 74;
    }
    return 0;
}
