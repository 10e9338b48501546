#include "platform/DataProtection.h"

#include "support/TempFolder.h"
#include "support/UserProtection.h"
#include "support/Wine.h"

#include <optional>

namespace {

class DataProtection : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    protection = std::make_unique<TTestProtection>(folder);
  }
  // The error code of a blob that does not open; 0 when it opens.
  uint32_t UnprotectError(const ByteArray &blob) {
    uint32_t error = 0;
    if ((**protection).Unprotect(blob, error))
      return 0;
    return error;
  }
  std::unique_ptr<TTestProtection> protection;
};

TEST_F(DataProtection, RoundTripsAnyPayloadIncludingAnEmptyOne) {
  ByteArray everyByte(256);
  for (std::size_t i = 0; i < everyByte.size(); ++i)
    everyByte[i] = uint8_t(i);
  for (bool shared : {false, true}) {
    for (const ByteArray &payload :
         {ByteArray{}, ByteArray{'p', 'w'}, everyByte, ByteArray(5000, 7)}) {
      SCOPED_TRACE(std::to_string(payload.size()) + (shared ? " shared" : ""));
      uint32_t error = 0;
      const std::optional<ByteArray> blob = (**protection).Protect(payload, shared, error);
      ASSERT_TRUE(blob) << error;
      EXPECT_NE(*blob, payload);
      const std::optional<ByteArray> back = (**protection).Unprotect(*blob, error);
      ASSERT_TRUE(back) << error;
      EXPECT_EQ(*back, payload);
    }
  }
}

TEST_F(DataProtection, EachBlobIsFreshSoEqualPasswordsLookDifferent) {
  uint32_t error = 0;
  const ByteArray payload{'s', 'a', 'm', 'e'};
  EXPECT_NE((**protection).Protect(payload, false, error),
            (**protection).Protect(payload, false, error));
}

TEST_F(DataProtection, EmptyTruncatedAndDamagedBlobsAreInvalidData) {
  uint32_t error = 0;
  const ByteArray blob =
      *(**protection).Protect(ByteArray{'s', 'e', 'c', 'r', 'e', 't'}, false, error);
  ByteArray truncated(blob.begin(), blob.end() - 1);
  ByteArray damagedEnd = blob;
  damagedEnd.back() ^= 1;
  ByteArray damagedMiddle = blob;
  damagedMiddle[blob.size() / 2] ^= 0x80;
  const struct {
    const char *What;
    ByteArray Blob;
    bool WineOpensIt = false; // Wine leaves parts of its blob's header unchecked
  } rows[] = {{"empty", {}},
              {"truncated", truncated},
              {"damaged at the end", damagedEnd},
              {"damaged in the middle", damagedMiddle, true},
              {"not a blob", ByteArray(blob.size(), 0x41)}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    if (row.WineOpensIt && RunningUnderWine())
      continue;
    EXPECT_EQ(UnprotectError(row.Blob), KvErrorInvalidData);
  }
}

} // namespace
