// The communications calls the serial component is written against, with the Win32
// names, records and meanings. One interface, several backends: POSIX (a real tty,
// the driver's behaviour emulated), Win32 (a thin pass-through) and a scriptable fake
// for tests.
#pragma once

#include <cstdint>

#include "serial/openfailure.h"

namespace comm {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;
using ULONG_PTR = std::uintptr_t;
using HANDLE = void*;

inline HANDLE invalidHandle() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}
#define INVALID_HANDLE_VALUE (::comm::invalidHandle())

// Access, sharing and creation values of CreateFileA.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

// Error codes reported through GetLastError.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_BAD_COMMAND = 22;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_NO_SUCH_DEVICE = 433;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr DWORD ERROR_DEVICE_REMOVED = 1617;

// The errors a transfer or a status query of an open port meets once its device has gone
// (unplugged, switched off, its line hung up): what the drivers of removed USB adapters
// report, what Wine reports for a hung-up terminal (not ready; a broken pipe on reading),
// and the POSIX backend's hang-up. A time-out, an abort or a bad argument is not among them.
inline bool meansDeviceGone(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_BROKEN_PIPE:
        case ERROR_GEN_FAILURE:
        case ERROR_NO_SUCH_DEVICE:
        case ERROR_IO_DEVICE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
            return true;
        default:
            return false;
    }
}

// WaitForSingleObject.
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// PurgeComm flags.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// Line events (SetCommMask, WaitCommEvent).
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;

// Error bits of ClearCommError.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// DCB values.
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

// Bits of DCB::Flags (the Win32 bit fields fBinary .. fAbortOnError, then fDummy2).
constexpr DWORD DCB_fBinary = 1u << 0;
constexpr DWORD DCB_fParity = 1u << 1;
constexpr DWORD DCB_fOutxCtsFlow = 1u << 2;
constexpr DWORD DCB_fOutxDsrFlow = 1u << 3;
constexpr DWORD DCB_fDtrControlMask = 3u << 4;
constexpr DWORD DCB_fDsrSensitivity = 1u << 6;
constexpr DWORD DCB_fTXContinueOnXoff = 1u << 7;
constexpr DWORD DCB_fOutX = 1u << 8;
constexpr DWORD DCB_fInX = 1u << 9;
constexpr DWORD DCB_fErrorChar = 1u << 10;
constexpr DWORD DCB_fNull = 1u << 11;
constexpr DWORD DCB_fRtsControlMask = 3u << 12;
constexpr DWORD DCB_fAbortOnError = 1u << 14;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;  // value of the two fRtsControl bits

// The device-control block, laid out as Win32's: the bit fields are one 32-bit word.
struct DCB {
    DWORD DCBlength = 0;
    DWORD BaudRate = 0;
    DWORD Flags = 0;
    WORD wReserved = 0;
    WORD XonLim = 0;
    WORD XoffLim = 0;
    BYTE ByteSize = 0;
    BYTE Parity = 0;
    BYTE StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    WORD wReserved1 = 0;
};

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

struct COMSTAT {
    DWORD Flags = 0;  // fCtsHold .. fTxim bit fields
    DWORD cbInQue = 0;
    DWORD cbOutQue = 0;
};

struct OVERLAPPED {
    ULONG_PTR Internal = 0;      // status of the transfer
    ULONG_PTR InternalHigh = 0;  // bytes moved
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    HANDLE hEvent = nullptr;
};

// The calls, one virtual each. Results and GetLastError() keep their Win32 meaning;
// the last error is per thread.
class CommApi {
  public:
    virtual ~CommApi() = default;

    virtual HANDLE CreateFileA(const char* name, DWORD access, DWORD share, void* security,
                               DWORD creation, DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL GetCommState(HANDLE h, DCB* dcb) = 0;
    virtual BOOL SetCommState(HANDLE h, DCB* dcb) = 0;
    virtual BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) = 0;
    virtual BOOL SetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) = 0;
    virtual BOOL SetCommMask(HANDLE h, DWORD mask) = 0;
    virtual BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) = 0;
    virtual BOOL PurgeComm(HANDLE h, DWORD flags) = 0;
    virtual BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) = 0;
    virtual BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov) = 0;
    virtual BOOL WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* done,
                           OVERLAPPED* ov) = 0;
    virtual BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* done, BOOL wait) = 0;
    virtual DWORD GetLastError() = 0;
    virtual HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                                const char* name) = 0;
    virtual BOOL SetEvent(HANDLE event) = 0;
    virtual BOOL ResetEvent(HANDLE event) = 0;
    virtual DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) = 0;
    virtual BOOL CloseHandle(HANDLE h) = 0;

    // Why the last CreateFileA on this thread failed; Unknown where the backend does
    // not keep more than the error code.
    virtual OpenFailure lastOpenFailure() { return {}; }
};

// The backend of the platform the program runs on (POSIX here, Win32 on Windows).
CommApi& platformCommApi();

}  // namespace comm
