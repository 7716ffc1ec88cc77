// Stands in for an effect program: a window-less process that does nothing
// until it is killed, and ends by itself should nobody do so.
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

int main()
{
#ifdef _WIN32
    Sleep(5 * 60 * 1000);
#else
    sleep(5 * 60);
#endif
    return 0;
}
