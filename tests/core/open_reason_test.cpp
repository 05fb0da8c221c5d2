// The reason line under "回線オープンエラー": what the user can act on.
#include <gtest/gtest.h>

#include "core/errors.h"

using comm::OpenFailure;
using Kind = OpenFailure::Kind;

TEST(OpenReason, SaysWhatStandsInTheWay) {
    auto failure = [](Kind kind, auto&& edit) {
        OpenFailure f;
        f.kind = kind;
        f.device = "/dev/ttyUSB0";
        edit(f);
        return f;
    };
    auto as = [](OpenFailure&) {};
    const struct {
        OpenFailure why;
        std::string reason;
    } cases[] = {
        {failure(Kind::Unknown, as), ""},  // a backend that does not say: no line
        {failure(Kind::None, as), ""},     // the port opened; a setting was refused
        {failure(Kind::InUse,
                 [](OpenFailure& f) {
                     f.holder = "minicom";
                     f.holderPid = 4242;
                     f.lockFile = "/run/lock/LCK..ttyUSB0";
                 }),
         "/dev/ttyUSB0 は他のプログラムが使用中です: minicom (pid 4242、ロックファイル "
         "/run/lock/LCK..ttyUSB0)"},
        {failure(Kind::InUse, as), "/dev/ttyUSB0 は他のプログラムが使用中です"},
        {failure(Kind::Denied,
                 [](OpenFailure& f) {
                     f.owner = "root";
                     f.group = "dialout";
                     f.mode = 0660;
                 }),
         "/dev/ttyUSB0 を開く権限がありません。グループ dialout のユーザーだけが開けます: sudo "
         "usermod -aG dialout $USER でグループに加わり、ログインし直してください"},
        // Only its owner may open it: joining a group would not help.
        {failure(Kind::Denied,
                 [](OpenFailure& f) {
                     f.owner = "root";
                     f.group = "root";
                     f.mode = 0600;
                 }),
         "/dev/ttyUSB0 を開く権限がありません（所有者 root、グループ root、モード 0600）"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(kivo::openFailureReason(k.why), k.reason);
        EXPECT_EQ(kivo::openErrorMessage("COM3", k.why),
                  "回線オープンエラー\nCOM3" + (k.reason.empty() ? "" : "\n" + k.reason));
    }
}
