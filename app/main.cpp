#include <cstdio>

int main(int argc, char** argv) {
    std::fprintf(stderr, "tolvikan: nothing here yet\n");
    return 1;
}
