#include "tests/support/serialline.h"

#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

namespace testenv {

struct SerialLine::FarEnd {
    TempDir ports;
    ScopedEnv portsEnv{"KIVO_PORTS", ports.path()};
    Pty pty;
    std::string name;
};

SerialLine::SerialLine(const std::string& name) : far_(std::make_unique<FarEnd>()) {
    far_->name = name.empty() ? "COM3" : name;
    far_->pty.linkAs(far_->ports.path(), far_->name);
}

SerialLine::~SerialLine() = default;

const std::string& SerialLine::name() const {
    return far_->name;
}

void SerialLine::write(const std::string& bytes) {
    far_->pty.write(bytes);
}

std::string SerialLine::read(std::size_t expected, std::chrono::milliseconds timeout) {
    return far_->pty.read(expected, timeout);
}

std::string SerialLine::drain(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) {
    return far_->pty.drain(quiet, timeout);
}

std::string SerialLine::missingPortMessage(const std::string& com) const {
    return "回線オープンエラー\n" + com + "\nデバイス " + far_->ports.file(com) +
           " がありません（つながっているシリアルデバイスは kivo --list-ports で分かります）";
}

}  // namespace testenv
