// Writes COUNT web-page documents "page 0".."page COUNT-1" located at URL_PREFIX0..., status
// Checked, into a data folder, for the pass benchmark scripts. With more prefixes after COUNT,
// page i is at the (i mod N)th of the N prefixes, followed by i.
// Usage: make_documents DATA_FOLDER URL_PREFIX COUNT [URL_PREFIX...]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_documents.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: make_documents DATA_FOLDER URL_PREFIX COUNT [URL_PREFIX...]\n");
        return 64;
    }
    size_t count = std::strtoul(argv[3], nullptr, 10);
    std::vector<std::string> prefixes = {argv[2]};
    prefixes.insert(prefixes.end(), argv + 4, argv + argc);
    if (!wardlet::bench::WritePassDocuments(argv[1], count, prefixes)) {
        fprintf(stderr, "make_documents: cannot write the documents\n");
        return 74;
    }
    return 0;
}
