// Registry value bytes to a terminated install-directory string: any length, any bytes, with or
// without a terminator.
#include "shell/registry_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kCapacity = 1024;
constexpr char kGuard = '#';  // fills the buffer beyond the value, to see what was written

struct Case {
  const char* name;
  std::string value;  // the value's bytes as the registry returned them
  size_t capacity;
  bool usable;
  std::string expected;  // the string the buffer then holds
};

TEST(RegistryValue, TerminatedInsideTheBufferOrRefused) {
  const std::string full(kCapacity, 'a');
  const Case cases[] = {
      {"terminated string", std::string("C:\\Games\\Varnok\0", 16), kCapacity, true,
       "C:\\Games\\Varnok"},
      {"no terminator", "C:\\Games\\Varnok", kCapacity, true, "C:\\Games\\Varnok"},
      {"empty value", "", kCapacity, true, ""},
      {"only a terminator", std::string(1, '\0'), kCapacity, true, ""},
      {"embedded zero, no terminator", std::string("C:\\A\0xyz", 8), kCapacity, true, "C:\\A"},
      {"embedded zero and terminator", std::string("C:\\A\0xy\0", 8), kCapacity, true, "C:\\A"},
      {"four bytes of a number", std::string("\x2a\x00\x00\x00", 4), kCapacity, true, "*"},
      {"binary without zero", "\x01\x02\xff", kCapacity, true, "\x01\x02\xff"},
      {"one byte short of the buffer", full.substr(1), kCapacity, true, full.substr(1)},
      {"full buffer, terminated", full.substr(1) + '\0', kCapacity, true, full.substr(1)},
      {"full buffer, no terminator", full, kCapacity, false, ""},
      {"full buffer, zero inside but not last", std::string("C:\\A\0", 5) + full.substr(5),
       kCapacity, false, ""},
      {"no capacity", "", 0, false, ""},
      {"one-byte buffer, empty value", "", 1, true, ""},
      {"one-byte buffer, one byte", "x", 1, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<char> buffer(kCapacity + 8, kGuard);
    std::memcpy(buffer.data(), c.value.data(), c.value.size());
    const std::vector<char> before = buffer;
    const bool usable = terminateRegistryString(buffer.data(), c.capacity, c.value.size());
    ASSERT_EQ(usable, c.usable);
    if (usable) {
      EXPECT_EQ(std::string(buffer.data()), c.expected);
    } else {
      EXPECT_EQ(buffer, before) << "a refused value must leave the buffer as it was";
    }
    // Nothing is ever written past the buffer's capacity.
    for (size_t i = c.capacity; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], before[i]) << i;
  }
}

TEST(RegistryValue, ClaimedSizeBeyondTheBufferIsRefused) {
  std::vector<char> buffer(16, 'a');
  EXPECT_FALSE(terminateRegistryString(buffer.data(), 8, 9));
  EXPECT_FALSE(terminateRegistryString(buffer.data(), 8, static_cast<size_t>(-1)));
  EXPECT_EQ(buffer, std::vector<char>(16, 'a'));
}

}  // namespace
