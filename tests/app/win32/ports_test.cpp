// Why a port does not open, as the Windows backend tells it and the user reads it. Under
// Wine a second open of an open port succeeds, so "in use" is shown from the error codes
// Windows gives; "no such port" is shown on a real open.
#include "core/errors.h"
#include "serial/win32/openfailure.h"
#include "serial/win32/ports/portsetup.h"
#include "tests/app/win32/formtest.h"

using Kind = comm::OpenFailure::Kind;

TEST(PortReasons, ErrorCodesBecomeTheReasonTheUserReads) {
    const struct {
        unsigned long error;
        bool queryOpens;
        Kind kind;
        const char* reason;
        const char* verdict;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, false, Kind::Missing, "デバイス COM7 がありません", "no such port"},
        {ERROR_PATH_NOT_FOUND, false, Kind::Missing, "デバイス COM7 がありません", "no such port"},
        // Held by another program: even an open asking for nothing is refused.
        {ERROR_ACCESS_DENIED, false, Kind::InUse, "COM7 は他のプログラムが使用中です",
         "in use by another program"},
        {ERROR_SHARING_VIOLATION, false, Kind::InUse, "COM7 は他のプログラムが使用中です",
         "in use by another program"},
        // Refused to this user only.
        {ERROR_ACCESS_DENIED, true, Kind::Denied, "COM7 を開く権限がありません", "access denied"},
        {ERROR_GEN_FAILURE, false, Kind::Other, "COM7 を開けません: ", "cannot open: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const comm::OpenFailure why = comm::openFailureOf("COM7", c.error, c.queryOpens);
        EXPECT_EQ(why.kind, c.kind);
        EXPECT_EQ(kivo::openFailureReason(why).rfind(c.reason, 0), 0u)
            << kivo::openFailureReason(why);
        EXPECT_EQ(kivo::portVerdict(why).rfind(c.verdict, 0), 0u) << kivo::portVerdict(why);
        // The system's own words for anything else, not an empty reason.
        if (c.kind == Kind::Other) {
            EXPECT_GT(kivo::openFailureReason(why).size(), 20u);
        }
    }

    // A real open of a port the system does not have.
    Trs232c port;
    port.portname = "COM30";
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.api().lastOpenFailure().kind, Kind::Missing);
    port.portname = winport::portPair(0).nearName;
    ASSERT_TRUE(port.open());
    EXPECT_EQ(port.api().lastOpenFailure().kind, Kind::None);
    port.close();
}
