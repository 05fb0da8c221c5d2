// What a screen reader gets: the built program on a private X display and a private D-Bus
// session with its accessibility bus, read and pressed through AT-SPI itself, as Orca does.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "sim/simulator.h"
#include "tests/support/testenv.h"

using namespace std::chrono_literals;

namespace {

constexpr int kCallMs = 5000;     // one call on the bus
constexpr int kSettleMs = 20000;  // something the program is to show
constexpr uint kSelected = 23;    // the AT-SPI states read here
constexpr uint kShowing = 25;

// One object of the accessibility tree as AT-SPI gives it.
struct Node {
    QString service, path;
    QString role, name, description;
    quint64 states = 0;
    int parent = -1;
    bool has(uint state) const { return states & (quint64(1) << state); }
};

// A client of the accessibility bus that reads the tree and runs actions, each call bounded.
class AtSpiClient {
  public:
    explicit AtSpiClient(const QString& sessionAddress)
        : session_(QDBusConnection::connectToBus(sessionAddress, QStringLiteral("kivo-session"))) {
        QDBusMessage ask = QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus",
                                                          "org.a11y.Bus", "GetAddress");
        const QDBusMessage reply = session_.call(ask, QDBus::Block, kCallMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            a11y_.emplace(QDBusConnection::connectToBus(reply.arguments().value(0).toString(),
                                                        QStringLiteral("kivo-a11y")));
    }
    ~AtSpiClient() {
        a11y_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("kivo-a11y"));
        QDBusConnection::disconnectFromBus(QStringLiteral("kivo-session"));
    }

    bool connected() const { return a11y_ && a11y_->isConnected(); }

    // The application named `name`, as the registry lists it.
    std::optional<Node> application(const QString& name) {
        Node registry;
        registry.service = "org.a11y.atspi.Registry";
        registry.path = "/org/a11y/atspi/accessible/root";
        for (const Node& app : children(registry))
            if (read(app).name == name) return read(app);
        return std::nullopt;
    }

    // Every object below `top`, depth first, `top` first.
    std::vector<Node> tree(const Node& top) {
        std::vector<Node> all{read(top)};
        std::function<void(int, int)> walk = [&](int at, int depth) {
            if (depth > 12 || all.size() > 2000) return;
            for (Node child : children(all[at])) {
                child = read(child);
                child.parent = at;
                all.push_back(child);
                walk(int(all.size()) - 1, depth + 1);
            }
        };
        walk(0, 0);
        return all;
    }

    double value(const Node& n) {
        return property(n, "org.a11y.atspi.Value", "CurrentValue").toDouble();
    }

    // Runs the object's action called `action` ("Press"); false when it has none.
    bool act(const Node& n, const QString& action) {
        const QDBusMessage names = call(n, "org.a11y.atspi.Action", "GetActions", {});
        const QDBusArgument list = qvariant_cast<QDBusArgument>(names.arguments().value(0));
        int index = 0, found = -1;
        list.beginArray();
        while (!list.atEnd()) {
            QString name, description, keys;
            list.beginStructure();
            list >> name >> description >> keys;
            list.endStructure();
            if (name == action && found < 0) found = index;
            ++index;
        }
        list.endArray();
        if (found < 0) return false;
        return call(n, "org.a11y.atspi.Action", "DoAction", {found}).arguments().value(0).toBool();
    }

  private:
    QDBusMessage call(const Node& n, const char* interface, const char* method,
                      const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(n.service, n.path, interface, method);
        m.setArguments(args);
        return a11y_->call(m, QDBus::Block, kCallMs);
    }
    QVariant property(const Node& n, const char* interface, const char* name) {
        const QDBusMessage reply =
            call(n, "org.freedesktop.DBus.Properties", "Get",
                 {QString::fromLatin1(interface), QString::fromLatin1(name)});
        return qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
    }
    std::vector<Node> children(const Node& n) {
        std::vector<Node> out;
        const QDBusMessage reply = call(n, "org.a11y.atspi.Accessible", "GetChildren", {});
        if (reply.type() != QDBusMessage::ReplyMessage) return out;
        const QDBusArgument list = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
        list.beginArray();
        while (!list.atEnd()) {
            Node child;
            QDBusObjectPath path;
            list.beginStructure();
            list >> child.service >> path;
            list.endStructure();
            child.path = path.path();
            out.push_back(child);
        }
        list.endArray();
        return out;
    }
    Node read(Node n) {
        n.role =
            call(n, "org.a11y.atspi.Accessible", "GetRoleName", {}).arguments().value(0).toString();
        n.name = property(n, "org.a11y.atspi.Accessible", "Name").toString();
        n.description = property(n, "org.a11y.atspi.Accessible", "Description").toString();
        const QDBusMessage states = call(n, "org.a11y.atspi.Accessible", "GetState", {});
        const QDBusArgument words = qvariant_cast<QDBusArgument>(states.arguments().value(0));
        QList<uint> bits;
        words >> bits;
        n.states = bits.size() == 2 ? (quint64(bits[1]) << 32) | bits[0] : 0;
        return n;
    }

    QDBusConnection session_;
    std::optional<QDBusConnection> a11y_;
};

// A helper program run for the test in a group of its own, ended with it.
struct Helper {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    ~Helper() {
        if (process->state() == QProcess::NotRunning) return;
        ::kill(-pid_t(process->processId()), SIGTERM);  // and what it started
        if (!process->waitForFinished(10000)) process->kill();
        process->waitForFinished(5000);
    }
    void start(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
        process->setProcessEnvironment(env);
        process->setChildProcessModifier([] { ::setpgid(0, 0); });
        process->start(program, args);
    }
    // Starts it and returns its first line of output ("" when none came in time).
    QString startForLine(const QString& program, const QStringList& args,
                         const QProcessEnvironment& env) {
        start(program, args, env);
        QElapsedTimer clock;
        clock.start();
        while (!process->canReadLine() && process->state() != QProcess::NotRunning &&
               clock.elapsed() < kSettleMs)
            process->waitForReadyRead(100);
        return QString::fromLatin1(process->readLine()).trimmed();
    }
};

const Node* find(const std::vector<Node>& all, const QString& role, const QString& name) {
    for (const Node& n : all)
        if (n.role == role && n.name == name) return &n;
    return nullptr;
}

// The tree as a screen reader's user would list it, for a failure's message.
std::string dump(const std::vector<Node>& all) {
    std::string out;
    for (const Node& n : all) {
        int depth = 0;
        for (int p = n.parent; p >= 0; p = all[p].parent) ++depth;
        out += std::string(2 * depth, ' ') + n.role.toStdString() + " \"" + n.name.toStdString() +
               "\" (" + n.description.toStdString() + ")\n";
    }
    return out;
}

}  // namespace

TEST(AtSpi, AScreenReaderReadsTheControlsAndPressesThem) {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    const QString dbus = QStandardPaths::findExecutable("dbus-daemon");
    ASSERT_FALSE(xvfb.isEmpty()) << "Xvfb is needed (scripts/install-deps.sh)";
    ASSERT_FALSE(dbus.isEmpty()) << "dbus-daemon is needed (scripts/install-deps.sh)";

    testenv::TempDir ports, program, runtime;
    std::filesystem::copy_file(KIVO_PROGRAM, program.file("kivo"));
    std::ofstream(program.file("KIVO.ini"), std::ios::binary)
        << "Radio1,AM,594,80,COM3\r\nMusic,FM,80.7,120,COM3\r\nNews,AM,954,100,COM3\r\n";
    auto options = [&] {
        sim::Simulator::Options o;
        o.portsDir = ports.path();
        o.portName = "COM3";
        return o;
    };
    auto receiver = std::make_unique<sim::Simulator>(options());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    Helper display;
    const QString number = display.startForLine(
        xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"}, env);
    ASSERT_FALSE(number.isEmpty()) << "Xvfb named no display";
    env.insert("DISPLAY", ":" + number);
    // The session bus starts the accessibility bus and its registry when first asked.
    Helper bus;
    const QString address =
        bus.startForLine(dbus, {"--session", "--nofork", "--print-address=1"}, env);
    ASSERT_FALSE(address.isEmpty()) << "dbus-daemon gave no address";

    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    env.insert("QT_QPA_PLATFORM", "xcb");  // the platform that speaks AT-SPI
    env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    env.insert("KIVO_PORTS", QString::fromStdString(ports.path()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path()));
    // An English desktop: the messages come in English.
    for (const char* name : {"KIVO_LANG", "LC_ALL", "LC_MESSAGES"}) env.remove(name);
    env.insert("LANG", "en_US.UTF-8");
    Helper kivo;
    kivo.process->setProcessChannelMode(QProcess::ForwardedChannels);
    kivo.start(QString::fromStdString(program.file("kivo")), {"Music"}, env);
    // Switched on, then Music tuned twice and its volume set twice.
    ASSERT_TRUE(receiver->waitForLines(7, 20s)) << "the start-up with Music";
    receiver->clear();

    AtSpiClient atspi(address);
    ASSERT_TRUE(atspi.connected()) << "no accessibility bus";
    std::optional<Node> app;
    std::vector<Node> all;
    // Reads the tree again until `shown` holds (bounded).
    auto readUntil = [&](const std::function<bool()>& shown) {
        QElapsedTimer clock;
        clock.start();
        do {
            if (!app) app = atspi.application("kivo");
            if (app) all = atspi.tree(*app);
            if (app && shown()) return true;
            QThread::msleep(100);
        } while (clock.elapsed() < kSettleMs);
        return false;
    };
    ASSERT_TRUE(readUntil([&] { return find(all, "push button", "Power"); }))
        << "the program's window never reached the accessibility bus";

    // Each control by what it is and what it shows.
    ASSERT_TRUE(find(all, "frame", "kivo"));
    const struct {
        const char* role;
        const char* name;
        const char* description;
    } controls[] = {
        {"combo box", "COM3", nullptr},  // an editable chooser is named by what it shows
        {"text", "Port", nullptr},       // and its field by what it is
        {"push button", "Power", "The receiver is on"},
        {"label", "Power: ON", nullptr},
        {"text", "Frequency (MHz)", nullptr},
        {"panel", "Band", nullptr},
        {"radio button", "AM (kHz)", nullptr},
        {"radio button", "FM (MHz)", nullptr},
        {"scroll bar", "Volume", nullptr},
        {"text", "Title (channel name)", nullptr},
        {"list", "Channel list", nullptr},
        {"push button", "Add", nullptr},
        {"push button", "Reload", nullptr},
        {"push button", "Delete", nullptr},
        {"push button", "Save", nullptr},
        {"push button", "UP", nullptr},
        {"push button", "Down", nullptr},
        {"push button", "S mode", nullptr},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(std::string(c.role) + " " + c.name);
        const Node* n = find(all, c.role, c.name);
        ASSERT_TRUE(n) << dump(all);
        if (c.description) {
            EXPECT_EQ(n->description, c.description);
        }
    }
    EXPECT_EQ(atspi.value(*find(all, "scroll bar", "Volume")), 120.0);

    // The list's lines one by one, the selected one marked.
    auto lines = [&] {
        std::vector<Node> out;
        const Node* list = find(all, "list", "Channel list");
        for (const Node& n : all)
            if (list && n.parent >= 0 && &all[n.parent] == list && n.role == "list item")
                out.push_back(n);
        return out;
    };
    std::vector<Node> shown = lines();
    ASSERT_EQ(shown.size(), 3u);
    const char* const texts[] = {"Radio1,AM,594,80,COM3", "Music,FM,80.7,120,COM3",
                                 "News,AM,954,100,COM3"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(shown[i].name, texts[i]);
        EXPECT_EQ(shown[i].has(kSelected), i == 1) << texts[i];
        EXPECT_TRUE(shown[i].has(kShowing));
    }

    // Choosing a line through its action tunes it, and the marks move.
    ASSERT_TRUE(atspi.act(shown[0], "Press"));
    const auto tuned = [&] {
        for (const std::string& line : receiver->lines())
            if (line == "K00000594000020100") return true;
        return false;
    };
    for (int i = 0; i < 100 && !tuned(); ++i)
        receiver->waitForLines(receiver->lines().size() + 1, 100ms);
    EXPECT_TRUE(tuned()) << "Radio1 was not tuned";
    ASSERT_TRUE(readUntil([&] {
        const auto now = lines();
        return now.size() == 3 && now[0].has(kSelected) && !now[1].has(kSelected);
    }));
    EXPECT_TRUE(find(all, "text", "Frequency (kHz)"));  // AM now

    // POWER through its action: the receiver is switched off, and the state is told.
    receiver->clear();
    ASSERT_TRUE(atspi.act(*find(all, "push button", "Power"), "Press"));
    ASSERT_TRUE(receiver->waitForLines(1, 10s));
    EXPECT_EQ(receiver->lines(), std::vector<std::string>{"H100"});
    ASSERT_TRUE(readUntil([&] { return find(all, "label", "Power: OFF"); }));
    EXPECT_EQ(find(all, "push button", "Power")->description, "The receiver is off");

    // A receiver gone: switching on says why in a box, which is read and answered.
    const std::string device = ports.file("COM3");
    receiver.reset();
    ASSERT_TRUE(atspi.act(*find(all, "push button", "Power"), "Press"));
    const QString why = "Cannot open the port\nCOM3\nThe device " + QString::fromStdString(device) +
                        " is not there (kivo --list-ports shows the serial devices connected)";
    ASSERT_TRUE(readUntil([&] {
        return find(all, "label", why) && find(all, "push button", "OK");
    })) << "no box saying: "
        << why.toStdString();
    ASSERT_TRUE(atspi.act(*find(all, "push button", "OK"), "Press"));
    ASSERT_TRUE(readUntil([&] { return !find(all, "label", why); }));

    // With the receiver back, POWER switches it on.
    receiver = std::make_unique<sim::Simulator>(options());
    ASSERT_TRUE(atspi.act(*find(all, "push button", "Power"), "Press"));
    ASSERT_TRUE(receiver->waitForLines(4, 10s));
    const std::vector<std::string> on = receiver->lines();
    EXPECT_EQ(std::vector<std::string>(on.begin(), on.begin() + 4),
              (std::vector<std::string>{"G300", "H101", "J4000", "J4101"}));
    ASSERT_TRUE(readUntil([&] { return find(all, "label", "Power: ON"); }));

    kivo.process->terminate();  // the closing sequence, then the end
    EXPECT_TRUE(kivo.process->waitForFinished(20000));
}
