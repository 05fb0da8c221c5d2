// Uses the kernel's termios2 directly (not <termios.h>) so that any baud rate can be
// asked for with BOTHER and read back as a number.
#include "serial/posix/posix_termios.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <asm/termios.h>

#include <cerrno>
#include <cstdlib>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace comm::posix {
namespace {

constexpr DWORD dtrControl(const DCB& d) {
    return (d.Flags & DCB_fDtrControlMask) >> 4;
}
constexpr DWORD rtsControl(const DCB& d) {
    return (d.Flags & DCB_fRtsControlMask) >> 12;
}

constexpr tcflag_t sizeBits(BYTE byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

bool getTermios(int fd, termios2& t) {
    return ioctl(fd, TCGETS2, &t) == 0;
}

// The settings that matter for the line and that a driver may quietly not apply.
bool sameLine(const termios2& want, const termios2& got) {
    constexpr tcflag_t cmask = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
    constexpr tcflag_t imask = INPCK | IXON | IXOFF | PARMRK;
    if ((want.c_cflag & cmask) != (got.c_cflag & cmask)) return false;
    if ((want.c_iflag & imask) != (got.c_iflag & imask)) return false;
    if (want.c_cc[VSTART] != got.c_cc[VSTART] || want.c_cc[VSTOP] != got.c_cc[VSTOP]) return false;
    // A UART divides its clock: accept what is within 3% of the request.
    const long asked = static_cast<long>(want.c_ospeed);
    const long have = static_cast<long>(got.c_ospeed);
    return std::labs(have - asked) * 100 <= asked * 3;
}

void setModemLine(int fd, int line, bool on) {
    // A pseudo-terminal has no modem lines: the failure is harmless there.
    ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

}  // namespace

bool makeRaw(int fd) {
    termios2 t{};
    if (!getTermios(fd, t)) return false;
    t.c_iflag &=
        ~(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IUCLC | IMAXBEL);
    t.c_iflag |= PARMRK;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN | ECHOE | ECHOK);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &t) == 0;
}

DWORD applyDcb(int fd, const DCB& dcb) {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS)
        return ERROR_INVALID_PARAMETER;
    // As on Windows: 1.5 stop bits only with 5 data bits (where a UART's "two stop bits"
    // are 1.5), and 2 stop bits not with 5 data bits.
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return ERROR_INVALID_PARAMETER;
    if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) return ERROR_INVALID_PARAMETER;
    const bool outX = dcb.Flags & DCB_fOutX, inX = dcb.Flags & DCB_fInX;
    if ((outX || inX) && dcb.XonChar == dcb.XoffChar) return ERROR_INVALID_PARAMETER;
    // Not available on a POSIX terminal: DSR flow control and sensitivity, DTR handshake,
    // RTS toggling.
    if ((dcb.Flags & (DCB_fOutxDsrFlow | DCB_fDsrSensitivity)) || dtrControl(dcb) == 2 ||
        rtsControl(dcb) == 3)
        return ERROR_INVALID_PARAMETER;

    termios2 old{};
    if (!getTermios(fd, old)) return ERROR_INVALID_HANDLE;
    termios2 t = old;
    t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= BOTHER | CLOCAL | CREAD | sizeBits(dcb.ByteSize);
    t.c_ospeed = t.c_ispeed = dcb.BaudRate;
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    switch (dcb.Parity) {
        case ODDPARITY:
            t.c_cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            t.c_cflag |= PARENB;
            break;
        case MARKPARITY:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case SPACEPARITY:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if ((dcb.Flags & DCB_fOutxCtsFlow) || rtsControl(dcb) == RTS_CONTROL_HANDSHAKE)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(INPCK | IXON | IXOFF);
    t.c_iflag |= PARMRK;
    if (dcb.Flags & DCB_fParity) t.c_iflag |= INPCK;
    if (outX) t.c_iflag |= IXON;
    if (inX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

    termios2 got{};
    if (ioctl(fd, TCSETS2, &t) != 0) {
        const int e = errno;
        return e == EIO ? ERROR_GEN_FAILURE : ERROR_INVALID_PARAMETER;
    }
    if (!getTermios(fd, got) || !sameLine(t, got)) {
        ioctl(fd, TCSETS2, &old);
        return ERROR_INVALID_PARAMETER;
    }
    setModemLine(fd, TIOCM_DTR, dtrControl(dcb) == 1);
    if (rtsControl(dcb) != RTS_CONTROL_HANDSHAKE) setModemLine(fd, TIOCM_RTS, rtsControl(dcb) == 1);
    return ERROR_SUCCESS;
}

bool readDcb(int fd, const DCB& stored, DCB& out) {
    termios2 t{};
    if (!getTermios(fd, t)) return false;
    out = stored;
    out.DCBlength = sizeof(DCB);
    out.BaudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
        case CS5:
            out.ByteSize = 5;
            break;
        case CS6:
            out.ByteSize = 6;
            break;
        case CS7:
            out.ByteSize = 7;
            break;
        default:
            out.ByteSize = 8;
            break;
    }
    if (!(t.c_cflag & PARENB))
        out.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
        out.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        out.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    if (!(t.c_cflag & CSTOPB))
        out.StopBits = ONESTOPBIT;
    else
        out.StopBits = out.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;

    DWORD flags = out.Flags | DCB_fBinary;  // the only mode there is
    flags &= ~(DCB_fParity | DCB_fOutxCtsFlow | DCB_fOutX | DCB_fInX);
    if (t.c_iflag & INPCK) flags |= DCB_fParity;
    if (t.c_iflag & IXON) flags |= DCB_fOutX;
    if (t.c_iflag & IXOFF) flags |= DCB_fInX;
    if (t.c_cflag & CRTSCTS) {
        flags |= DCB_fOutxCtsFlow;
        flags = (flags & ~DCB_fRtsControlMask) | (RTS_CONTROL_HANDSHAKE << 12);
    } else if (((flags & DCB_fRtsControlMask) >> 12) == RTS_CONTROL_HANDSHAKE) {
        flags &= ~DCB_fRtsControlMask;
    }
    out.Flags = flags;
    out.XonChar = static_cast<char>(t.c_cc[VSTART]);
    out.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return true;
}

}  // namespace comm::posix
