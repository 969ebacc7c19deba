// ToGbk and FromGbk over iconv (glibc).
#include <iconv.h>

#include <cerrno>
#include <stdexcept>

#include "results/Gbk.h"

namespace {

// iconv keeps conversion state in its handle, so each thread gets its own.
class TGbkConverter {
  public:
    TGbkConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~TGbkConverter() { iconv_close(cd_); }
    TGbkConverter(const TGbkConverter&) = delete;
    TGbkConverter& operator=(const TGbkConverter&) = delete;

    iconv_t Handle() const { return cd_; }

  private:
    iconv_t cd_;
};

}  // namespace

std::string ToGbk(std::string_view utf8) {
    thread_local TGbkConverter encoder("GBK", "UTF-8");
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
        const std::size_t skip =
            Utf8SequenceLength(reinterpret_cast<const unsigned char*>(in), inLeft);
        if (used == out.size()) out.resize(out.size() * 2);
        out[used++] = '?';
        in += skip ? skip : 1;
        inLeft -= skip ? skip : 1;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
}

std::optional<std::string> FromGbk(std::string_view gbk) {
    thread_local TGbkConverter decoder("UTF-8", "GBK");
    iconv_t cd = decoder.Handle();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // A GBK byte gives at most three UTF-8 bytes (0x80 is the euro sign).
    std::string out(gbk.size() * 3, '\0');
    char* in = const_cast<char*>(gbk.data());
    std::size_t inLeft = gbk.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
        return std::nullopt;  // EILSEQ or a lead byte at the end (EINVAL)
    out.resize(out.size() - outLeft);
    return out;
}
