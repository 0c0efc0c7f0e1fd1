#include <cstdio>

int main() {
    std::puts("Lumivert: the libraries are built; the window is not part of this build yet.");
    return 0;
}
