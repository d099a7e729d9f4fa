// Kept apart: the kernel's termios2 header clashes with the C library's <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

bool ptyLineSettings(int fd, int *baud, int *parity)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    *baud = static_cast<int>(t.c_ospeed);
    *parity = !(t.c_cflag & PARENB) ? 0 : (t.c_cflag & PARODD) ? 1 : 2;
    return true;
}
