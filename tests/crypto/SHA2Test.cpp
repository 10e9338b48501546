// SPDX-License-Identifier: GPL-3.0-or-later
#include "crypto/SHA2.h"

#include "support/Hex.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Sha512Hex(const std::string &message) {
  TSHA512Digest digest;
  SHA512String(message, digest);
  return ToHex(digest);
}

TEST(SHA512, PublishedExamples) {
  const struct {
    const char *name;
    std::string message;
    const char *digest;
  } cases[] = {
      {"empty", "",
       "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
       "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
      {"abc", "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
       "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
      {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c335"
       "96fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71dd70354ec631238ca3445"},
      {"896 bits",
       "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
       "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
       "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
      {"one million a", std::string(1000000, 'a'),
       "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
       "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Sha512Hex(c.message), c.digest);
  }
}

// Final pads within one block up to 111 buffered bytes and needs a second block from 112 on;
// these lengths sit on either side of that boundary and on the block boundary itself.
TEST(SHA512, PaddingBoundaries) {
  const struct {
    size_t length;
    const char *digest; // of that many 'a' bytes
  } cases[] = {
      {111, "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b95"
            "3828274461673c68d04e297b0eb7b2b4d60fc6b566a2"},
      {112, "c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32bd05f0f1ba33e568b88f"
            "d2d970929b719ecbb152f58f130a407c8830604b70ca"},
      {127, "828613968b501dc00a97e08c73b118aa8876c26b8aac93df128502ab360f91bab50a51e088769a5c1eff"
            "4782ace147dce3642554199876374291f5d921629502"},
      {128, "b73d1929aa615934e61a871596b3f3b33359f42b8175602e89f7e06e5f658a243667807ed300314b95ca"
            "cdd579f3e33abdfbe351909519a846d465c59582f321"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(Sha512Hex(std::string(c.length, 'a')), c.digest);
  }
}

TEST(SHA512, AnySplitIntoUpdatesGivesTheSameDigest) {
  std::string message(1000, '\0');
  for (size_t i = 0; i < message.size(); ++i)
    message[i] = char(i * 7 + 3);
  const std::string whole = Sha512Hex(message);

  const size_t pieces[] = {0, 1, 127, 128, 129};
  for (size_t first : pieces) {
    for (size_t second : pieces) {
      SCOPED_TRACE(std::to_string(first) + " then " + std::to_string(second));
      TSHA512Context context;
      SHA512Init(context);
      size_t done = 0;
      while (done < message.size()) {
        for (size_t n : {first, second}) {
          n = std::min(n, message.size() - done);
          SHA512Update(context, message.data() + done, uint32_t(n));
          done += n;
        }
        if (first + second == 0) { // only empty updates: the rest in one
          SHA512Update(context, message.data(), uint32_t(message.size()));
          done = message.size();
        }
      }
      TSHA512Digest digest;
      SHA512Final(context, digest);
      EXPECT_EQ(ToHex(digest), whole);
    }
  }
}

TEST(SHA512, EmptyUpdateChangesNothingAndReadsNothing) {
  TSHA512Context context;
  SHA512Init(context);
  SHA512Update(context, "abc", 3);
  const TSHA512Context before = context;
  SHA512Update(context, nullptr, 0);
  // Member by member: the padding after BufferLen holds no state.
  EXPECT_EQ(context.ByteCount, before.ByteCount);
  EXPECT_EQ(context.BufferLen, before.BufferLen);
  EXPECT_EQ(std::memcmp(context.Buffer, before.Buffer, sizeof context.Buffer), 0);
  EXPECT_EQ(std::memcmp(context.Hash, before.Hash, sizeof context.Hash), 0);
}

TEST(SHA512, UpdateNeverWritesTheCallersData) {
  std::string message(300, 'x');
  const std::string copy = message;
  TSHA512Context context;
  SHA512Init(context);
  SHA512Update(context, message.data(), 5);
  SHA512Update(context, message.data() + 5, uint32_t(message.size() - 5));
  EXPECT_EQ(message, copy);
  EXPECT_EQ(context.ByteCount, 300u);
  EXPECT_EQ(context.BufferLen, 300u % 128);
}

TEST(SHA512, BufferAndStringAgree) {
  TSHA512Digest fromBuffer, fromString;
  SHA512Buffer("abc", 3, fromBuffer);
  SHA512String("abc", fromString);
  EXPECT_EQ(fromBuffer, fromString);
}

TEST(DigestToBytes, GivesTheSixtyFourBytesInOrderWhateverTheTargetHeld) {
  TSHA512Digest digest;
  for (size_t i = 0; i < digest.size(); ++i)
    digest[i] = uint8_t(i * 3);
  for (size_t previous : {0, 10, 64, 200}) {
    SCOPED_TRACE(previous);
    ByteArray bytes(previous, 0xEE);
    DigestToBytes(digest, bytes);
    EXPECT_EQ(bytes, ByteArray(digest.begin(), digest.end()));
  }
}

} // namespace
