// The remote-control protocol's line handling: any byte stream, cut into reads anywhere,
// gets the replies a reference cutter finds (a line ends at LF; a line longer than the
// bound is answered "RPRT -1" once it passes the bound, and the rest of it up to its LF is
// dropped; after "q" nothing more is read), each line answered whole as the protocol
// answers a line, while the session answers its commands one at a time. No port is ever
// opened: the ports folder is empty.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/memorywindow.h"
#include "core/receivercontrol.h"
#include "core/remoteprotocol.h"
#include "core/remotesession.h"

namespace {

// A window and its handlers, fresh for each run, on a port that never opens.
struct Window {
    Window() {
        memory.control = &control;
        memory.port = "COM3";
        control.ComboBox1Change();
    }
    Trs232c port;
    kivo::MemoryWindow memory;
    kivo::ReceiverControl control{port, memory};
    kivo::RemoteProtocol protocol{control};
};

std::string reference(std::string_view bytes) {
    Window w;
    kivo::RemoteConnection connection;
    std::string out, line;
    bool discarding = false;
    for (char c : bytes) {
        if (c == '\n') {
            if (!discarding) {
                const kivo::RemoteProtocol::Reply reply = w.protocol.handleLine(line, connection);
                out += reply.text;
                if (reply.close) return out;
            }
            line.clear();
            discarding = false;
        } else if (!discarding) {
            line += c;
            if (line.size() > kivo::kMaxRemoteLine) {
                out += kivo::remoteStatus(kivo::kRemoteInvalid);
                discarding = true;
            }
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const std::string none =
        (std::filesystem::temp_directory_path() / "kivo-fuzz-no-ports").string();
    setenv("KIVO_PORTS", none.c_str(), 1);  // a folder that is not there: no COM name resolves
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    std::vector<std::size_t> reads;
    for (int n = provider.ConsumeIntegralInRange<int>(0, 8); n > 0; --n)
        reads.push_back(provider.ConsumeIntegralInRange<std::size_t>(0, 2048));
    const std::string input = provider.ConsumeRemainingBytesAsString();

    Window w;
    w.protocol.onHandlerError = [](std::exception_ptr) {};
    kivo::RemoteSession session(w.protocol);
    std::string got;
    std::size_t at = 0;
    for (std::size_t i = 0; at < input.size(); ++i) {
        const std::size_t n =
            i < reads.size() ? std::min(reads[i], input.size() - at) : input.size() - at;
        session.receive(std::string_view(input).substr(at, n));
        while (session.step(got)) {
        }
        at += n;
    }
    if (got != reference(input)) std::abort();
    return 0;
}
