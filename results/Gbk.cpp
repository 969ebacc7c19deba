#include "results/Gbk.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace {

// iconv keeps conversion state in its handle, so each thread gets its own.
class TGbkEncoder {
  public:
    TGbkEncoder() : cd_(iconv_open("GBK", "UTF-8")) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert UTF-8 to GBK");
    }
    ~TGbkEncoder() { iconv_close(cd_); }
    TGbkEncoder(const TGbkEncoder&) = delete;
    TGbkEncoder& operator=(const TGbkEncoder&) = delete;

    iconv_t Handle() const { return cd_; }

  private:
    iconv_t cd_;
};

// Length of the well-formed UTF-8 sequence at p (at most n bytes), or 0.
std::size_t SequenceLength(const unsigned char* p, std::size_t n) {
    const unsigned char lead = p[0];
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (n < length || p[1] < low || p[1] > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF) return 0;
    return length;
}

}  // namespace

std::string ToGbk(std::string_view utf8) {
    thread_local TGbkEncoder encoder;
    iconv_t cd = encoder.Handle();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    std::string out(utf8.size() + 8, '\0');  // GBK never needs more bytes than UTF-8
    std::size_t used = 0;
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL: a character GBK lacks, or bytes that are not UTF-8.
        const std::size_t skip = SequenceLength(reinterpret_cast<const unsigned char*>(in), inLeft);
        if (used == out.size()) out.resize(out.size() * 2);
        out[used++] = '?';
        in += skip ? skip : 1;
        inLeft -= skip ? skip : 1;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
}

std::size_t GbkLength(std::string_view utf8) {
    return ToGbk(utf8).size();
}
