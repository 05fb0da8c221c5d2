// The channel file and the channel lines are CP932 byte strings; the windows show and
// take UTF-8. These convert between the two (through iconv on POSIX).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// CP932 bytes to UTF-8. Never fails: each byte that does not start a valid CP932
// character becomes U+FFFD and decoding goes on with the next byte.
std::string cp932ToUtf8(std::string_view bytes);

// UTF-8 to CP932 bytes. nullopt when the text holds a character CP932 cannot hold
// or is not valid UTF-8: nothing is ever half converted. U+00A5 (yen sign) is stored
// as 0x5C and U+301C (wave dash) as 0x8160, as Windows does.
std::optional<std::string> utf8ToCp932(std::string_view text);

}  // namespace kivo
