// Stands in for an effect program: a window-less process that does nothing
// until it is killed, and ends by itself should nobody do so.
#include <windows.h>

int main()
{
    Sleep(5 * 60 * 1000);
    return 0;
}
