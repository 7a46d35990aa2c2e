#include <cstdio>

int main()
{
    std::puts("xlt-sim: the device emulator is not built yet");
    return 1;
}
