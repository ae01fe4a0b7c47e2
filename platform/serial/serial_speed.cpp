// Speeds that have no B-constant (14400, 28800, 56000, 128000, 256000 in the speed list) are set through
// the kernel's termios2 interface. It lives in its own file because its header clashes with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace morven::platform::serial_detail {

bool SetCustomSpeed(int fd, long speed) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = static_cast<speed_t>(speed);
    t.c_ospeed = static_cast<speed_t>(speed);
    return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace morven::platform::serial_detail
