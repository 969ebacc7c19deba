#pragma once
// The program holds its texts in UTF-8; result files are written in GBK (code
// page 936), and every length that decides a layout is the GBK byte length.
// This is the one place that converts between the two.
//
//   ToGbk(" 大地网") = 20 B4 F3 B5 D8 CD F8     GbkLength("U ：0.000mV") = 11
//   FromGbk(A6 B5 A3 BA) = "Φ："                FromGbk(B4 FF) = none

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// A character GBK has no code for (an emoji, say) becomes one '?', and so does
// every byte that is not part of a well-formed UTF-8 sequence: the output keeps
// one position per character, so layouts built on GbkLength stay aligned.
std::string ToGbk(std::string_view utf8);

// The UTF-8 text of GBK bytes, as result files are read back; none when the
// bytes are not GBK (a byte or pair GBK has no character for, a lead byte cut
// off at the end, a user-defined code). Never throws for bad bytes.
std::optional<std::string> FromGbk(std::string_view gbk);

// The byte length of ToGbk(utf8).
std::size_t GbkLength(std::string_view utf8);

// Length of the well-formed UTF-8 sequence at p (at most n > 0 bytes), or 0
// when the byte at p does not start one: overlong forms, surrogates and code
// points above U+10FFFF are not well formed. Both bodies of ToGbk cut by it.
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t n);
