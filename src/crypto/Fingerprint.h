// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The master password at a glance: three symbols that tell a typo from the usual master password
// while giving an observer at most 12 bits of it, and a sentence on how long the master password
// would hold against an attacker who has one site password.

#include "common/KvTypes.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

inline constexpr int FingerprintSymbolCount = 16;
inline constexpr std::size_t FingerprintHashSize = 16;

// The three symbols, each 0..15: the high and low halves of the hash's first byte, then the high
// half of its second.
using TKvFingerprint = std::array<int, 3>;
TKvFingerprint FingerprintSymbols(const ByteArray &hash);

// The symbol's colour and shape, "red circle"; the window's picture of symbol n shows exactly
// this.
std::u16string_view SymbolName(int symbol);

// The names, comma-separated: "red circle, blue star, green square".
std::u16string SymbolNames(const TKvFingerprint &fingerprint);

// The numbers, two spaces, then the names: "3 14 0  red circle, blue star, green square".
std::u16string FingerprintLine(const TKvFingerprint &fingerprint);

// How long a search of 10^exponent guesses takes at 10^10 guesses a second, in words: "a split
// second", "a tenth of a second", "17 minutes", "3,169 centuries", "3 million centuries",
// "10^15 centuries".
std::u16string TimeToGuess(int exponent);

// A duration of at least one second in the largest whole unit that fits, seconds to centuries,
// rounded to the nearest ("2 minutes" for 100 seconds).
std::u16string PlainDuration(double seconds);

// "About 10^N guesses. If one of your site passwords leaks, ..." with N = exponent.
std::u16string StrengthSentence(int exponent);

// Below 10^12 guesses a master password is weak, below 10^16 fair.
enum class TKvStrength { Weak, Fair, Strong };
TKvStrength StrengthOf(int exponent);

#ifdef KV_FINGERPRINT
// Argon2id (libsodium's crypto_pwhash) of the master password's UTF-8 (unpaired surrogates as
// U+FFFD, as the site passwords take them) with the salt "Quillgate print1", 3 passes, 16 MiB,
// 16 bytes out. Every copy of the password it makes is wiped. Raises "Not enough memory to compute
// the master password's fingerprint." when the 16 MiB cannot be had, "The cryptography library
// could not be started." (the loader's reason as its detail) when libsodium cannot be opened.
ByteArray FingerprintHash(std::u16string_view masterPassword);

// N of "about 10^N guesses": the strength estimator's entropy in bits times log10 2, rounded
// down. The estimator keeps parts of the password in allocations of its own that it frees
// unwiped; the copy handed to it is wiped. Raises "The strength estimator could not be started."
// (the loader's reason as its detail) when the zxcvbn library cannot be opened.
int GuessesExponent(std::u16string_view masterPassword);
#endif
