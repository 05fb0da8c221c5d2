// Line event handlers of a serial component in the program run on the GUI thread,
// delivered by its event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include "app/qt/qtnotifywindow.h"
#include "serial/rs232c.h"
#include "tests/app/qt/guitest.h"
#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

TEST(QtNotifications, ArrivalsRunTheHandlerOnTheGuiThreadThroughTheEventLoop) {
    testenv::TempDir ports;
    testenv::ScopedEnv portsEnv("KIVO_PORTS", ports.path());
    testenv::Pty far;
    far.linkAs(ports.path(), "COM3");
    installQtNotifyWindows();
    int calls = 0;
    bool onGuiThread = true;
    {
        Trs232c port;
        port.portname = "COM3";
        port.OnRXCHAR = [&](Trs232c&) {
            ++calls;
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        };
        ASSERT_TRUE(port.open());
        far.write("abc");
        ASSERT_TRUE(processEventsUntil([&] { return calls >= 1; }, 5000));
        EXPECT_TRUE(onGuiThread);
        ASSERT_TRUE(processEventsUntil([&] { return port.rxcount() == 3; }, 5000));

        // Notifications still on their way when the component goes are dropped.
        far.write("d");
        QThread::msleep(100);
        port.close();
    }
    const int before = calls;
    QTest::qWait(100);
    EXPECT_EQ(calls, before);
    setNotifyWindowFactory(nullptr);
}
