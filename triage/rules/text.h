// Small text helpers the readers share: prefix tests, number parsing and
// bounded copies. None of them allocate unless they return a string. UTF-8,
// case, hex and dates come from the text module, named here so that the
// readers use them as their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/affix.h"
#include "platform/text/ascii.h"
#include "platform/text/dates.h"
#include "platform/text/hex.h"
#include "platform/text/utf8.h"

namespace triage {

// Lines kept as evidence are cut to this many bytes: a megabyte line must not
// make a megabyte finding.
constexpr size_t kMaxKeptLine = 512;

using velmora::text::AppendUtf8;
using velmora::text::CivilSeconds;
using velmora::text::Contains;
using velmora::text::ContainsNoCase;
using velmora::text::CutUtf8;
using velmora::text::EndsWith;
using velmora::text::EqualsNoCase;
using velmora::text::ParseClock;
using velmora::text::ParseHex;
using velmora::text::ParseIsoLikeTime;
using velmora::text::StartsWith;

std::string_view Trim(std::string_view text);
// "1 line", "2 lines": a count with its noun, singular or plural.
std::string Counted(int64_t count, std::string_view noun);

// The decimal number at the start of `text` (after optional blanks), with
// `*used` set to the characters it took. Nothing when there is no digit or
// the number does not fit.
std::optional<int64_t> ParseDecimal(std::string_view text, size_t* used = nullptr);
// `text` cut to a kept line's length without splitting a UTF-8 sequence.
inline std::string_view CutUtf8(std::string_view text) { return CutUtf8(text, kMaxKeptLine); }

}  // namespace triage
