// The helpers the readers of blocks and of rows share (ResultImportParts.h).
#include "results/ResultImportParts.h"

#include <charconv>
#include <cstdio>

#include "results/Gbk.h"

void Refuse(int line, std::string reason) {
    throw TImportRefusal{line, std::move(reason)};
}

const std::string* TFileLines::Peek() {
    if (peeked_) return &text_;
    if (next_ >= bytes_.size()) return nullptr;
    const std::size_t lf = bytes_.find('\n', next_);
    std::string_view raw = bytes_.substr(next_, lf == std::string_view::npos ? lf : lf - next_);
    // Every line the program writes ends in CR LF, the last one too.
    if (lf != std::string_view::npos) {
        if (raw.empty() || raw.back() != '\r') Refuse(line_, "行尾不是回车换行（CR LF）");
        raw.remove_suffix(1);
    }
    bool ascii = true;
    for (unsigned char c : raw) {
        if (c == '\r') Refuse(line_, "行尾不是回车换行（CR LF）");
        // A control byte is never part of a GBK character: no text of the program has one.
        if (c < 0x20 || c == 0x7F) Refuse(line_, "含有控制字符，不是本程序写的结果文件");
        if (c >= 0x80) ascii = false;
    }
    if (lf == std::string_view::npos) Refuse(line_, "文件在这一行中间结束（没有行尾）");
    if (ascii) {
        text_.assign(raw);
    } else {
        std::optional<std::string> utf8 = FromGbk(raw);
        if (!utf8) Refuse(line_, "不是GBK编码的文字（本程序的结果文件都是GBK）");
        text_ = std::move(*utf8);
    }
    after_ = lf + 1;
    peeked_ = true;
    return &text_;
}

void TFileLines::Take() {
    if (!Peek()) return;
    next_ = after_;
    ++line_;
    peeked_ = false;
}

std::optional<int> WholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool ReadTestTime(std::string_view text, char separator, TRecordValues& r) {
    if (text.size() > 40 || text.substr(0, 2) != "20") return false;
    int* const fields[] = {&r.Year, &r.Month, &r.Day, &r.Hour, &r.Minute, &r.Second};
    const char ends[] = {separator, separator, ' ', ':', ':', '\0'};
    std::size_t at = 2;
    for (int k = 0; k < 6; ++k) {
        const std::size_t end = k < 5 ? text.find(ends[k], at) : text.size();
        if (end == std::string_view::npos) return false;
        const char* first = text.data() + at;
        const char* last = text.data() + end;
        // Bytes: at most three digits, no sign.
        if (last - first < 1 || last - first > 3 || *first < '0' || *first > '9') return false;
        const auto [ptr, error] = std::from_chars(first, last, *fields[k]);
        if (error != std::errc() || ptr != last || *fields[k] > 255) return false;
        at = end + 1;
    }
    // Only the program's own form: two digits at least, no more leading zeros.
    char again[64];
    std::snprintf(again, sizeof again, "20%.2d%c%.2d%c%.2d %.2d:%.2d:%.2d", r.Year, separator,
                  r.Month, separator, r.Day, r.Hour, r.Minute, r.Second);
    return text == again;
}
